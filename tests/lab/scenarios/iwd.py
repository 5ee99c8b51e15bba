"""iwd in place of NetworkManager (and wpa_supplicant): until Ondrel has an
iwd backend it says clearly that there is no interface."""

import json

from labenv import sh

WIFI_ERROR = "ondrel.WiFiError"


def run(lab, check):
    lab.stop_networkmanager()
    lab.start_iwd()
    check.true("iwd manages wlan0 (its station list)", "wlan0" in sh("iwctl", "station", "list", check=False))
    run, doc = lab.app.probe()
    doc = doc or {}
    check.equal("exit status", 1, run.rc)
    check.equal("interface", (None, False, None), tuple((doc.get("interface") or {}).get(k)
                                                        for k in ("name", "poweredOn", "current")))
    error = (doc.get("scan") or {}).get("error") or {}
    check.equal("the scan fails as no interface", ("failed", WIFI_ERROR, 0),
                ((doc.get("scan") or {}).get("outcome"), error.get("domain"), error.get("code")))
    table = lab.app.run("--probe")
    check.true("the table's run says there is no interface", "インターフェース: なし" in table.err, table.err)
    check.note("iwd: " + json.dumps(error, ensure_ascii=False))
