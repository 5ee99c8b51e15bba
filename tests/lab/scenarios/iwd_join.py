"""iwd alone: joining with Ondrel, each step against iwctl and iwd's files: a
new network wrong then right, the known network again without a password, a
stored passphrase that no longer works, an open network, the window on the
network joined, enterprise refused."""

import os

import iwdtools
import window
from labenv import IWD_STATE

WPA2, RIGHT = "Lab WPA2", "correct horse"


def joined(lab, check, name, password=None, tries=3):
    """A join that must work; a lost handshake frame under emulation is retried and counted."""
    for attempt in range(tries):
        status, doc = iwdtools.probe(lab, "--connect", name, password=password)
        if status == 0 or attempt == tries - 1:
            return status, doc
        check.retried(f"{name}: {doc.get('join', {}).get('error')}")
        iwdtools.settle()
    return status, doc


def run(lab, check):
    iwdtools.scan()
    path = iwdtools.file_of(WPA2, "psk")

    # New, wrong password: the password group's code, nothing stored, not connected.
    status, doc = iwdtools.probe(lab, "--connect", WPA2, password="wrong horse")
    join = doc.get("join") or {}
    check.equal("new, wrong: exit status", 1, status)
    check.equal("new, wrong: error", ("net.connman.iwd", 7), ((join.get("error") or {}).get("domain"),
                                                             (join.get("error") or {}).get("code")))
    iwdtools.settle()
    check.true("new, wrong: no file", not os.path.exists(path), sorted(os.listdir(IWD_STATE)))
    check.true("new, wrong: not known to iwctl", WPA2 not in iwdtools.known(), iwdtools.known())

    # New, right password: connected, known, the file holds it (0600).
    status, doc = joined(lab, check, WPA2, RIGHT)
    check.equal("new, right: exit status", 0, status)
    check.equal("new, right: current", WPA2, (doc.get("join") or {}).get("current"))
    check.equal("new, right: iwctl", ("connected", WPA2), (iwdtools.station().get("State"),
                                                          iwdtools.station().get("Connected network")))
    check.equal("new, right: known to iwctl", "psk", iwdtools.known().get(WPA2))
    content = open(path).read() if os.path.exists(path) else ""
    check.true("new, right: passphrase stored", f"Passphrase={RIGHT}" in content, content)
    check.equal("new, right: file mode", "0o600", oct(os.stat(path).st_mode & 0o777) if content else None)
    status, doc = iwdtools.probe(lab)
    current = [n["ssid"] for n in doc.get("networks", []) if n["current"]]
    check.equal("list: the current network", [WPA2], current)
    check.true("list: saved mark", any(n["ssid"] == WPA2 and n["saved"] for n in doc.get("networks", [])))

    # Known again, no password: joined with what iwd has, the file unchanged.
    iwdtools.disconnect()
    before = open(path).read()
    status, doc = joined(lab, check, WPA2)
    check.equal("known: exit status", 0, status)
    check.equal("known: iwctl", WPA2, iwdtools.station().get("Connected network"))
    check.equal("known: file unchanged", before, open(path).read())

    # The stored passphrase no longer works: refused without a password (nothing changes), a wrong one
    # typed changes nothing, the right one replaces it.
    iwdtools.disconnect()
    with open(path, "w") as f:
        f.write("[Security]\nPassphrase=outdated pass\n")
    os.chmod(path, 0o600)
    outdated = open(path).read()
    status, doc = iwdtools.probe(lab, "--connect", WPA2)
    check.equal("outdated: exit status", 1, status)
    check.equal("outdated: code", 7, ((doc.get("join") or {}).get("error") or {}).get("code"))
    iwdtools.settle()
    check.equal("outdated: file unchanged", outdated, open(path).read())
    status, doc = iwdtools.probe(lab, "--connect", WPA2, password="still wrong")
    check.equal("outdated, typed wrong: exit status", 1, status)
    iwdtools.settle()
    check.equal("outdated, typed wrong: file unchanged", outdated, open(path).read())
    status, doc = joined(lab, check, WPA2, RIGHT)
    check.equal("outdated, typed right: exit status", 0, status)
    check.true("outdated, typed right: replaced", f"Passphrase={RIGHT}" in open(path).read(), open(path).read())

    # Open, and SAE (iwd's "psk" too): joined and stored.
    for name, kind, password in (("Lab Open", "open", None), ("Lab SAE", "psk", "sae secret 1")):
        status, doc = joined(lab, check, name, password)
        check.equal(f"{name}: exit status", 0, status)
        check.equal(f"{name}: iwctl", name, iwdtools.station().get("Connected network"))
        check.true(f"{name}: stored", os.path.exists(iwdtools.file_of(name, kind)))

    # The window on the network just joined: its row first and marked, the known ones marked saved,
    # the card's strength iwd's.
    shot = os.path.join(lab.results, "iwd-joined-en.png")
    status, out, err = iwdtools.ondrel(lab, "--lang", "en", "--shot", shot, "--json")
    check.equal("window, joined: exit status", 0, status)
    doc = window.document(check, out, "window, joined") or {"elements": []}
    shown, known = window.rows(doc), iwdtools.known()
    check.equal("window, joined: the first row, current", ("Lab SAE", True),
                (shown[0]["name"], shown[0]["current"]) if shown else None)
    check.equal("window, joined: rows marked saved, iwctl's known networks",
                sorted(n for n in known if n.isascii() and n.isprintable()),
                sorted(r["name"] for r in shown if r["saved"]))
    signal = iwdtools.networks().get("Lab SAE", (None, None))[1]
    check.equal("window, joined: the card's strength, iwctl's", None if signal is None else round(signal / 100),
                window.card_strength(doc))

    # Enterprise: iwd refuses what it has no settings for; nothing stored.
    status, doc = iwdtools.probe(lab, "--connect", "Lab Enterprise")
    check.equal("enterprise: exit status", 1, status)
    check.true("enterprise: nothing stored", not os.path.exists(iwdtools.file_of("Lab Enterprise", "8021x")))
    iwdtools.disconnect()
