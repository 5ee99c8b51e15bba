"""A saved network joins without a password, and its profile stays as it was."""

import joins
import views


def run(lab, check):
    ap = lab.ap("wpa2")
    joins.disconnect()
    before = views.keyfiles()
    run, doc = joins.join(lab, check, ap)
    joins.judge_joined(lab, check, ap, run, doc, "saved, no password")
    check.equal("saved, no password: keyfiles unchanged", before, views.keyfiles())
    joins.judge_saved(check, ap, "saved, no password", "wpa-psk", ap.password)
