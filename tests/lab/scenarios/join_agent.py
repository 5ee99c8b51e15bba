"""A saved profile whose secret belongs to an agent (psk-flags 1, nothing
stored): the typed password reaches NetworkManager through Ondrel's agent
and joins; without one the join fails as a missing secret; the profile is
never changed."""

import joins
import views
from labenv import sh


def run(lab, check):
    ap = lab.ap("mesh1")  # the strongest of the three "Lab Mesh"
    sh("nmcli", "connection", "add", "type", "wifi", "ifname", "wlan0", "con-name", "Lab Mesh (agent)",
       "ssid", "Lab Mesh", "wifi-sec.key-mgmt", "wpa-psk", "wifi-sec.psk-flags", "1",
       "connection.autoconnect", "no")
    before = views.keyfiles()
    check.equal("the profile holds no secret", [None],
                [p["settings"].get("802-11-wireless-security.psk") or None for p in joins.profiles_for(ap.ssid).values()])

    run, doc = joins.join(lab, check, ap, ap.password)
    joins.judge_joined(lab, check, ap, run, doc, "typed password")
    check.equal("typed password: keyfiles unchanged", before, views.keyfiles())
    joins.disconnect()

    run, doc = lab.app.connect(ap.ssid.decode())
    check.equal("no password: outcome", "failed", joins.outcome(doc))
    check.equal("no password: a missing secret (7)", (joins.STATE_REASON, 7), joins.error(doc))
    joins.settle()
    check.equal("no password: keyfiles unchanged", before, views.keyfiles())
