"""The main window's figures as a screen reader gets them (`--shot PATH --json`):
each row of the list is a list item whose description starts with the strength
the row draws and, with details shown, ends with its access point's BSSID; the
current network's card is a line of text that starts with "Connected"."""

import json
import re

from check import SIGNAL_TOLERANCE_DB

STRENGTH = re.compile(r"^(-?\d+) dBm")
BSSID = re.compile(r"([0-9A-Fa-f]{2}(?::[0-9A-Fa-f]{2}){5})$")
ISOLATED = re.compile("^\u2068(.*)\u2069, (.*)$")


def document(check, out, what):
    """The ondrel-shot/1 document in a run's standard output, or None (a failed check says why)."""
    try:
        doc = json.loads(out or "{}")
    except ValueError as e:
        doc = {"error": str(e)}
    if not check.equal(f"{what}: an ondrel-shot/1 document", "ondrel-shot/1", doc.get("format")):
        return None
    return doc


def rows(doc):
    """The list's rows in order: {"name" (as shown), "current", "saved", "rssi", "bssid" (lower case,
    or None), "description"}."""
    out = []
    for e in doc["elements"]:
        if e["role"] != "ListItem":
            continue
        first = (e["description"] or "").split("\n")[0]
        strength, bssid = STRENGTH.match(first), BSSID.search(first)
        name = ISOLATED.match(e["name"] or "")
        marks = name.group(2).split(", ") if name else []
        out.append({"name": name.group(1) if name else e["name"], "description": first,
                    "current": "Connected" in marks, "saved": "Saved" in marks, "rssi": int(strength.group(1)) if strength else None,
                    "bssid": bssid.group(1).lower() if bssid else None})
    return out


def card(doc):
    """The current network's card, or None."""
    cards = [e["name"] for e in doc["elements"] if e["role"] == "StaticText" and
             (e["name"] or "").startswith("Connected")]
    return cards[0] if len(cards) == 1 else None


def strength_in(text):
    """The strength (dBm) a text such as the card's shows, or None."""
    seen = re.search(r"(-?\d+) dBm", text or "")
    return int(seen.group(1)) if seen else None


def card_strength(doc):
    """The strength the current network's card shows (dBm), or None."""
    return strength_in(card(doc))


def judge_rows(check, doc, ref, label):
    """Each row against the kernel at the same moment: its strength is its access point's (the
    link's for the current one, the scan dump's otherwise), that access point is the strongest of
    its name, the current network first and the others strongest first, and every name the kernel
    lists has a row."""
    kernel, link = ref["kernel"], ref["link"]

    def level(bssid):
        if link and link.get("bssid") == bssid:
            return link.get("signal_dbm")
        k = kernel.get(bssid)
        return k["signal_dbm"] if k else None

    shown = rows(doc)
    names = set()
    for r in shown:
        k = kernel.get(r["bssid"])
        if not check.true(f"{label}: row {r['name']!r} names an access point in the kernel's scan dump", k,
                          r["description"]):
            continue
        check.signal(f"{label}: row {r['name']!r}: the strength drawn", level(r["bssid"]), r["rssi"])
        if k["ssid"]:
            names.add(k["ssid"])
            strongest = max(level(b) for b, o in kernel.items() if o["ssid"] == k["ssid"])
            check.true(f"{label}: row {r['name']!r} shows the strongest of its name ({strongest:.0f} dBm)",
                       level(r["bssid"]) >= strongest - SIGNAL_TOLERANCE_DB, level(r["bssid"]))
    check.equal(f"{label}: a row for every name the kernel lists",
                sorted({o["ssid"] for o in kernel.values() if o["ssid"]}), sorted(names))
    current = [i for i, r in enumerate(shown) if r["current"]]
    check.equal(f"{label}: the current network's row first", [0] if link else [], current)
    levels = [r["rssi"] for r in shown if not r["current"]]
    check.true(f"{label}: the others strongest first", levels == sorted(levels, reverse=True), levels)
    if link:
        first = kernel.get(shown[0]["bssid"]) if shown else None
        check.equal(f"{label}: the first row is the link's network", link.get("ssid"), first and first["ssid"])
        shown_card = card(doc)
        check.true(f"{label}: the current network's card", shown_card, shown_card)
        check.signal(f"{label}: the card's strength, the link's", link.get("signal_dbm"), strength_in(shown_card))
