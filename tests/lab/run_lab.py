#!/usr/bin/env python3
"""The Wi-Fi lab: boots Debian's kernel under QEMU (software emulation, no
network device), with the host's root read-only under a writable overlay, so
the VM runs this build's binary and the host's packages on simulated radios
(mac80211_hwsim). Runs the named scenarios inside and judges their report:
one line per failed check, exit status 1 if any failed, 77 when the lab
cannot run here (no QEMU, no kernel, no mac80211_hwsim).

    run_lab.py --ondrel PATH [--tool NAME=PATH]... [--daemon nm|iwd] [--keep DIR]
               [--scenario-dir DIR]... SCENARIO...|networkmanager|iwd|tier
"""

import argparse
import glob
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77

# The tiers ctest runs, each in a VM of its own, scenarios in this order (later
# scenarios build on the profiles and links of earlier ones; the radio goes off
# at the end). "tier" names both, one after the other in one VM.
TIERS = {
    "networkmanager": ["probe", "join_new", "join_saved", "join_kinds", "join_nodhcp", "join_enterprise",
                       "join_hidden", "join_agent", "speed", "kernel_figures", "shots", "kill9", "radio"],
    # NetworkManager comes up first: the "iwd" scenario replaces it and Ondrel follows.
    "iwd": ["iwd", "iwd_list", "iwd_join", "iwd_hidden", "iwd_radio", "iwd_kill"],
}
TIERS["tier"] = TIERS["networkmanager"] + TIERS["iwd"]


def skip(reason):
    print(f"SKIP: the Wi-Fi lab cannot run here: {reason}")
    sys.exit(SKIP)


def find_kernel():
    """The newest Debian kernel image whose modules include mac80211_hwsim."""
    for image in sorted(glob.glob("/boot/vmlinuz-*"), reverse=True):
        version = os.path.basename(image)[len("vmlinuz-"):]
        if glob.glob(f"/lib/modules/{version}/**/mac80211_hwsim.ko*", recursive=True):
            return image, version
    return None, None


def initramfs(version, cache_dir):
    """Builds the initramfs once per kernel and script version."""
    script = os.path.join(HERE, "vm", "initramfs.sh")
    init = os.path.join(HERE, "vm", "init")
    digest = hashlib.sha256((version + open(script).read() + open(init).read()).encode()).hexdigest()[:12]
    path = os.path.join(cache_dir, f"lab-initramfs-{version}-{digest}.gz")
    if not os.path.exists(path):
        os.makedirs(cache_dir, exist_ok=True)
        subprocess.run([script, version, path], check=True)
    return path


def boot(kernel, initrd, results, timeout):
    start = os.path.join(HERE, "guest", "start")
    cmd = [
        "qemu-system-x86_64", "-accel", "tcg", "-cpu", "max", "-m", "2048", "-smp", "2",
        "-nic", "none", "-nographic", "-no-reboot", "-serial", f"file:{results}/console.log", "-monitor", "none",
        "-kernel", kernel, "-initrd", initrd,
        "-append", f"console=ttyS0 quiet panic=-1 mitigations=off lab.start={start}",
        "-fsdev", "local,id=root,path=/,security_model=none,readonly=on,multidevs=remap",
        "-device", "virtio-9p-pci,fsdev=root,mount_tag=hostroot",
        "-fsdev", f"local,id=results,path={results},security_model=none",
        "-device", "virtio-9p-pci,fsdev=results,mount_tag=results",
    ]
    started = time.monotonic()
    try:
        subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       timeout=timeout, check=True)
    except subprocess.TimeoutExpired:
        return None
    return time.monotonic() - started


def preflight(args):
    if not shutil.which("qemu-system-x86_64"):
        skip("qemu-system-x86_64 is not installed (Debian: qemu-system-x86)")
    kernel, version = find_kernel()
    if not kernel:
        skip("no kernel image with mac80211_hwsim in /boot (Debian: linux-image-amd64)")
    if not os.access(kernel, os.R_OK):
        skip(f"{kernel} is not readable by this user")
    for tool in ("hostapd", "iw", "wpa_supplicant", "NetworkManager", "busybox", "cpio"):
        if not any(os.path.exists(f"{d}/{tool}") for d in ("/usr/sbin", "/usr/bin", "/sbin", "/bin")):
            skip(f"{tool} is not installed")
    if args.daemon == "iwd" or "iwd" in args.scenarios:
        if not os.path.exists("/usr/libexec/iwd"):
            skip("iwd is not installed")
    return kernel, version


def summary(report, timings, seconds):
    """One line per failure, retry and note; then the counts and the times."""
    failed = [c for c in report["checks"] if not c["ok"]]
    for c in failed:
        print(f"FAIL [{c['scenario']}] {c['check']}: expected {c['expected']}, saw {c['seen']}")
    for r in report["retries"]:
        print(f"RETRY [{r['scenario']}] {r['what']}")
    for n in report.get("notes", []):
        print(f"NOTE [{n['scenario']}] {n['what']}")
    booted = timings.get("booted", 0)
    stages = [f"boot {booted:.0f} s"]
    if "radios" in timings:
        stages.append(f"radios and access points {timings['radios'] - booted:.0f} s")
    if "daemon" in timings:
        stages.append(f"daemon {timings['daemon'] - timings.get('radios', booted):.0f} s")
    scenario_times = {k: v for k, v in timings.items() if k not in ("booted", "radios", "daemon")}
    print(f"lab: {len(report['checks']) - len(failed)} of {len(report['checks'])} checks passed, "
          f"{len(report['retries'])} retries; VM {seconds:.0f} s ({', '.join(stages)})")
    if scenario_times:
        print("lab: " + ", ".join(f"{k} {v:.0f} s" for k, v in scenario_times.items()))
    return failed


