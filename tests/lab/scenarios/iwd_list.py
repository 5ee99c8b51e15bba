"""iwd alone: Ondrel's list against iwctl's, and the main window."""

import os

import iwdtools
import radios
import window

# iwd's type for each of Ondrel's security tokens (iwd does not tell WPA2 from WPA3, nor OWE from open).
TYPES = {"wpa2Personal": "psk", "open": "open", "enterprise": "8021x", "wep": "wep"}


def run(lab, check):
    iwdtools.scan()
    status, doc = iwdtools.probe(lab)
    iwctl = iwdtools.networks()
    hidden = iwdtools.hidden_access_points()
    check.equal("exit status", 0, status)
    check.equal("backend", "iwd", doc.get("backend"))
    check.equal("interface", "wlan0", doc.get("interface", {}).get("name"))
    check.true("radio on", doc.get("interface", {}).get("poweredOn"))
    named = {n["ssid"]: n for n in doc.get("networks", []) if n["ssid"] is not None}
    check.equal("the names iwctl lists", sorted(iwctl), sorted(named))
    for name, (kind, signal) in sorted(iwctl.items()):
        n = named.get(name, {})
        check.equal(f"{name}: signal (dBm)", round(signal / 100), n.get("rssi"))
        check.equal(f"{name}: type", kind, TYPES.get(n.get("security")))
    # One access point of each hidden network, by address; the name iwd drops (not UTF-8) nowhere.
    unnamed = sorted(n["bssid"] for n in doc.get("networks", []) if n["ssid"] is None)
    check.equal("hidden access points", sorted(hidden), unnamed)
    hostile = [ap for ap in radios.environment() if ap.name == "hostile"][0]
    check.true("the name that is not UTF-8 is not listed",
               all((n.get("ssidHex") or "") != hostile.ssid.hex() for n in doc.get("networks", [])))
    # Strongest first, as the table.
    rssis = [n["rssi"] for n in doc.get("networks", [])]
    check.equal("strongest first", sorted(rssis, reverse=True), rssis)

    status, out, err = iwdtools.ondrel(lab, "--probe")
    check.equal("table: exit status", 0, status)
    check.true("table: every name", all(name in out for name in iwctl), out)
    check.true("table: footer", f"計 {len(doc.get('networks', []))} 件" in out, out[-200:])
    check.true("table: interface line", "インターフェース: wlan0 / 電源: true" in err, err)

    shot = os.path.join(lab.results, "iwd-main-en.png")
    status, out, err = iwdtools.ondrel(lab, "--lang", "en", "--shot", shot, "--json")
    iwctl = iwdtools.networks()
    check.equal("window: exit status", 0, status)
    check.true("window: picture written", os.path.getsize(shot) > 10000 if os.path.exists(shot) else False, err)
    doc = window.document(check, out, "window")
    if not doc:
        return
    shown = window.rows(doc)
    # A row per name iwctl lists (iwd gives one signal per network), its strength iwd's; names
    # that the window shows escaped are read by the probe's checks above.
    by_name = {r["name"]: r for r in shown}
    for name, (kind, signal) in sorted(iwctl.items()):
        if not (name.isascii() and name.isprintable()):
            continue
        check.equal(f"window: {name}: the strength drawn", round(signal / 100), (by_name.get(name) or {}).get("rssi"))
    levels = [r["rssi"] for r in shown if not r["current"]]
    check.true("window: strongest first (after the current network)", levels == sorted(levels, reverse=True), levels)
