"""The judge of the lab's scenarios: each check compares what Ondrel showed with
what the reference tool showed at the same moment and says, in one line, what
was expected and what was seen."""

import json
import traceback

from labenv import log

# How Ondrel's signal is held against the kernel's figure (iw, dBm). Today
# Ondrel has only NetworkManager's percentage, which saturates at -40 dBm and
# moves in steps of 0.6 dB: a scanned access point's signal is then the
# kernel's, clamped to -40, within 1 dB. When Ondrel reads the kernel's figures
# (nl80211), set SATURATION_DBM to None: every signal is then checked within
# SIGNAL_TOLERANCE_DB of the kernel's, also above -40 dBm.
SATURATION_DBM = -40
SIGNAL_TOLERANCE_DB = 1
# The current network's signal. NetworkManager 1.42 rewrites the Strength of
# the access point it is associated with every few seconds from the
# station's signal on another scale (-90..-20 dBm as 30..100 %, so -41 dBm
# is 79 %), which Ondrel's conversion of scan percentages reads as -53 dBm;
# each scan's results put the scan scale back until the next rewrite. While
# this is "networkmanager", the current network's signal is checked against
# the link's figure on either scale (what NetworkManager may show at that
# moment) and noted; "kernel" checks it against `iw link`.
CURRENT_SIGNAL_FROM = "networkmanager"


def dbm_from_percent(percent):
    """Ondrel's reading of a NetworkManager scan percentage (the inverse of
    NetworkManager's -100..-40 dBm scale), rounded half away from zero."""
    value = -100 + 0.6 * max(0, min(100, percent))
    return int(value - 0.5) if value < 0 else int(value + 0.5)


def expected_scan_dbm(kernel_dbm):
    """The kernel's signal as Ondrel can show it today."""
    if SATURATION_DBM is not None:
        return max(-100, min(SATURATION_DBM, round(kernel_dbm)))
    return round(kernel_dbm)


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
        """A scanned access point's signal against the kernel's figure."""
        return self.within(what, expected_scan_dbm(kernel_dbm), seen, SIGNAL_TOLERANCE_DB, " dBm")

    def current_signal(self, what, link_dbm, nm_percent, seen):
        """The current network's signal: against the link's figure, or for now against what
        NetworkManager may show for it at that moment (either of its two scales)."""
        if CURRENT_SIGNAL_FROM == "kernel":
            return self.within(what, link_dbm, seen, SIGNAL_TOLERANCE_DB, " dBm")
        self.note(f"{what}: Ondrel {seen} dBm, kernel's link {link_dbm} dBm, NetworkManager {nm_percent} % "
                  f"a moment later")
        if link_dbm is None:
            return self.true(f"{what}: the kernel has a link", False, None)
        station = dbm_from_percent(max(30, min(100, round(link_dbm) + 120)))
        allowed = sorted({expected_scan_dbm(link_dbm), station})
        ok = seen is not None and any(abs(seen - a) <= SIGNAL_TOLERANCE_DB for a in allowed)
        return self._record(f"{what} (the link's {link_dbm} dBm on either of NetworkManager's scales)", ok,
                            " or ".join(f"{a} dBm" for a in allowed) + f" ± {SIGNAL_TOLERANCE_DB} dBm",
                            f"{seen} dBm")

    def crashed(self, error):
        self._record("the scenario ran to its end", False, "no exception",
                     "".join(traceback.format_exception_only(type(error), error)).strip())

    def retried(self, what):
        log(f"RETRY {what}")
        self.retries.append({"scenario": self.scenario, "what": what})

    def note(self, what):
        log(f"NOTE {what}")
        self.notes.append({"scenario": self.scenario, "what": what})

    def not_run(self, why):
        log(f"NOT RUN {why}")
        self.notes.append({"scenario": self.scenario, "what": "not run: " + why})

    def dump(self, path):
        with open(path, "w") as f:
            json.dump({"checks": self.results, "retries": self.retries, "notes": self.notes}, f, indent=1)
