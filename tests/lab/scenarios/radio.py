"""Radio off and on: with the radio off Ondrel says so and lists nothing;
Ondrel's engine turns it on again (as the window's "Turn On" does) and the
list comes back. (hostapd stays silent after the rfkill block: it is
restarted, see lab.md.)"""

import joins
import views
from labenv import sh, wait_for

WIFI_ERROR = "ondrel.WiFiError"


def run(lab, check):
    sh("nmcli", "radio", "wifi", "off")
    wait_for("the radio to be off", lambda: "unavailable" in views.device_state()[0], timeout=30)
    run, doc = lab.app.probe()
    doc = doc or {}
    check.equal("off: poweredOn", False, (doc.get("interface") or {}).get("poweredOn"))
    check.equal("off: the scan fails as radio off", ("failed", WIFI_ERROR, 1),
                ((doc.get("scan") or {}).get("outcome"),) + tuple(((doc.get("scan") or {}).get("error") or {}).get(k)
                                                                  for k in ("domain", "code")))
    check.equal("off: exit status", 1, run.rc)
    check.equal("off: no networks", [], doc.get("networks"))
    table = lab.app.run("--probe")
    check.true("off: the table's run says the radio is off", "電源: false" in table.err, table.err)

    power = lab.app.run_tool(lab.tools["power"], "on")
    check.equal("Ondrel turns the radio on", (0, "ok"), (power.rc, power.out.strip()))
    check.equal("NetworkManager's radio switch", "enabled", sh("nmcli", "radio", "wifi").strip())
    lab.restart_access_points()
    wait_for("wlan0 to be usable", lambda: "unavailable" not in views.device_state()[0], timeout=30)
    run, doc = lab.app.probe()
    doc = doc or {}
    check.equal("on: poweredOn", True, (doc.get("interface") or {}).get("poweredOn"))
    # A hidden access point is listed by its name once a profile of the name
    # marked hidden has joined it (NetworkManager then names it), else nameless.
    named = {p["settings"].get("802-11-wireless.ssid") for p in views.nmcli_profiles().values()
             if p["settings"].get("802-11-wireless.hidden") == "yes"}
    listed = sorted(((n["bssid"] or "").lower(), n["channel"], n["ssid"]) for n in doc.get("networks") or [])
    check.equal("on: every access point listed again, once (BSSID, channel, name)",
                sorted((ap.bssid, ap.channel, None if ap.hidden and ap.ssid.decode() not in named
                        else ap.ssid.decode(errors="replace")) for ap in lab.aps), listed)
    joins.settle()
