"""The lab VM's driver: brings up the radio environment and the client's stack
that /results/request.json asks for, runs the scenarios it names and writes
/results/report.json for the host's judge."""

import importlib
import json
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scenarios"))

import labenv  # noqa: E402
import radios  # noqa: E402
from check import Checks  # noqa: E402


def main(results):
    request = json.load(open(os.path.join(results, "request.json")))
    checks = Checks()
    timings = {"booted": time.monotonic()}
    lab = labenv.Lab(results, radios.environment())
    lab.ondrel = request["ondrel"]
    lab.tools = request.get("tools", {})
    try:
        lab.start_radios()
        lab.start_bus_and_udev()
        lab.start_access_points()
        timings["radios"] = time.monotonic() - timings["booted"]
        if request.get("daemon", "nm") == "nm":
            lab.start_networkmanager()
        timings["daemon"] = time.monotonic() - timings["booted"]
    except Exception as e:  # the environment itself did not come up
        checks.scenario = "environment"
        checks.crashed(e)
        traceback.print_exc()
        checks.dump(os.path.join(results, "report.json"))
        return 1
    for name in request["scenarios"]:
        checks.scenario = name
        started = time.monotonic()
        try:
            importlib.import_module(name).run(lab, checks)
        except Exception as e:
            traceback.print_exc()
            checks.crashed(e)
        timings[name] = time.monotonic() - started
    checks.dump(os.path.join(results, "report.json"))
    labenv.write_json(os.path.join(results, "timings.json"), timings)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
