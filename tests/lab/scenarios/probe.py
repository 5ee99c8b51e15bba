"""--probe --json and --probe against the kernel's scan dump and NetworkManager's
list of the same moment: every access point once, with its name, BSSID,
security, channel, band and signal; hidden, hostile, order and count."""

import listing


def run(lab, check):
    run, doc = lab.app.probe()
    ref = listing.snapshot()
    check.equal("exit status", 0, run.rc)
    check.true("not connected before the first join", not ref["link"], ref["link"])
    listing.judge_document(lab, check, doc, ref)
    if doc:
        check.equal("interface", ("wlan0", True, None),
                    (doc["interface"]["name"], doc["interface"]["poweredOn"], doc["interface"]["current"]))
        raw = [c for c in run.out if ord(c) < 0x20 and c != "\n" or 0x202a <= ord(c) <= 0x202e]
        check.equal("JSON: control and direction characters written as escapes", [], raw)
    table = lab.app.run("--probe")
    listing.judge_table(lab, check, table, doc or {"networks": []})
