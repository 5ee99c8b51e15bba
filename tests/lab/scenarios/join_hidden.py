"""A hidden network joined by name (--hidden with its security): joined,
saved as hidden, and the list shows the access point as the current one."""

import joins
import listing
import views


def run(lab, check):
    ap = lab.ap("hidden")
    run, doc = joins.join(lab, check, ap, ap.password, "--hidden", "--security", "wpa2")
    joins.judge_joined(lab, check, ap, run, doc, "hidden by name", by_name=True)
    uuid = joins.judge_saved(check, ap, "hidden by name", "wpa-psk", ap.password)
    if uuid:
        check.equal("saved as hidden", "yes", views.nmcli_profiles()[uuid]["settings"].get("802-11-wireless.hidden"))
    run, doc = lab.app.probe()
    ref = listing.snapshot()
    listing.judge_document(lab, check, doc, ref)
    current = ((doc or {}).get("interface") or {}).get("current") or {}
    check.equal("interface.current: the hidden network by its name", (ap.ssid.decode(), ap.bssid),
                (current.get("ssid"), (current.get("bssid") or "").lower()))
