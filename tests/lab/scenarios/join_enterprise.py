"""An 802.1X network is refused without any join attempt: no activation in
NetworkManager, no frame to the access point, no profile."""

import joins
import views


def run(lab, check):
    ap = lab.ap("eap")
    mark, nm_mark = lab.ap_log_mark(), lab.nm_log_mark()
    for password in (None, "some password"):
        what = "with a password" if password else "without a password"
        run, doc = lab.app.connect(ap.ssid.decode(), password)
        check.equal(f"{what}: outcome", "failed", joins.outcome(doc))
        check.equal(f"{what}: exit status", 1, run.rc)
        check.note(f"enterprise {what}: {((doc or {}).get('join') or {}).get('error')}")
        check.true(f"{what}: the error is not NetworkManager's raw failure (-1)",
                   joins.error(doc)[1] not in (None, -1), joins.error(doc))
    check.equal("no activation in NetworkManager's log", [],
                [line for line in lab.nm_log(nm_mark).splitlines() if "Activation: starting" in line])
    check.equal("no frame from the client at the access point", "", lab.ap_log(ap, mark))
    check.equal("no profile", {}, joins.profiles_for(ap.ssid))
    check.true("not on the network", views.iw_link().get("bssid") != ap.bssid, views.iw_link())
