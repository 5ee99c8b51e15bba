"""Benchmark, not a test: Ondrel against nmcli on the same access point in
the same lab VM, the median of several rounds, the order alternating.

- the list: `ondrel --probe` to its table against `nmcli dev wifi list`
  (as typed, which scans again only when NetworkManager's list is older than
  30 s) and against `nmcli dev wifi list --rescan yes`;
- joining a new WPA2 network: `ondrel --probe --connect NAME --password -`
  to joined against `nmcli dev wifi connect NAME password P`;
- joining it again, saved, without a password.

Goal: Ondrel no slower than nmcli as typed (the median). Figures in
RESULTS/bench.json."""

import statistics
import subprocess
import time

import joins
import views
from labenv import log, sh, write_json

ROUNDS = 3


def timed(fn):
    started = time.monotonic()
    ok = fn()
    return time.monotonic() - started, ok


def nmcli_joined(ap, *args):
    """nmcli's own success (its exit status), and the link then on the access point's name."""
    done = subprocess.run(["nmcli", *args], capture_output=True, text=True, timeout=120).returncode == 0
    return done and views.iw_link().get("ssid") == ap.ssid


def forget(ap):
    if views.iw_link():
        joins.disconnect()
    for uuid in joins.profiles_for(ap.ssid):
        sh("nmcli", "connection", "delete", uuid)


def run(lab, check):
    ap = lab.ap("wpa2")
    name = ap.ssid.decode()
    o = lab.app
    contenders = {
        "list: ondrel --probe": lambda: o.run("--probe").rc == 0,
        "list: nmcli dev wifi list": lambda: bool(sh("nmcli", "dev", "wifi", "list")),
        "list: nmcli dev wifi list --rescan yes": lambda: bool(sh("nmcli", "dev", "wifi", "list", "--rescan", "yes")),
    }
    times = {k: [] for k in contenders}
    for i in range(ROUNDS):
        for label in (list(contenders) if i % 2 == 0 else list(reversed(contenders))):
            seconds, ok = timed(contenders[label])
            check.true(f"{label}, round {i + 1}: worked", ok)
            times[label].append(seconds)

    # Each tool joins the network new, then again from its saved profile.
    join_tools = {
        "ondrel": (lambda: joins.outcome(o.connect(name, ap.password)[1]) == "ok",
                   lambda: joins.outcome(o.connect(name)[1]) == "ok"),
        "nmcli": (lambda: nmcli_joined(ap, "dev", "wifi", "connect", name, "password", ap.password),
                  lambda: nmcli_joined(ap, "connection", "up", name)),
    }
    labels = {"ondrel": ("join new: ondrel --probe --connect", "join saved: ondrel --probe --connect"),
              "nmcli": ("join new: nmcli dev wifi connect", "join saved: nmcli connection up")}
    for pair in labels.values():
        times.update({label: [] for label in pair})
    for i in range(ROUNDS):
        for tool in (list(join_tools) if i % 2 == 0 else list(reversed(join_tools))):
            for label, join in zip(labels[tool], join_tools[tool]):
                if label.startswith("join new"):
                    forget(ap)
                else:
                    joins.disconnect()
                seconds, ok = timed(join)
                check.true(f"{label}, round {i + 1}: joined", ok)
                times[label].append(seconds)
    medians = {k: statistics.median(v) for k, v in times.items() if v}
    for label, value in medians.items():
        log(f"BENCH {label}: median {value:.1f} s of {', '.join(f'{t:.1f}' for t in times[label])}")
        check.note(f"{label}: median {value:.1f} s ({', '.join(f'{t:.1f}' for t in times[label])})")
    write_json(f"{lab.results}/bench.json", {"seconds": times, "medians": medians})
    for ours, theirs in (("list: ondrel --probe", "list: nmcli dev wifi list"),
                         ("list: ondrel --probe", "list: nmcli dev wifi list --rescan yes"),
                         ("join new: ondrel --probe --connect", "join new: nmcli dev wifi connect"),
                         ("join saved: ondrel --probe --connect", "join saved: nmcli connection up")):
        check.true(f"{ours} no slower than {theirs} (medians, s)", medians[ours] <= medians[theirs],
                   (round(medians[ours], 1), round(medians[theirs], 1)))
