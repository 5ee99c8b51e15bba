"""The reference views of iwd for the iwd scenarios (iwctl's tables and
iwd's files), and Ondrel's command-line modes run against it."""

import json
import re
import os
import subprocess
import time

from labenv import IWD_STATE, iwctl, wait_for

STATION = "wlan0"


def _table(text):
    """iwctl's table as rows of {column title: value}, split at the title
    positions of its header; a leading ">" (the connected row) is dropped."""
    lines = text.splitlines()
    rules = [i for i, line in enumerate(lines) if line.startswith("----")]
    if len(rules) < 2:
        return []
    header = lines[rules[0] + 1]
    found = list(re.finditer(r"\S+(?: \S+)*", header))
    titles, starts = [m.group() for m in found], [m.start() for m in found]
    rows = []
    for line in lines[rules[1] + 1:]:
        if not line.strip():
            continue
        row = {}
        for k, title in enumerate(titles):
            end = starts[k + 1] if k + 1 < len(starts) else len(line)
            row[title] = line[starts[k]:end].strip()
        first = titles[0]
        if row[first].startswith(">"):
            row[first] = row[first][1:].strip()
        rows.append(row)
    return rows


def networks():
    """iwctl's list: {name: (type, signal in 100 * dBm)}."""
    rows = _table(iwctl("station", STATION, "get-networks", "rssi-dbms"))
    return {r["Network name"]: (r["Security"], int(r["Signal"])) for r in rows if r.get("Signal", "").lstrip("-").isdigit()}


def hidden_access_points():
    """iwctl's hidden access points: {address: type}."""
    rows = _table(iwctl("station", STATION, "get-hidden-access-points"))
    # With none, iwctl's table has a row of words ("No hidden APs are available").
    return {r["Address"].lower(): r.get("Security", "") for r in rows
            if re.fullmatch(r"[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}", r.get("Address", ""))}


def known():
    """iwctl's known networks: {name: type}."""
    return {r["Name"]: r["Security"] for r in _table(iwctl("known-networks", "list")) if r.get("Name")}


def station():
    """iwctl's station view: {"State": …, "Connected network": …}."""
    return {r["Property"]: r.get("Value", "") for r in _table(iwctl("station", STATION, "show"))
            if r.get("Property")}


def scan():
    """A fresh scan by iwctl, waited for."""
    iwctl("station", STATION, "scan")
    time.sleep(0.5)
    wait_for("iwd's scan", lambda: station().get("Scanning") == "no", timeout=60)


def disconnect():
    iwctl("station", STATION, "disconnect")
    wait_for("disconnected", lambda: station().get("State") == "disconnected", timeout=30)


def forget(name):
    iwctl("known-networks", name, "forget")


def file_of(name, kind):
    """The path of iwd's file for a network ("=HEX" unless the name is plain)."""
    plain = all(c.isalnum() and c.isascii() or c in " -_" for c in name)
    base = name if plain else "=" + name.encode().hex()
    return os.path.join(IWD_STATE, f"{base}.{kind}")


def settle(timeout=60):
    """Waits until iwd is neither connecting nor disconnecting; its state."""
    return wait_for("iwd settled", lambda: station().get("State") in ("connected", "disconnected")
                    and station().get("State"), timeout=timeout)


def ondrel(lab, *args, password=None, timeout=150):
    """Ondrel's command-line mode; (exit status, standard output, standard error)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=f"{lab.results}/config",
               XDG_DATA_HOME=f"{lab.results}/data", ONDREL_LOG=f"{lab.results}/ondrel.log",
               ASAN_OPTIONS="detect_leaks=0")
    env.pop("ONDREL_WIFI_SIMULATION", None)
    r = subprocess.run([lab.ondrel, *args], input=None if password is None else password + "\n",
                       capture_output=True, text=True, timeout=timeout, env=env)
    return r.returncode, r.stdout, r.stderr


def probe(lab, *args, password=None):
    """"--probe --json": (exit status, the report)."""
    extra = ["--password", "-"] if password is not None else []
    status, out, err = ondrel(lab, "--probe", "--json", *args, *extra, password=password)
    try:
        return status, json.loads(out)
    except ValueError:
        return status, {"unreadable": out[-2000:], "stderr": err[-2000:]}


def start_probe(lab, *args, password=None):
    """"--probe" started, not waited for (for a kill)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=f"{lab.results}/config",
               XDG_DATA_HOME=f"{lab.results}/data", ASAN_OPTIONS="detect_leaks=0")
    p = subprocess.Popen([lab.ondrel, "--probe", *args, "--password", "-"], stdin=subprocess.PIPE,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True, env=env)
    p.stdin.write((password or "") + "\n")
    p.stdin.close()
    return p


def connect_hidden(name, passphrase):
    """iwctl's own join of a hidden network (iwctl is the agent)."""
    return iwctl("--passphrase", passphrase, "station", STATION, "connect-hidden", name, timeout=90)


def set_powered(kind, name, on):
    """iwctl adapter|device NAME set-property Powered on|off."""
    return iwctl(kind, name, "set-property", "Powered", "on" if on else "off")


def rfkill_block(phy, blocked):
    """The soft block of one radio's rfkill switch (its sysfs file)."""
    for switch in os.listdir("/sys/class/rfkill"):
        base = f"/sys/class/rfkill/{switch}"
        if os.path.exists(f"{base}/name") and open(f"{base}/name").read().strip() == phy:
            with open(f"{base}/soft", "w") as f:
                f.write("1" if blocked else "0")
