"""Ondrel's list (the JSON document and the table) against the lab's access
points, the kernel's scan dump and NetworkManager's list of the same moment."""

import re

import views
from check import SIGNAL_TOLERANCE_DB

BANDS = {"2.4GHz": "2.4 GHz", "5GHz": "5 GHz", "6GHz": "6 GHz"}
PROBE_WORDS = {"open": "Open", "owe": "OWE", "wep": "WEP", "wpaPersonal": "WPA", "wpa2Personal": "WPA2",
               "wpa2wpa3Personal": "WPA2/WPA3", "wpa3Personal": "WPA3", "enterprise": "Enterprise"}
ROW = re.compile(r"^(?P<mark>[* ])(?P<name>.*?) +(?P<rssi>-?\d+) dBm +(?P<channel>\d+) (?P<band>.+?) +"
                 r"(?P<security>\S+) +(?P<bssid>\S*)$")


def channel_and_band(freq):
    if 2412 <= freq <= 2472:
        return (freq - 2407) // 5, "2.4GHz"
    if freq == 2484:
        return 14, "2.4GHz"
    if 5955 <= freq <= 7115:
        return (freq - 5950) // 5, "6GHz"
    return (freq - 5000) // 5, "5GHz"


def ssid_bytes(network):
    """The name's bytes as the JSON gives them back (None for a hidden network)."""
    if network.get("ssidHex"):
        return bytes.fromhex(network["ssidHex"])
    return network["ssid"].encode() if network.get("ssid") is not None else None


def snapshot():
    """The reference views, read together right after Ondrel's run."""
    return {"kernel": views.iw_scan_dump(), "nm": views.nmcli_by_bssid(),
            "link": views.iw_link(), "saved": views.saved_ssids()}


def judge_document(lab, check, doc, ref):
    """Every access point once with its name, BSSID, security, channel, band and signal; order;
    count; the saved marks (names in `saved`); the current network from the link."""
    if not check.true("a JSON document of format ondrel-probe/1", doc and doc.get("format") == "ondrel-probe/1",
                      (doc or {}).get("format")):
        return
    check.equal("scan outcome", "ok", doc["scan"]["outcome"])
    networks = doc["networks"]
    by_bssid = {}
    for n in networks:
        by_bssid.setdefault((n["bssid"] or "").lower(), []).append(n)
    check.equal("number of access points", len(lab.aps), len(networks))
    check.equal("number NetworkManager lists", len(ref["nm"]), len(networks))
    link = ref["link"]
    for ap in lab.aps:
        rows = by_bssid.get(ap.bssid, [])
        if not check.equal(f"{ap.name}: listed once", 1, len(rows)):
            continue
        n, k, m = rows[0], ref["kernel"].get(ap.bssid), ref["nm"].get(ap.bssid)
        # A hidden access point has a name once a probe for it was answered (a join by name).
        named = not ap.hidden or bool(m and m["ssid"])
        check.equal(f"{ap.name}: name", ap.ssid if named else None, ssid_bytes(n))
        if not named:
            check.equal(f"{ap.name}: hidden shown as hidden", (None, None), (n["ssid"], n["ssidHex"]))
        check.equal(f"{ap.name}: security", ap.security, n["security"])
        check.equal(f"{ap.name}: channel", ap.channel, n["channel"])
        if not check.true(f"{ap.name}: in the kernel's scan dump", k is not None, sorted(ref["kernel"])):
            continue
        check.equal(f"{ap.name}: security as the kernel's scan dump says", views.kernel_security(k), n["security"])
        check.equal(f"{ap.name}: channel and band from the kernel's frequency {k['freq']} MHz",
                    channel_and_band(k["freq"]), (n["channel"], n["band"]))
        if not check.true(f"{ap.name}: in NetworkManager's list", m is not None):
            continue
        check.equal(f"{ap.name}: name as NetworkManager lists it", m["ssid"] or None, ssid_bytes(n))
        if m["chan"]:  # NetworkManager 1.42 gives 6 GHz channels as 0
            check.equal(f"{ap.name}: channel as NetworkManager lists it", m["chan"], n["channel"])
        current = bool(link) and link.get("bssid") == ap.bssid
        check.equal(f"{ap.name}: marked current", current, n["current"])
        check.equal(f"{ap.name}: marked saved", ap.ssid in ref["saved"] and named, n["saved"])
        if current:
            check.signal(f"{ap.name}: signal against the kernel's link", link.get("signal_dbm"), n["rssi"])
        else:
            check.signal(f"{ap.name}: signal against the kernel's scan dump", k["signal_dbm"], n["rssi"])
    rssi = [n["rssi"] for n in networks]
    check.true("strongest first", rssi == sorted(rssi, reverse=True), rssi)
    judge_order(check, networks, ref)


