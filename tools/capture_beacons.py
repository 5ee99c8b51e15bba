#!/usr/bin/env python3
"""Turns a lab run's capture (the kernel_figures scenario: nl80211-dump.json, what the
nl80211 reader read, and iw-scan-dump.txt, iw's decoding of the same
beacons) into the element parser's test fixture and the fuzz seeds:

    tools/capture_beacons.py RESULTS_DIR

writes tests/wifi/nl80211/beacons/lab.json (each BSS's elements with what
iw decodes from them) and fuzz/corpus/elements/*.bin."""

import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path[:0] = [os.path.join(HERE, "guest"), os.path.join(HERE, "scenarios")]
import figures  # noqa: E402


def main(results):
    dump = json.load(open(os.path.join(results, "nl80211-dump.json")))
    iw = figures.parse_iw_scan(open(os.path.join(results, "iw-scan-dump.txt")).read())
    captures = []
    corpus = os.path.join(ROOT, "fuzz", "corpus", "elements")
    os.makedirs(corpus, exist_ok=True)
    for b in sorted(dump["bsses"], key=lambda b: b["bssid"]):
        decoded = iw.get(b["bssid"])
        if not decoded or not b["elements"]:
            continue
        elements = bytes.fromhex(b["elements"])
        ssid = b""
        if len(elements) >= 2 and elements[0] == 0:
            ssid = elements[2:2 + elements[1]]
        load = decoded["load"]
        name = (ssid.decode("utf-8", "replace") or "hidden") + f" {b['frequencyMHz']} MHz"
        captures.append({
            "name": name,
            "bssid": b["bssid"],
            "frequencyMHz": b["frequencyMHz"],
            "ssidHex": ssid.hex(),
            "elements": b["elements"],
            "expected": {
                "widthMHz": figures.iw_width(decoded, b["frequencyMHz"]),
                "countryCode": decoded["country"] if decoded["country"] and decoded["country"].isalpha() else None,
                "stationCount": load["stations"] if load else None,
                "channelUtilization": load["utilisation"] if load else None,
            },
        })
        with open(os.path.join(corpus, f"{b['bssid'].replace(':', '')}.bin"), "wb") as f:
            f.write(elements)
    out = os.path.join(ROOT, "tests", "wifi", "nl80211", "beacons", "lab.json")
    os.makedirs(os.path.dirname(out), exist_ok=True)
    with open(out, "w") as f:
        json.dump(captures, f, indent=1)
        f.write("\n")
    print(f"{len(captures)} captures to {out} and {corpus}")


if __name__ == "__main__":
    main(sys.argv[1])
