"""iwd alone: a hidden network is listed by its address until iwd knows its
name (iwctl connect-hidden), then by name, saved and current; once forgotten,
Ondrel joins it by name (--hidden) as iwctl did."""

import iwdtools

HIDDEN = "Lab Hidden"


def run(lab, check):
    iwdtools.scan()
    hidden = iwdtools.hidden_access_points()
    for _ in range(2):  # the scan may have ended before the radio heard the hidden beacons
        if hidden:
            break
        check.retried("iwd listed no hidden access point yet: iwctl's scan again")
        iwdtools.scan()
        hidden = iwdtools.hidden_access_points()
    check.true("iwd lists the hidden access point", bool(hidden), hidden)
    status, doc = iwdtools.probe(lab)
    unnamed = {n["bssid"]: n for n in doc.get("networks", []) if n["ssid"] is None}
    check.equal("hidden: listed by address", sorted(hidden), sorted(unnamed))
    check.true("hidden: not joinable by its name yet", HIDDEN not in [n["ssid"] for n in doc.get("networks", [])])

    r = iwdtools.connect_hidden(HIDDEN, "hidden pass")
    state = iwdtools.settle()
    if state != "connected":
        check.retried(f"connect-hidden: {r}")
        iwdtools.connect_hidden(HIDDEN, "hidden pass")
        state = iwdtools.settle()
    check.equal("iwctl joined it", ("connected", HIDDEN), (state, iwdtools.station().get("Connected network")))
    status, doc = iwdtools.probe(lab)
    named = [n for n in doc.get("networks", []) if n["ssid"] == HIDDEN]
    check.equal("known hidden: listed by name", 1, len(named))
    check.true("known hidden: saved and current", named and named[0]["saved"] and named[0]["current"], named)
    check.equal("known hidden: its address", sorted(hidden), [n["bssid"] for n in named])
    iwdtools.disconnect()
    status, doc = iwdtools.probe(lab, "--connect", HIDDEN)
    check.equal("known hidden: joined again by Ondrel", 0, status)
    check.equal("known hidden: iwctl", HIDDEN, iwdtools.station().get("Connected network"))
    iwdtools.disconnect()

    # Forgotten, then joined by name by Ondrel: iwd's ConnectHiddenNetwork with the typed passphrase.
    iwdtools.forget(HIDDEN)
    iwdtools.settle()
    for attempt in range(2):
        status, doc = iwdtools.probe(lab, "--connect", HIDDEN, "--hidden", "--security", "wpa2",
                                     password="hidden pass")
        if status == 0 or attempt == 1:
            break
        check.retried(f"--hidden: {(doc.get('join') or {}).get('error')}")
        iwdtools.settle()
    join = doc.get("join") or {}
    check.equal("by name: exit status, outcome, hidden", (0, "ok", True),
                (status, join.get("outcome"), join.get("hidden")))
    check.equal("by name: iwctl", HIDDEN, iwdtools.station().get("Connected network"))
    check.true("by name: iwd stored it", HIDDEN in iwdtools.known(), iwdtools.known())
    iwdtools.disconnect()
    # A wrong passphrase for a name iwd does not know leaves nothing stored.
    iwdtools.forget(HIDDEN)
    iwdtools.settle()
    status, doc = iwdtools.probe(lab, "--connect", HIDDEN, "--hidden", "--security", "wpa2",
                                 password="wrong pass")
    check.equal("by name, wrong passphrase: exit status, outcome", (1, "failed"),
                (status, (doc.get("join") or {}).get("outcome")))
    check.true("by name, wrong passphrase: nothing stored", HIDDEN not in iwdtools.known(), iwdtools.known())
