"""The reference tools' views of the same radios: the kernel's scan dump and
link (iw), NetworkManager's list and profiles (nmcli), the keyfiles on disk
and the interface's addresses (ip)."""

import glob
import os
import re

from labenv import CLIENT, log, sh

KEYFILES = "/etc/NetworkManager/system-connections"
RUNTIME_KEYFILES = "/run/NetworkManager/system-connections"

# Authentication suites as iw names them ("PSK", "PSK/SHA-256", "IEEE 802.1X", ...).
AKM_WORDS = {"PSK": "psk", "SAE": "sae", "OWE": "owe", "802.1X": "eap"}


def unescape_iw(text):
    """iw prints SSID bytes that are not printable (and spaces at either end) as \\xNN."""
    out = bytearray()
    i = 0
    while i < len(text):
        if text.startswith("\\x", i) and re.fullmatch(r"[0-9a-fA-F]{2}", text[i + 2:i + 4]):
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out += text[i].encode()
            i += 1
    return bytes(out)


def iw_scan_dump(dev=CLIENT):
    """The kernel's scan results by BSSID: {"freq", "signal_dbm", "ssid" (bytes), "akm" (set),
    "privacy", "associated", "seen_at" (boot time, seconds)}. A hidden network's beacon and its probe response are two
    entries for one BSSID: the named one wins."""
    out = sh("iw", "dev", dev, "scan", "dump")
    bss = {}
    current = None
    for line in out.splitlines():
        if line.startswith("BSS "):
            current = {"bssid": line[4:21].lower(), "associated": "associated" in line, "akm": set(),
                       "privacy": False, "ssid": b""}
            previous = bss.get(current["bssid"])
            if previous is None or not previous["ssid"]:
                bss[current["bssid"]] = current
            else:
                current = {"akm": set()}  # a second, nameless entry: read and dropped
            continue
        if current is None:
            continue
        s = line.strip()
        if s.startswith("freq:"):
            current["freq"] = int(float(s.split()[1]))
        elif s.startswith("signal:"):
            current["signal_dbm"] = float(s.split()[1])
        elif s.startswith("last seen:"):  # "last seen: 164.180s [boottime]"
            current["seen_at"] = float(s.split()[2].rstrip("s"))
        elif line.startswith("\tSSID:"):
            current["ssid"] = unescape_iw(line[len("\tSSID: "):])
        elif s.startswith("capability:") and "Privacy" in s:
            current["privacy"] = True
        elif "Authentication suites:" in s:
            suites = s.split(":", 1)[1]
            current["akm"] |= {word for key, word in AKM_WORDS.items() if key in suites}
    return bss


def kernel_security(entry):
    """The security word Ondrel's JSON should show for a kernel scan entry (RSN only: the lab has no WPA1)."""
    akm = entry["akm"]
    if "eap" in akm:
        return "enterprise"
    if "psk" in akm and "sae" in akm:
        return "wpa2wpa3Personal"
    if "sae" in akm:
        return "wpa3Personal"
    if "psk" in akm:
        return "wpa2Personal"
    if "owe" in akm:
        return "owe"
    return "wep" if entry["privacy"] else "open"


def iw_link(dev=CLIENT):
    """The current link: {"bssid", "ssid", "freq", "signal_dbm"}, empty when not connected."""
    out = sh("iw", "dev", dev, "link", check=False)
    link = {}
    for line in out.splitlines():
        s = line.strip()
        if s.startswith("Connected to "):
            link["bssid"] = s.split()[2].lower()
        elif line.startswith("\tSSID:"):
            link["ssid"] = unescape_iw(line[len("\tSSID: "):])
        elif s.startswith("signal:"):
            link["signal_dbm"] = int(s.split()[1])
        elif s.startswith("freq:"):
            link["freq"] = int(float(s.split()[1]))
    return link


def split_terse(line):
    """Splits a line of `nmcli -t -e yes` at unescaped colons."""
    fields, cur, esc = [], "", False
    for ch in line:
        if esc:
            cur += ch
            esc = False
        elif ch == "\\":
            esc = True
        elif ch == ":":
            fields.append(cur)
            cur = ""
        else:
            cur += ch
    fields.append(cur)
    return fields


