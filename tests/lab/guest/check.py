"""The judge of the lab's scenarios: each check compares what Ondrel showed with
what the reference tool showed at the same moment and says, in one line, what
was expected and what was seen."""

import json
import traceback

from labenv import log

# Ondrel's signals are the kernel's (nl80211, whole dBm): every one is held
# against iw's figure of the same moment within this many dB (iw prints the
# kernel's mBm; Ondrel rounds them).
SIGNAL_TOLERANCE_DB = 1


class Checks:
    def __init__(self):
        self.results = []  # {"scenario", "check", "ok", "expected", "seen"}
        self.retries = []  # {"scenario", "what"}: frames the simulated medium lost
        self.notes = []    # {"scenario", "what"}: figures worth reading that no check judges yet
        self.scenario = "-"

    def _record(self, what, ok, expected, seen):
        self.results.append({"scenario": self.scenario, "check": what, "ok": bool(ok),
                             "expected": expected, "seen": seen})
        if not ok:
            log(f"FAIL {what}: expected {expected}, saw {seen}")
        return bool(ok)

    def equal(self, what, expected, seen):
        return self._record(what, expected == seen, repr(expected), repr(seen))

    def true(self, what, condition, seen=None, expected="true"):
        return self._record(what, condition, expected, repr(seen) if seen is not None else repr(bool(condition)))

    def within(self, what, expected, seen, tolerance, unit=""):
        ok = seen is not None and expected is not None and abs(seen - expected) <= tolerance
        return self._record(what, ok, f"{expected}{unit} ± {tolerance}{unit}", f"{seen}{unit}")

    def between(self, what, low, high, seen, unit=""):
        ok = seen is not None and low <= seen <= high
        return self._record(what, ok, f"{low}{unit} to {high}{unit}", f"{seen}{unit}")

    def signal(self, what, kernel_dbm, seen):
        """A signal against the kernel's figure (iw's scan dump, or its link for the current network)."""
        return self.within(what, None if kernel_dbm is None else round(kernel_dbm), seen, SIGNAL_TOLERANCE_DB,
                           " dBm")

    def crashed(self, error):
        self._record("the scenario ran to its end", False, "no exception",
                     "".join(traceback.format_exception_only(type(error), error)).strip())

    def retried(self, what):
        log(f"RETRY {what}")
        self.retries.append({"scenario": self.scenario, "what": what})

    def note(self, what):
        log(f"NOTE {what}")
        self.notes.append({"scenario": self.scenario, "what": what})

    def dump(self, path):
        with open(path, "w") as f:
            json.dump({"checks": self.results, "retries": self.retries, "notes": self.notes}, f, indent=1)
