"""Joining through Ondrel and judging what the real stack did: the link, the
address, the profiles NetworkManager holds and the keyfiles on disk."""

import time

import views
from labenv import log, sh, wait_for

STATE_REASON = "org.freedesktop.NetworkManager.Device.StateReason"


def lost_frames(lab, ap, since):
    """Whether hostapd's log says the handshake stalled with the right password: the access
    point heard the station, saw no key mismatch and completed no handshake. Only then may a
    join be tried again."""
    text = lab.ap_log(ap, since)
    return " STA " in text and "POSSIBLE-PSK-MISMATCH" not in text and "handshake completed" not in text


def join(lab, check, ap, password=None, *more, name=None, retry=True):
    """`--probe --connect` of this access point's name; one more try only where the simulated
    medium lost a handshake frame (counted). Returns (run, document, seconds of the join)."""
    name = name or ap.ssid.decode()
    for attempt in (1, 2):
        mark = lab.ap_log_mark()
        run, doc = lab.app.connect(name, password, *more)
        joined = doc and doc.get("join") and doc["join"]["outcome"] == "ok"
        if joined or not retry or attempt == 2 or password != ap.password or not lost_frames(lab, ap, mark):
            return run, doc
        check.retried(f"join of {ap.name}: the handshake stalled with the right password "
                      f"({(doc or {}).get('join')})")
        disconnect()


def disconnect():
    """Leaves the current network through NetworkManager and waits until the link is down."""
    sh("nmcli", "device", "disconnect", "wlan0", check=False)
    wait_for("the link to go down", lambda: not views.iw_link(), timeout=20)


def settle(timeout=60):
    """Waits until NetworkManager is done with wlan0 (connected, disconnected or failed)."""
    def quiet():
        state, _ = views.device_state()
        return state and not any(s in state for s in ("prepare", "config", "need-auth", "ip-config",
                                                      "ip-check", "secondaries", "deactivating"))
    wait_for("NetworkManager to finish with wlan0", quiet, timeout=timeout, step=0.5)
    return views.device_state()[0]


def outcome(doc):
    return ((doc or {}).get("join") or {}).get("outcome")


def error(doc):
    e = ((doc or {}).get("join") or {}).get("error") or {}
    return e.get("domain"), e.get("code")


def judge_joined(lab, check, ap, run, doc, what, by_name=False):
    """Joined this access point's network: the outcome, the link (to one of the access points of
    the name: the supplicant picks among them), an address on that access point's subnet. A join
    by name (a hidden network) picks no access point of the list: the link says which it got."""
    check.equal(f"{what}: outcome", "ok", outcome(doc))
    check.equal(f"{what}: exit status", 0, run.rc)
    check.equal(f"{what}: the join's access point" + (" (none: by name)" if by_name else " (the strongest of the name)"),
                "" if by_name else ap.bssid, (((doc or {}).get("join") or {}).get("bssid") or "").lower())
    link = views.iw_link()
    same_name = {a.bssid: a for a in lab.aps if a.ssid == ap.ssid}
    linked = same_name.get(link.get("bssid"))
    check.true(f"{what}: the kernel's link is to {ap.ssid.decode(errors='replace')}",
               linked is not None and link.get("ssid") == ap.ssid, link)
    if linked is not None and linked is not ap:
        check.note(f"{what}: the supplicant chose {linked.name} ({linked.bssid}) over {ap.name}")
    if linked is not None and linked.dhcp:
        addresses = wait_address(linked)
        check.true(f"{what}: an address from the access point's DHCP server (10.0.{linked.subnet}.100-150)",
                   any(a.startswith(f"10.0.{linked.subnet}.") for a in addresses), addresses)
    return link


def wait_address(ap, timeout=15):
    try:
        return wait_for("an address", lambda: [a for a in views.ipv4_addresses()
                                               if a.startswith(f"10.0.{ap.subnet}.")], timeout=timeout)
    except TimeoutError:
        return views.ipv4_addresses()


def profiles_for(ssid):
    """NetworkManager's profiles of this SSID, with secrets."""
    return {u: p for u, p in views.nmcli_profiles().items()
            if p["type"] == "802-11-wireless" and p["settings"].get("802-11-wireless.ssid") == ssid.decode(
                errors="replace")}


def judge_saved(check, ap, what, key_mgmt, secret=None):
    """Exactly one profile of this name, on disk, with its key management and secret."""
    found = profiles_for(ap.ssid)
    if not check.equal(f"{what}: one profile of the name", 1, len(found)):
        return None
    uuid, p = next(iter(found.items()))
    s = p["settings"]
    check.true(f"{what}: the profile is on disk", p["filename"].startswith(views.KEYFILES), p["filename"])
    check.equal(f"{what}: key management", key_mgmt or None, s.get("802-11-wireless-security.key-mgmt") or None)
    if secret is not None:
        check.equal(f"{what}: the secret NetworkManager holds", secret, s.get("802-11-wireless-security.psk"))
        keyfile = views.keyfiles().get(p["filename"], b"")
        check.equal(f"{what}: the secret in the keyfile", secret, views.keyfile_value(keyfile, "wifi-security", "psk"))
    return uuid


def timed(fn, *args):
    started = time.monotonic()
    value = fn(*args)
    log(f"  ({time.monotonic() - started:.1f} s)")
    return value
