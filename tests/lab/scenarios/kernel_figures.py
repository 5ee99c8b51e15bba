"""The kernel's radio figures where the kernel cannot be read: Ondrel run in
another network namespace (where wlan0 does not exist) falls back to
NetworkManager's figures and its JSON says so. (The figures themselves are
checked against iw's with every listing: figures.py.) Also captures the
beacons the kernel kept, for the element parser's tests and the fuzz seeds
(tests/lab/capture_beacons.py)."""

import json
import os
import subprocess

from labenv import sh


def probe(lab, *args, netns=None):
    cmd = [lab.ondrel, "--probe"] + list(args)
    if netns:
        cmd = ["ip", "netns", "exec", netns] + cmd
    return subprocess.run(cmd, capture_output=True, text=True, timeout=180, env=lab.app.env())


def capture(lab):
    tool = os.path.join(os.path.dirname(lab.ondrel), "..", "tests", "wifi", "nl80211", "ondrel_nl80211_dump")
    if os.path.exists(tool):
        out = subprocess.run([tool, "wlan0"], capture_output=True, text=True, timeout=30)
        with open(os.path.join(lab.results, "nl80211-dump.json"), "w") as f:
            f.write(out.stdout)
    with open(os.path.join(lab.results, "iw-scan-dump.txt"), "w") as f:
        f.write(sh("iw", "dev", "wlan0", "scan", "dump", "-u"))


def run(lab, check):
    capture(lab)
    # Where the kernel cannot be read: NetworkManager's figures, and the JSON says so.
    sh("ip", "netns", "add", "elsewhere", check=False)
    # NetworkManager's percentage of the current access point moves between its
    # own readings of the link and of the scan: what it said just before or just
    # after the probe is right.
    nm_before = {r["bssid"]: r["signal"] for r in lab.nmcli_list()}
    away = probe(lab, "--json", netns="elsewhere")
    check.equal("probe in another namespace: exit status", 0, away.returncode)
    away_doc = json.loads(away.stdout or "{}")
    nm_after = {r["bssid"]: r["signal"] for r in lab.nmcli_list()}
    check.equal("fallback: every access point", len(lab.aps), len(away_doc.get("networks", [])))
    for n in away_doc.get("networks", []):
        name = n["ssid"] or n["bssid"]
        bssid = (n["bssid"] or "").lower()
        pcts = sorted({nm_before.get(bssid), nm_after.get(bssid)} - {None})
        if pcts:
            check.true(f"fallback: {name} rssi from NetworkManager's {pcts} %",
                       n["rssi"] in [round(-100 + 0.6 * pct) for pct in pcts], n["rssi"])
        check.equal(f"fallback: {name} sources", {"rssi": "networkManager", "noise": None, "widthMHz": None,
                                                 "countryCode": None, "load": None}, n["sources"])
        check.equal(f"fallback: {name} noise, country, load", [0, None, None],
                    [n["noise"], n["countryCode"], n["stationCount"]])
    cur = (away_doc.get("interface") or {}).get("current")
    check.true("fallback: current network's rssi from NetworkManager",
               cur and cur["sources"]["rssi"] == "networkManager" and cur["noise"] == 0, cur)

