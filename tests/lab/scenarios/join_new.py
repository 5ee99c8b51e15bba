"""A network the system does not know: a wrong password fails as such and
leaves no profile; the right one joins, gets an address and is saved with
its secret; the list then marks it current and saved."""

import figures
import joins
import listing
import views


def run(lab, check):
    ap = lab.ap("wpa2")
    before = views.keyfiles()
    run, doc = lab.app.connect(ap.ssid.decode(), "wrong horse")
    check.equal("wrong password: outcome", "failed", joins.outcome(doc))
    check.equal("wrong password: NetworkManager's reason, no secrets (7)", (joins.STATE_REASON, 7), joins.error(doc))
    check.equal("wrong password: exit status", 1, run.rc)
    check.true(f"wrong password: answered within {lab.app.join_bound():.0f} s (a listing and 45 s)",
               run.seconds < lab.app.join_bound(), f"{run.seconds:.1f} s")
    joins.settle()
    check.equal("wrong password: no profile left", {}, joins.profiles_for(ap.ssid))
    check.equal("wrong password: no keyfile left", before, views.keyfiles())
    check.equal("wrong password: no link", {}, views.iw_link())

    run, doc = joins.join(lab, check, ap, ap.password)
    joins.judge_joined(lab, check, ap, run, doc, "right password")
    joins.judge_saved(check, ap, "right password", "wpa-psk", ap.password)

    survey = figures.iw_survey()
    run, doc = lab.app.probe()
    ref = listing.snapshot()
    listing.judge_document(lab, check, doc, ref)
    if doc:
        figures.compare(lab, check, doc, "figures, joined", survey)
        figures.judge_current(check, doc, survey)
    current = (doc or {}).get("interface", {}).get("current") or {}
    link = ref["link"]
    check.equal("interface.current: name, BSSID, channel, band", (ap.ssid.decode(), ap.bssid, ap.channel, "2.4GHz"),
                (current.get("ssid"), (current.get("bssid") or "").lower(), current.get("channel"), current.get("band")))
    check.signal("interface.current: signal against the kernel's link", link.get("signal_dbm"), current.get("rssi"))