def run_parallel(args, tiers, version):
    """Each tier in a VM of its own, at the same time: a VM under emulation waits
    on its timers much of the time, so two share the two cores well. Their
    reports follow one another; fails if either fails."""
    initramfs(version, args.cache)  # built once, before the VMs want it
    keep = os.path.abspath(args.keep or tempfile.mkdtemp(prefix="ondrel-lab-"))
    runs = []
    for tier in tiers:
        cmd = [sys.executable, os.path.abspath(__file__), "--ondrel", args.ondrel, "--daemon", args.daemon,
               "--keep", os.path.join(keep, tier), "--timeout", str(args.timeout), "--cache", args.cache,
               "--seed", str(args.seed)]
        cmd += [a for t in args.tool for a in ("--tool", t)]
        cmd += [a for d in args.scenario_dirs for a in ("--scenario-dir", d)]
        runs.append((tier, subprocess.Popen(cmd + [tier], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                            text=True)))
    codes = []
    for tier, run in runs:
        out = run.communicate()[0]
        print(f"== {tier} ==\n{out}", end="" if out.endswith("\n") else "\n", flush=True)
        codes.append(run.returncode)
    if all(c == SKIP for c in codes):
        return SKIP
    return 0 if all(c == 0 for c in codes) else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ondrel", required=True)
    parser.add_argument("--tool", action="append", default=[], help="NAME=PATH of a helper program")
    parser.add_argument("--daemon", default="nm", choices=["nm", "iwd"])
    parser.add_argument("--keep", help="keep the results (logs, report, pictures) in this folder")
    parser.add_argument("--scenario-dir", action="append", default=[], dest="scenario_dirs",
                        help="another folder of scenarios (bench/lab has the benchmarks')")
    parser.add_argument("--timeout", type=int, default=600, help="seconds for the whole VM run")
    parser.add_argument("--cache", default=os.path.join(tempfile.gettempdir(), "ondrel-lab"))
    parser.add_argument("--seed", type=int, default=int(time.time()), help="for the scenarios' random choices")
    parser.add_argument("--parallel", action="store_true",
                        help="each named tier in a VM of its own, all at the same time")
    parser.add_argument("scenarios", nargs="+")
    args = parser.parse_args()
    names = args.scenarios
    args.scenarios = [s for name in names for s in TIERS.get(name, [name])]
    if os.environ.get("ONDREL_LAB") != "1":
        # Two VMs under emulation take both cores for 8 to 12 minutes: ./test.sh
        # asks for the tier once, against the optimised build.
        print("SKIP: the Wi-Fi lab runs when asked (ONDREL_LAB=1); ./test.sh runs it in build/ci-release")
        sys.exit(SKIP)
    kernel, version = preflight(args)
    if args.parallel:
        return run_parallel(args, names, version)
    if not os.access(args.ondrel, os.X_OK):
        print(f"FAIL: no program at {args.ondrel}")
        return 1

    results = os.path.abspath(args.keep or tempfile.mkdtemp(prefix="ondrel-lab-"))
    os.makedirs(results, exist_ok=True)
    for old in glob.glob(os.path.join(results, "*")):
        shutil.rmtree(old) if os.path.isdir(old) else os.remove(old)
    # The VM runs copies, so that a rebuild meanwhile cannot pull the program from under it.
    programs = os.path.join(results, "bin")
    os.makedirs(programs)
    tools = {}
    for name, path in [("ondrel", args.ondrel)] + [t.split("=", 1) for t in args.tool]:
        shutil.copy2(path, os.path.join(programs, os.path.basename(path)))
        tools[name] = "/results/bin/" + os.path.basename(path)  # where the VM sees them
    request = {"ondrel": tools.pop("ondrel"), "daemon": args.daemon, "scenarios": args.scenarios,
               "tools": tools, "seed": args.seed,
               "scenario_dirs": [os.path.abspath(d) for d in args.scenario_dirs]}
    with open(os.path.join(results, "request.json"), "w") as f:
        json.dump(request, f)
    print(f"lab: {len(args.scenarios)} scenarios, seed {args.seed}, results in {results}", flush=True)

    seconds = boot(kernel, initramfs(version, args.cache), results, args.timeout)
    if seconds is None:
        print(f"FAIL: the VM did not power off within {args.timeout} s (logs in {results})")
        log = os.path.join(results, "guest.log")
        if os.path.exists(log):
            print(open(log, errors="replace").read()[-3000:])
        return 1
    report_path = os.path.join(results, "report.json")
    if not os.path.exists(report_path):
        print(f"FAIL: the VM wrote no report (logs in {results}):")
        log = os.path.join(results, "guest.log")
        if os.path.exists(log):
            print(open(log, errors="replace").read()[-3000:])
        return 1
    report = json.load(open(report_path))
    timings_path = os.path.join(results, "timings.json")
    timings = json.load(open(timings_path)) if os.path.exists(timings_path) else {}
    failed = summary(report, timings, seconds)
    if not args.keep and not failed:
        shutil.rmtree(results, ignore_errors=True)
    elif failed:
        print(f"lab: logs in {results}")
    return 1 if failed or not report["checks"] else 0


if __name__ == "__main__":
    sys.exit(main())
