"""kill -9 at random moments during real joins: a new network (a volatile
profile until it works) and a saved one with a typed password (a volatile
copy): the saved profiles never change and nothing is left behind once the
device is let go."""

import random
import time

import joins
import views
from labenv import log, sh

RUNS = [("sae", "sae secret 1", True), ("wpa2", "not the password", False)]  # access point, password, forget first


def run(lab, check):
    rng = random.Random(lab.seed)
    for name, password, forget in RUNS:
        ap = lab.ap(name)
        if forget:
            for uuid in joins.profiles_for(ap.ssid):
                sh("nmcli", "connection", "delete", uuid)
        if views.iw_link():
            joins.disconnect()
        before = views.keyfiles()
        # The scan takes most of the first seconds; the join follows.
        delay = rng.uniform(2.0, 20.0)
        what = f"{name}, killed after {delay:.1f} s"
        p = lab.app.start("--probe", "--json", "--connect", ap.ssid.decode(), "--password", "-", stdin=True)
        p.stdin.write(password.encode() + b"\n")
        p.stdin.close()
        time.sleep(delay)
        alive = p.poll() is None
        p.kill()
        p.wait()
        log(f"  {what} ({'still joining' if alive else 'had ended'})")
        joins.settle()
        joins.disconnect() if views.iw_link() else None
        after = views.keyfiles()
        check.equal(f"{what}: the saved keyfiles unchanged", before,
                    {k: v for k, v in after.items() if k in before})
        # A join that had worked by the time of the kill may have kept its
        # profile, complete with the password that worked; nothing else may appear.
        new = {k: v for k, v in after.items() if k not in before}
        kept_ok = [k for k, v in new.items() if k.startswith(views.KEYFILES) and password == ap.password
                   and views.keyfile_value(v, "wifi", "ssid") == ap.ssid.decode()
                   and views.keyfile_value(v, "wifi-security", "psk") == password]
        check.equal(f"{what}: nothing left behind but a profile that worked", sorted(kept_ok), sorted(new))
        if kept_ok:
            check.note(f"{what}: the join had worked; its profile was kept")
