"""--probe --json and --probe against the kernel's scan dump and NetworkManager's
list of the same moment: every access point once, with its name, BSSID,
security, channel, band and signal; hidden, hostile, order and count."""

import figures
import listing
from labenv import write_json


def unheard(lab, ref):
    """The access points the kernel's scans, or NetworkManager's list that Ondrel reads, do not have yet.
    A hidden one answers no probe, so a scan hears it only when one of its beacons falls into the short
    time the scan spends on its channel; heard late in a scan, it reaches NetworkManager's list a moment
    after the kernel's dump and after Ondrel has read the list."""
    return [ap.name for ap in lab.aps if ap.bssid not in ref["kernel"] or ap.bssid not in ref["nm"]]


def run(lab, check):
    survey = figures.iw_survey()
    run, doc = lab.app.probe()
    ref = listing.snapshot()
    for _ in range(3):  # as a user would: Ondrel's own scan again
        missing = unheard(lab, ref)
        if not missing:
            break
        check.retried(f"the kernel's dump or NetworkManager's list lacked {', '.join(missing)}: "
                      "Ondrel's scan again")
        survey = figures.iw_survey()
        run, doc = lab.app.probe()
        ref = listing.snapshot()
    check.equal("exit status", 0, run.rc)
    check.true("not connected before the first join", not ref["link"], ref["link"])
    listing.judge_document(lab, check, doc, ref)
    if doc:
        rows = figures.compare(lab, check, doc, "figures", survey)
        figures.expected_from_hostapd(check, doc)
        write_json(f"{lab.results}/kernel-figures.json", rows)
        check.equal("interface", ("wlan0", True, None),
                    (doc["interface"]["name"], doc["interface"]["poweredOn"], doc["interface"]["current"]))
        raw = [c for c in run.out if ord(c) < 0x20 and c != "\n" or 0x202a <= ord(c) <= 0x202e]
        check.equal("JSON: control and direction characters written as escapes", [], raw)
    table = lab.app.run("--probe")
    listing.judge_table(lab, check, table, doc or {"networks": []})
