"""An open network without a DHCP server: a clear failure in bounded time,
no profile left, the link taken down again."""

import joins
import views


def run(lab, check):
    ap = lab.ap("nodhcp")
    run, doc = lab.app.connect(ap.ssid.decode())
    check.equal("outcome", "failed", joins.outcome(doc))
    check.equal("exit status", 1, run.rc)
    check.true(f"answered within {lab.app.join_bound():.0f} s (a listing and 45 s)",
               run.seconds < lab.app.join_bound(), f"{run.seconds:.1f} s")
    check.note(f"no DHCP: the join's error {((doc or {}).get('join') or {}).get('error')} after {run.seconds:.1f} s")
    state = joins.settle()
    check.equal("no profile left", {}, joins.profiles_for(ap.ssid))
    # NetworkManager may go back to a saved network by itself: connected, then to another one.
    link = views.iw_link()
    check.true("not left on the network", link.get("bssid") != ap.bssid, link)
    check.true("connected only with a link to another network",
               "connected" not in state or "disconnected" in state or bool(link), (state, link))