def nmcli_list():
    """NetworkManager's list without a new scan: [{ssid (bytes), bssid, freq, chan, signal (percent),
    security, active}], in NetworkManager's order."""
    out = sh("nmcli", "-t", "-e", "yes", "-f", "SSID-HEX,BSSID,FREQ,CHAN,SIGNAL,SECURITY,ACTIVE",
             "dev", "wifi", "list", "--rescan", "no")
    rows = []
    for line in out.splitlines():
        f = split_terse(line)
        if len(f) != 7:
            continue
        rows.append({"ssid": bytes.fromhex(f[0]), "bssid": f[1].lower(), "freq": int(f[2].split()[0]),
                     "chan": int(f[3]), "signal": int(f[4]), "security": f[5], "active": f[6] == "yes"})
    return rows


def nmcli_by_bssid():
    """NetworkManager's list by BSSID. A hidden access point that answered a probe for its name is
    listed twice (the supplicant keeps its nameless beacon and the named answer apart): the named
    one stands for it, as in the kernel's scan dump."""
    out = {}
    for row in nmcli_list():
        if row["bssid"] not in out or not out[row["bssid"]]["ssid"]:
            out[row["bssid"]] = row
    return out


def nmcli_profiles():
    """Every profile NetworkManager holds: {uuid: {"type", "filename", "active", "settings"}}, the
    settings with their secrets (`nmcli -s`), all read in one nmcli call each for the list and the
    settings."""
    out = sh("nmcli", "-t", "-e", "yes", "-f", "UUID,TYPE,FILENAME,ACTIVE", "connection", "show")
    profiles = {}
    for line in out.splitlines():
        uuid, kind, filename, active = split_terse(line)
        profiles[uuid] = {"type": kind, "filename": filename, "active": active == "yes", "settings": {}}
    if not profiles:
        return profiles
    _read_settings(profiles, list(profiles))
    # nmcli prints a profile without its secrets when NetworkManager's answer to its
    # request for them came too late (seen on a loaded machine): those are asked again, alone.
    again = [u for u, p in profiles.items() if p["settings"].get("802-11-wireless-security.key-mgmt") in
             ("wpa-psk", "sae") and not p["settings"].get("802-11-wireless-security.psk")]
    if again:
        log(f"nmcli gave no secrets for {again}: asked again")
        _read_settings(profiles, again, "--wait", "30")
    return profiles


def _read_settings(profiles, uuids, *options):
    settings = None
    for row in sh("nmcli", *options, "-s", "-t", "-e", "yes", "connection", "show", *uuids,
                  check=False).splitlines():
        key, _, value = row.partition(":")
        value = value.replace("\\:", ":").replace("\\\\", "\\")
        if key == "connection.id":
            settings = {}
        elif key == "connection.uuid" and value in profiles:
            profiles[value]["settings"] = settings
        if settings is not None:
            settings[key] = value


def keyfiles():
    """The profiles on disk and in NetworkManager's runtime folder: {path: bytes}, without the
    "timestamp=" line NetworkManager adds when it rewrites a file (its record of the last
    successful activation, not a setting)."""
    files = {}
    for folder in (KEYFILES, RUNTIME_KEYFILES):
        for path in sorted(glob.glob(f"{folder}/*")):
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    files[path] = b"".join(line for line in f.readlines() if not line.startswith(b"timestamp="))
    return files


def keyfile_value(content, group, key):
    """One value of a keyfile's text (None when absent)."""
    section = None
    for line in content.decode(errors="replace").splitlines():
        if line.startswith("["):
            section = line.strip("[]")
        elif section == group and line.startswith(key + "="):
            return line[len(key) + 1:]
    return None


def ipv4_addresses(dev=CLIENT):
    out = sh("ip", "-4", "-o", "addr", "show", "dev", dev, check=False)
    return [line.split()[3].split("/")[0] for line in out.splitlines() if " inet " in line]


def device_state(dev=CLIENT):
    out = sh("nmcli", "-t", "-f", "GENERAL.STATE,GENERAL.CONNECTION", "device", "show", dev, check=False)
    fields = dict(line.split(":", 1) for line in out.splitlines() if ":" in line)
    return fields.get("GENERAL.STATE", ""), fields.get("GENERAL.CONNECTION", "")


def saved_ssids():
    """The SSIDs of NetworkManager's Wi-Fi profiles, as bytes (the lab's saved names are text)."""
    return {p["settings"].get("802-11-wireless.ssid", "").encode() for p in nmcli_profiles().values()
            if p["type"] == "802-11-wireless"}


def supplicant_status(dev=CLIENT):
    """wpa_supplicant's view of the link: {"wpa_state", "key_mgmt", "bssid", ...}."""
    out = sh("wpa_cli", "-p", "/run/lab/wpa_supplicant", "-i", dev, "status", check=False)
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
