"""iwd alone: a hidden network is listed by its address until iwd knows its
name (iwctl connect-hidden), then by name, saved and current."""

import iwdtools

HIDDEN = "Lab Hidden"


def run(lab, check):
    iwdtools.scan()
    hidden = iwdtools.hidden_access_points()
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
