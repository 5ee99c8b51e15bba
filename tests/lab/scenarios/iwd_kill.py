"""iwd alone: Ondrel killed (SIGKILL) at random moments of its joins. Once iwd
has settled, a network is stored exactly when it got joined, a wrong password
is never stored, and a stored passphrase changes only by a join that worked."""

import os
import random
import signal
import time

import iwdtools

NEW, RIGHT = "Lab Transition", "both kinds 2"


def kill_at_random(lab, check, name, password, seed):
    rnd = random.Random(seed)
    p = iwdtools.start_probe(lab, "--connect", name, password=password)
    # Ondrel's start under emulation takes seconds: the kill falls anywhere from before the join to after it.
    delay = rnd.uniform(0.5, 12.0)
    time.sleep(delay)
    during = iwdtools.station().get("State")
    p.send_signal(signal.SIGKILL)
    p.wait(30)
    return delay, during, iwdtools.settle()


def run(lab, check):
    iwdtools.scan()
    path = iwdtools.file_of(NEW, "psk")
    for seed in range(2):
        for password in (RIGHT, "wrong both 2"):
            delay, during, state = kill_at_random(lab, check, NEW, password, lab.seed + seed)
            what = f"new, {'right' if password == RIGHT else 'wrong'}, killed after {delay:.1f} s ({during})"
            joined = state == "connected" and iwdtools.station().get("Connected network") == NEW
            check.equal(f"{what}: stored exactly when joined", joined, os.path.exists(path))
            if password != RIGHT:
                check.true(f"{what}: never stored", not os.path.exists(path))
            if os.path.exists(path):
                iwdtools.forget(NEW)
            if state == "connected":
                iwdtools.disconnect()

    # Known, with a passphrase that no longer works, and a wrong one typed: the file never changes.
    status, doc = iwdtools.probe(lab, "--connect", NEW, password=RIGHT)
    if status != 0:
        check.retried(f"{NEW}: {doc.get('join')}")
        status, doc = iwdtools.probe(lab, "--connect", NEW, password=RIGHT)
    iwdtools.disconnect()
    with open(path, "w") as f:
        f.write("[Security]\nPassphrase=outdated pass 2\n")
    outdated = open(path).read()
    for seed in (10,):
        delay, during, state = kill_at_random(lab, check, NEW, "wrong both 2", lab.seed + seed)
        check.equal(f"known outdated, wrong typed, killed after {delay:.1f} s ({during}): file unchanged",
                    outdated, open(path).read() if os.path.exists(path) else None)
    iwdtools.forget(NEW)
