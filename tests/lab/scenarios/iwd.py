"""NetworkManager and its supplicant stop, iwd starts alone: Ondrel follows
the change and talks to iwd (the iwd_* scenarios after this one)."""

import iwdtools


def run(lab, check):
    lab.stop_networkmanager()
    lab.start_iwd()
    check.true("iwd manages wlan0 (its station list)", iwdtools.station() != {}, iwdtools.station())
    status, doc = iwdtools.probe(lab)
    check.equal("exit status", 0, status)
    check.equal("backend", "iwd", doc.get("backend"))
    check.equal("interface", ("wlan0", True), ((doc.get("interface") or {}).get("name"),
                                              (doc.get("interface") or {}).get("poweredOn")))
