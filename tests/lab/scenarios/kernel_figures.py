"""The kernel's radio figures: every figure of `--probe --json` (and the
table's RSSI column) against iw on the same radios at the same moment, the
current network's signal against the link's, and NetworkManager's figures
again where the kernel cannot be read (Ondrel run in another network
namespace, where wlan0 does not exist). Also captures the beacons the
kernel kept, for the element parser's tests and the fuzz seeds."""

import json
import os
import re
import subprocess

import radios_kernel
from labenv import sh, wait_for


def iw_bsses(dev="wlan0"):
    """iw's scan dump with the decoded elements: {bssid: {...}}."""
    return parse_iw_scan(sh("iw", "dev", dev, "scan", "dump"))


def parse_iw_scan(out):
    bsses, cur, section = {}, None, None
    for line in out.splitlines():
        if line.startswith("BSS "):
            cur = bsses.setdefault(line[4:21].lower(), {"ht_secondary": None, "vht_width": None,
                                                        "country": None, "load": None})
            section = None
            continue
        if cur is None:
            continue
        s = line.strip()
        if s.startswith("freq:"):
            cur["freq"] = int(float(s.split()[1]))
        elif s.startswith("signal:"):
            cur["signal"] = float(s.split()[1])
        elif s.startswith("SSID:"):
            cur["ssid"] = s[5:].strip()
        elif s.startswith("Country:"):
            cur["country"] = s.split()[1]
        elif s.startswith("BSS Load:"):
            section = "load"
            cur["load"] = {}
        elif s.startswith("HT operation:"):
            section = "ht"
        elif s.startswith("VHT operation:"):
            section = "vht"
        elif s.startswith("* station count:") and section == "load":
            cur["load"]["stations"] = int(s.split(":")[1])
        elif s.startswith("* channel utilisation:") and section == "load":
            cur["load"]["utilisation"] = int(s.split(":")[1].split("/")[0])
        elif s.startswith("* secondary channel offset:") and section == "ht":
            cur["ht_secondary"] = s.split(":", 1)[1].strip()
        elif s.startswith("* channel width:") and section == "vht":
            cur["vht_width"] = int(s.split(":")[1].split()[0])
        elif not s.startswith("*"):
            section = None if not line.startswith("\t\t") else section
    return bsses


def iw_width(b, freq):
    if freq >= 5925:
        return 20  # the lab's 6 GHz access point: op_class 131 (iw does not decode HE operation)
    if b["vht_width"] == 1:
        return 80
    if b["ht_secondary"] in ("above", "below"):
        return 40
    return 20


def iw_survey(dev="wlan0"):
    out = sh("iw", "dev", dev, "survey", "dump")
    noise, freq = {}, None
    for line in out.splitlines():
        s = line.strip()
        if s.startswith("frequency:"):
            freq = int(s.split()[1])
        elif s.startswith("noise:") and freq:
            noise[freq] = int(s.split()[1])
    return noise


def probe(lab, *args, netns=None):
    cmd = [lab.ondrel, "--probe"] + list(args)
    if netns:
        cmd = ["ip", "netns", "exec", netns] + cmd
    env = dict(os.environ, ONDREL_LOG=os.path.join(lab.results, "ondrel-kernel.log"))
    return subprocess.run(cmd, capture_output=True, text=True, timeout=180, env=env)


