"""iwd_observe's later groups only: iwd with its own network configuration,
the killed joiner, hidden networks, the radio and a restart."""

from iwd_observe import run as observe


def run(lab, check):
    observe(lab, check, parts={"setup", "netconfig", "killed", "hidden2", "radio", "restart"})
