"""An 802.1X network is refused without any join attempt: Ondrel's own
"enterprise" outcome, no activation in NetworkManager, no frame to the
access point, no profile."""

import joins
import views


def run(lab, check):
    ap = lab.ap("eap")
    # NetworkManager goes back to a saved network by itself after the previous
    # scenario's failed join: let it finish first, so the window below holds
    # only what happens during Ondrel's runs.
    joins.settle()
    mark, nm_mark = lab.ap_log_mark(), lab.nm_log_mark()
    for password in (None, "some password"):
        what = "with a password" if password else "without a password"
        run, doc = lab.app.connect(ap.ssid.decode(), password)
        check.equal(f"{what}: outcome", "enterprise", joins.outcome(doc))
        check.equal(f"{what}: exit status", 1, run.rc)
        check.equal(f"{what}: Ondrel's own enterprise error (4)", ("ondrel.WiFiError", 4), joins.error(doc))
    # NetworkManager's own automatic joins of saved networks are announced first ("auto-activating");
    # any other activation was asked for by a client.
    log = lab.nm_log(nm_mark).splitlines()
    automatic = {line.split("auto-activating connection ", 1)[1].split(" (", 1)[0] for line in log
                 if "auto-activating connection " in line}
    check.equal("no activation asked of NetworkManager", [],
                [line for line in log if "Activation: starting connection " in line
                 and line.split("Activation: starting connection ", 1)[1].split(" (", 1)[0] not in automatic])
    check.equal("no frame from the client at the access point", "", lab.ap_log(ap, mark))
    check.equal("no profile", {}, joins.profiles_for(ap.ssid))
    check.true("not on the network", views.iw_link().get("bssid") != ap.bssid, views.iw_link())
