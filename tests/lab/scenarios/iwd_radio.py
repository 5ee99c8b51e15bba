"""iwd alone: the radio off and on (the adapter, the device, the kill switch),
as iwctl and Ondrel see it; the window with the radio off."""

import os

import iwdtools
from labenv import wait_for


def state(lab):
    """Ondrel's view: (exit status, radio on, the scan's error code), and its document."""
    status, doc = iwdtools.probe(lab)
    return (status, doc.get("interface", {}).get("poweredOn"),
            (doc.get("scan", {}).get("error") or {}).get("code")), doc


def run(lab, check):
    for kind, name, how in (("adapter", "phy0", "iwctl"), ("device", "wlan0", "iwctl"), ("rfkill", "phy0", "sysfs")):
        if how == "iwctl":
            iwdtools.set_powered(kind, name, False)
        else:
            iwdtools.rfkill_block(name, True)
        wait_for("the station gone", lambda: "State" not in iwdtools.station(), timeout=30)
        # Off: an interface, no radio; the scan fails with "Wi-Fi is turned off" (1).
        check.equal(f"{kind} off: exit status, radio, error", (1, False, 1), state(lab)[0])
        if kind == "adapter":
            shot = os.path.join(lab.results, "iwd-radio-off-en.png")
            status, _, err = iwdtools.ondrel(lab, "--lang", "en", "--shot", shot)
            check.equal("radio off: window written", 0, status)
        if how == "iwctl":
            iwdtools.set_powered(kind, name, True)
        else:
            iwdtools.rfkill_block(name, False)
        # Back in any state: iwd may be joining a known network already.
        wait_for("the station back", lambda: iwdtools.station().get("State") is not None, timeout=60)
        iwdtools.scan()
        seen, doc = state(lab)
        check.equal(f"{kind} on: exit status, radio, error", (0, True, None), seen)
        check.equal(f"{kind} on: the names iwctl lists", sorted(iwdtools.networks()),
                    sorted(n["ssid"] for n in doc.get("networks", []) if n["ssid"] is not None))
