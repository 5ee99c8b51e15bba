"""The lab VM's driver: brings up the radio environment and the client's stack
that /results/request.json asks for, runs the scenarios it names and writes
/results/report.json for the host's judge."""

import importlib
import json
import os
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "scenarios"))

import labenv  # noqa: E402
import radios  # noqa: E402
from check import Checks  # noqa: E402
from labenv import log  # noqa: E402
from ondrel import Ondrel  # noqa: E402


def main(results):
    request = json.load(open(os.path.join(results, "request.json")))
    for folder in request.get("scenario_dirs", []):
        sys.path.insert(0, folder)
    checks = Checks()
    timings = {"booted": time.monotonic()}
    log("driver started")
    lab = labenv.Lab(results, radios.environment())
    lab.ondrel = request["ondrel"]  # the program's path
    lab.app = Ondrel(lab.ondrel, results)  # runs it
    lab.tools = request.get("tools", {})
    lab.seed = request.get("seed", 0)
    try:
        lab.bring_up(request.get("daemon", "nm"), timings)
    except Exception as e:  # the environment itself did not come up
        checks.scenario = "environment"
        checks.crashed(e)
        traceback.print_exc()
        checks.dump(os.path.join(results, "report.json"))
        return 1
    for name in request["scenarios"]:
        checks.scenario = name
        started = time.monotonic()
        log(f"== {name}")
        try:
            importlib.import_module(name).run(lab, checks)
        except Exception as e:
            traceback.print_exc()
            checks.crashed(e)
        timings[name] = time.monotonic() - started
        log(f"== {name} done in {timings[name]:.1f} s")
    checks.dump(os.path.join(results, "report.json"))
    labenv.write_json(os.path.join(results, "timings.json"), timings)
    log("driver done")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
