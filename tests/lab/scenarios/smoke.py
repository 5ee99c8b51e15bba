"""The quickest sign of life: Ondrel lists as many access points as NetworkManager."""

import views


def run(lab, check):
    run, doc = lab.app.probe()
    check.equal("exit status", 0, run.rc)
    check.equal("number of access points", len(views.nmcli_list()), len((doc or {}).get("networks", [])))