def compare(lab, check, doc, label, survey_before):
    """Every network of the probe's JSON against iw and the survey. The
    survey lists a channel only once a scan has visited it since the last
    scan began (mac80211_hwsim), so the noise must be what the survey said
    just before or just after the probe."""
    bsses = iw_bsses()
    noise = iw_survey()
    seen = 0
    rows = []
    for n in doc["networks"]:
        b = bsses.get((n["bssid"] or "").lower())
        if not b:
            continue
        seen += 1
        name = n["ssid"] or n["bssid"]
        src = n["sources"]
        kernel_rssi = round(b["signal"])
        if n["current"]:
            link = lab.iw_link()
            kernel_rssi = link.get("signal_dbm", kernel_rssi)
        check.true(f"{label}: {name} rssi {n['rssi']} within 1 dB of iw's {b['signal']}",
                   abs(n["rssi"] - kernel_rssi) <= 1, n["rssi"])
        check.equal(f"{label}: {name} rssi source", "station" if n["current"] else "scanDump", src["rssi"])
        around = {survey_before.get(b["freq"], 0), noise.get(b["freq"], 0)}
        check.true(f"{label}: {name} noise {n['noise']} is the survey's {sorted(around)}", n["noise"] in around,
                   n["noise"])
        check.equal(f"{label}: {name} noise source", "survey" if n["noise"] else None, src["noise"])
        check.equal(f"{label}: {name} width", iw_width(b, b["freq"]), n["widthMHz"])
        check.equal(f"{label}: {name} country", b["country"], n["countryCode"])
        load = b["load"]
        check.equal(f"{label}: {name} station count", load and load.get("stations"), n["stationCount"])
        check.equal(f"{label}: {name} utilisation",
                    None if not load else (load["utilisation"] * 100 + 127) // 255, n["utilization"])
        rows.append({"ssid": name, "bssid": n["bssid"], "ondrel": {k: n[k] for k in (
            "rssi", "noise", "widthMHz", "countryCode", "stationCount", "utilization")},
            "iw": {"signal": b["signal"], "noise": sorted(around), "width": iw_width(b, b["freq"]),
                   "country": b["country"], "load": load}, "sources": src})
    check.true(f"{label}: the networks iw lists are compared", seen >= 14, seen)
    return rows


def expected_from_hostapd(check, doc):
    """What hostapd was told to send, seen through Ondrel."""
    by_name = {n["ssid"]: n for n in doc["networks"] if n["ssid"]}
    for ap in radios_kernel.access_points():
        n = by_name.get(ap.ssid.decode())
        exp = radios_kernel.EXPECTED[ap.name]
        if not check.true(f"{ap.ssid.decode()} is listed", n is not None):
            continue
        check.equal(f"{ap.ssid.decode()}: width hostapd sends", exp["width"], n["widthMHz"])
        check.equal(f"{ap.ssid.decode()}: country hostapd sends", exp["country"], n["countryCode"])
        if exp["load"]:
            check.equal(f"{ap.ssid.decode()}: BSS Load hostapd sends",
                        [exp["load"][0], (exp["load"][1] * 100 + 127) // 255],
                        [n["stationCount"], n["utilization"]])


def capture(lab):
    tool = os.path.join(os.path.dirname(lab.ondrel), "..", "tests", "wifi", "nl80211", "ondrel_nl80211_dump")
    if os.path.exists(tool):
        out = subprocess.run([tool, "wlan0"], capture_output=True, text=True, timeout=30)
        with open(os.path.join(lab.results, "nl80211-dump.json"), "w") as f:
            f.write(out.stdout)
    with open(os.path.join(lab.results, "iw-scan-dump.txt"), "w") as f:
        f.write(sh("iw", "dev", "wlan0", "scan", "dump", "-u"))


def table_rssi(text):
    """The RSSI column of the text table, by BSSID."""
    out = {}
    for line in text.splitlines():
        m = re.search(r"\s(-?\d+) dBm\s.*\s([0-9a-fA-F]{2}(?::[0-9a-fA-F]{2}){5})\s*$", line)
        if m:
            out[m.group(2).lower()] = int(m.group(1))
    return out


def run(lab, check):
    lab.nm_rescan()
    survey = iw_survey()
    out = probe(lab, "--json")
    check.equal("probe exit status", 0, out.returncode)
    doc = json.loads(out.stdout)
    rows = compare(lab, check, doc, "before joining", survey)
    expected_from_hostapd(check, doc)
    capture(lab)

    # NetworkManager's saturated figure against the kernel's, for the report.
    nm = {r["bssid"]: r["signal"] for r in lab.nmcli_list()}
    for r in rows:
        r["nmPercent"] = nm.get(r["bssid"].lower())

    # The table shows the same signal.
    text = probe(lab)
    table = table_rssi(text.stdout)
    bsses = iw_bsses()
    check.true("table: every access point iw lists has a row", len(set(table) & set(bsses)) >= 16,
               len(set(table) & set(bsses)))
    for bssid, rssi in table.items():
        if bssid in bsses:
            check.true(f"table: {bssid} rssi {rssi} within 1 dB of iw's {bsses[bssid]['signal']}",
                       abs(rssi - round(bsses[bssid]["signal"])) <= 1, rssi)

    # Joined: the current network takes the link's signal.
    joined = probe(lab, "--json", "--connect", "Lab Load")
    check.equal("join of Lab Load", 0, joined.returncode)
    wait_for("the link", lambda: lab.iw_link().get("signal_dbm"), timeout=30)
    survey = iw_survey()
    after = json.loads(probe(lab, "--json").stdout)
    link = lab.iw_link()
    current = after["interface"]["current"]
    check.true("interface.current is Lab Load", current and current["ssid"] == "Lab Load", current)
    if current:
        check.equal("current rssi = the link's", link.get("signal_dbm"), current["rssi"])
        check.equal("current rssi source", "station", current["sources"]["rssi"])
        check.true("current noise is the survey's", current["noise"] in
                   {survey.get(link.get("freq"), 0), iw_survey().get(link.get("freq"), 0)} and current["noise"],
                   current["noise"])
    mark = [n for n in after["networks"] if n["current"]]
    check.equal("one network is current", 1, len(mark))
    if mark:
        check.equal("current row's rssi = the link's", link.get("signal_dbm"), mark[0]["rssi"])
    rows_joined = compare(lab, check, after, "joined", survey)
    sh(lab.ondrel, "--shot", os.path.join(lab.results, "kernel-main.png"), check=False, timeout=120,
       env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))

    # Where the kernel cannot be read: NetworkManager's figures, and the JSON says so.
    sh("ip", "netns", "add", "elsewhere", check=False)
    away = probe(lab, "--json", netns="elsewhere")
    check.equal("probe in another namespace: exit status", 0, away.returncode)
    away_doc = json.loads(away.stdout)
    nm = {r["bssid"]: r["signal"] for r in lab.nmcli_list()}
    for n in away_doc["networks"]:
        name = n["ssid"] or n["bssid"]
        pct = nm.get((n["bssid"] or "").lower())
        if pct is not None:
            check.equal(f"fallback: {name} rssi from NetworkManager's {pct} %", round(-100 + 0.6 * pct), n["rssi"])
        check.equal(f"fallback: {name} sources", {"rssi": "networkManager", "noise": None, "widthMHz": None,
                                                 "countryCode": None, "load": None}, n["sources"])
        check.equal(f"fallback: {name} noise, country, load", [0, None, None],
                    [n["noise"], n["countryCode"], n["stationCount"]])
    cur = away_doc["interface"]["current"]
    check.true("fallback: current network's rssi from NetworkManager",
               cur and cur["sources"]["rssi"] == "networkManager" and cur["noise"] == 0, cur)

    with open(os.path.join(lab.results, "kernel-figures.json"), "w") as f:
        json.dump({"before": rows, "joined": rows_joined, "fallback": away_doc["networks"],
                   "fallbackCurrent": cur}, f, indent=1)
    print(json.dumps(rows, indent=1))
