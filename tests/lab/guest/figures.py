"""The kernel's radio figures against Ondrel's: every figure of a `--probe
--json` document (signal, noise, width, country, BSS Load and their sources)
against iw's scan dump and survey of the same radios at the same moment, and
what hostapd was told to send."""

import re
import time

import radios_kernel
import views
from labenv import CLIENT, sh


def iw_bsses(dev=CLIENT):
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


def iw_survey(dev=CLIENT):
    out = sh("iw", "dev", dev, "survey", "dump")
    noise, freq = {}, None
    for line in out.splitlines():
        s = line.strip()
        if s.startswith("frequency:"):
            freq = int(s.split()[1])
        elif s.startswith("noise:") and freq:
            noise[freq] = int(s.split()[1])
    return noise


def survey_around(check, label, freqs, before, after, wait=20):
    """The noise iw's survey gave each channel just before and just after a reading: {freq: {noise}}.
    A scan that began before either look leaves the channels it has not visited yet out of that
    look; where both missed a channel, the survey is read again until the radio has been back on it
    (mac80211_hwsim's noise does not change), so that a missing look is never taken for a wrong one."""
    around = {f: {before.get(f, 0), after.get(f, 0)} - {0} for f in freqs}
    missing = [f for f, seen in around.items() if not seen and f]
    deadline = time.monotonic() + wait
    while missing and time.monotonic() < deadline:
        time.sleep(0.5)
        later = iw_survey()
        for f in missing:
            around[f] |= {later.get(f, 0)} - {0}
        missing = [f for f in missing if not around[f]]
    late = sorted(f for f in freqs if f not in before and f not in after and around[f])
    if late:
        check.note(f"{label}: a scan was under way at both of iw's looks; the survey read again for {late} MHz")
    return around


def ondrel_surveyed(lab):
    """How many channels the survey of Ondrel's latest kernel reading had, as its log says
    (it says so whenever the count changes); None without such a line."""
    try:
        with open(f"{lab.results}/ondrel.log", encoding="utf-8", errors="replace") as f:
            found = re.findall(r"radio figures from the kernel \(\d+ BSS, (\d+) channels surveyed\)", f.read())
    except OSError:
        return None
    return int(found[-1]) if found else None


def compare(lab, check, doc, label, survey_before):
    """Every network of the probe's JSON against iw's scan dump and survey (the signal itself is
    listing.judge_document's). The survey lists a channel only once a scan has visited it since the
    last scan began (mac80211_hwsim), so the noise must be what it said just before or just after
    the probe. Where Ondrel's reading came in the middle of a scan (its survey had fewer channels
    than iw's has now), a channel may have had no noise yet: no noise and no source is then right
    too, and noted. Returns the figures side by side, for the results."""
    bsses = iw_bsses()
    noise = iw_survey()
    surveyed = ondrel_surveyed(lab)
    partial = surveyed is not None and surveyed < len(noise)
    if partial:
        check.note(f"{label}: Ondrel read the survey during a scan ({surveyed} of {len(noise)} channels)")
    rows = []
    listed = [(n, b) for n in doc["networks"] if (b := bsses.get((n["bssid"] or "").lower()))]
    surveys = survey_around(check, label, {b["freq"] for _, b in listed}, survey_before, noise)
    for n, b in listed:
        name = n["ssid"] or n["bssid"]
        src = n["sources"]
        around = surveys[b["freq"]]
        unsurveyed = partial and not n["noise"] and src["noise"] is None
        check.true(f"{label}: {name} noise {n['noise']} is the survey's {sorted(around)}",
                   n["noise"] in around or unsurveyed, n["noise"])
        check.equal(f"{label}: {name}: sources of signal and noise",
                    ("station" if n["current"] else "scanDump", None if unsurveyed else "survey"),
                    (src["rssi"], src["noise"]))
        load = b["load"]
        kernel = (iw_width(b, b["freq"]), b["country"], load and load.get("stations"),
                  None if not load else (load["utilisation"] * 100 + 127) // 255)
        check.equal(f"{label}: {name}: width, country, stations, utilisation as iw decodes the elements", kernel,
                    (n["widthMHz"], n["countryCode"], n["stationCount"], n["utilization"]))
        rows.append({"ssid": name, "bssid": n["bssid"], "ondrel": {k: n[k] for k in (
            "rssi", "noise", "widthMHz", "countryCode", "stationCount", "utilization")},
            "iw": {"signal": b["signal"], "noise": sorted(around), "width": kernel[0], "country": b["country"],
                   "load": load}, "sources": src})
    check.equal(f"{label}: every access point compared with iw", len(lab.aps), len(rows))
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




def judge_current(check, doc, survey_before):
    """interface.current takes the link's signal and its channel's noise."""
    link = views.iw_link()
    current = (doc.get("interface") or {}).get("current") or {}
    check.equal("interface.current: signal and its source, the link's", (link.get("signal_dbm"), "station"),
                (current.get("rssi"), (current.get("sources") or {}).get("rssi")))
    freq = link.get("freq")
    around = survey_around(check, "interface.current", {freq}, survey_before, iw_survey())[freq]
    check.true(f"interface.current: noise {current.get('noise')} is the survey's {sorted(around)}",
               current.get("noise") in around, current.get("noise"))
