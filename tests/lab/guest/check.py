"""The judge of the lab's scenarios: each check compares what Ondrel showed with
what the reference tool showed at the same moment and says, in one line, what
was expected and what was seen."""

import json
import traceback


class Checks:
    def __init__(self):
        self.results = []  # {"scenario", "check", "ok", "expected", "seen"}
        self.retries = []  # {"scenario", "what"}: frames the simulated medium lost
        self.scenario = "-"

    def equal(self, what, expected, seen):
        ok = expected == seen
        self.results.append({"scenario": self.scenario, "check": what, "ok": ok,
                             "expected": repr(expected), "seen": repr(seen)})
        return ok

    def true(self, what, condition, seen=None):
        self.results.append({"scenario": self.scenario, "check": what, "ok": bool(condition),
                             "expected": "true", "seen": repr(seen) if seen is not None else repr(bool(condition))})
        return bool(condition)

    def crashed(self, error):
        self.results.append({"scenario": self.scenario, "check": "the scenario ran to its end",
                             "ok": False, "expected": "no exception",
                             "seen": "".join(traceback.format_exception_only(type(error), error)).strip()})

    def retried(self, what):
        self.retries.append({"scenario": self.scenario, "what": what})

    def dump(self, path):
        with open(path, "w") as f:
            json.dump({"checks": self.results, "retries": self.retries}, f, indent=1)