def judge_order(check, networks, ref):
    """Each access point is above the next one whose kernel signal is clearly weaker."""
    levels = []
    for n in networks:
        k = ref["kernel"].get((n["bssid"] or "").lower())
        levels.append(round(k["signal_dbm"]) if k else None)
    wrong = [(networks[i]["bssid"], levels[i], networks[j]["bssid"], levels[j])
             for i in range(len(networks)) for j in range(i + 1, len(networks))
             if None not in (levels[i], levels[j]) and levels[j] - levels[i] > SIGNAL_TOLERANCE_DB]
    check.equal("order follows the kernel's signal (pairs listed the wrong way round)", [], wrong)


def parse_table(text):
    """The table's rows as dictionaries, and the footer's count."""
    lines = text.splitlines()
    rows = [ROW.match(line).groupdict() for line in lines[1:] if ROW.match(line)]
    footer = re.search(r"計 (\d+) 件", text)
    return rows, int(footer.group(1)) if footer else None


def judge_table(lab, check, run, doc):
    """The table lists what the JSON lists, in the same order, with hostile names made harmless."""
    check.equal("table: exit status", 0, run.rc)
    rows, count = parse_table(run.out)
    check.equal("table: header", "SSID", run.out.split(" ", 1)[0])
    check.equal("table: footer's count", len(doc["networks"]), count)
    check.equal("table: rows in the JSON's order", [n["bssid"] for n in doc["networks"]],
                [r["bssid"] for r in rows])
    unsafe = sorted({f"U+{ord(c):04X}" for c in run.out + run.err
                     if (ord(c) < 0x20 and c != "\n") or 0x7f <= ord(c) < 0xa0 or 0x202a <= ord(c) <= 0x202e
                     or 0x2066 <= ord(c) <= 0x2069 or c == "\ufffd"})
    check.equal("table: no control, direction or replacement characters reach the terminal", [], unsafe)
    by_bssid = {r["bssid"].lower(): r for r in rows}
    for ap in lab.aps:
        r = by_bssid.get(ap.bssid)
        n = next((n for n in doc["networks"] if (n["bssid"] or "").lower() == ap.bssid), None)
        if not check.true(f"table: {ap.name} has a row", r is not None and n is not None):
            continue
        check.equal(f"table: {ap.name}'s row", (int(n["rssi"]), n["channel"], BANDS.get(n["band"]),
                                                 PROBE_WORDS.get(n["security"]), "*" if n["saved"] else " "),
                    (int(r["rssi"]), int(r["channel"]), r["band"], r["security"], r["mark"]))
        if n["ssid"] is None:
            check.equal(f"table: {ap.name} shown as hidden", "(hidden)", r["name"])
        elif ap.ssid.isascii() and ap.ssid.decode().isprintable():
            check.equal(f"table: {ap.name}'s name", ap.ssid.decode(), r["name"])
        else:
            shown = r["name"]
            check.true(f"table: {ap.name}'s name shows its hostile bytes as escapes",
                       all(e in shown for e in ("\\xff", "\\xfe", "\\u202e", "\\x1b", "\\x07")) and "Lab" in shown,
                       shown)
