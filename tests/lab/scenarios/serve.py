"""Not a test: keeps the VM up for trying things by hand. The host drops
shell scripts into RESULTS/inbox (tests/lab/labsh does); each runs once and
its output lands beside it as .out. A script named "py:SCENARIO" runs that
scenario again (reloaded). The file RESULTS/inbox/stop ends the session."""

import importlib
import os
import subprocess
import time

from labenv import log


def run(lab, check):
    inbox = os.path.join(lab.results, "inbox")
    os.makedirs(inbox, exist_ok=True)
    log("serving " + inbox)
    while not os.path.exists(os.path.join(inbox, "stop")):
        for name in sorted(os.listdir(inbox)):
            path = os.path.join(inbox, name)
            if not name.endswith(".sh"):
                continue
            body = open(path).read()
            os.rename(path, path + ".running")
            started = time.monotonic()
            if body.startswith("py:"):
                try:
                    importlib.invalidate_caches()
                    for helper in ("views", "listing", "joins"):
                        importlib.reload(importlib.import_module(helper))
                    module = importlib.reload(importlib.import_module(body[3:].strip()))
                    before = len(check.results)
                    module.run(lab, check)
                    text = "\n".join(f"{'ok  ' if c['ok'] else 'FAIL'} {c['check']}: expected {c['expected']}, "
                                     f"saw {c['seen']}" for c in check.results[before:])
                except Exception:
                    import traceback
                    text = traceback.format_exc()
            else:
                r = subprocess.run(["bash", "-c", body], capture_output=True, text=True, timeout=600)
                text = r.stdout + r.stderr + f"\n(exit {r.returncode})"
            with open(path[:-3] + ".tmp", "w") as f:
                f.write(text + f"\n({time.monotonic() - started:.1f} s)\n")
            os.rename(path[:-3] + ".tmp", path[:-3] + ".out")
            os.remove(path + ".running")
        time.sleep(0.3)
