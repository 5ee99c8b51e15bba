#!/usr/bin/env python3
"""The Wi-Fi lab: boots Debian's kernel under QEMU (software emulation, no
network device), with the host's root read-only under a writable overlay, so
the VM runs this build's binary and the host's packages on simulated radios
(mac80211_hwsim). Runs the named scenarios inside and judges their report:
one line per failed check, exit status 1 if any failed, 77 when the lab
cannot run here (no QEMU, no kernel, no mac80211_hwsim).

    run_lab.py --ondrel PATH [--daemon nm|iwd] [--keep DIR] SCENARIO...
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


def skip(reason):
    print(f"SKIP: the Wi-Fi lab cannot run here: {reason}")
    sys.exit(SKIP)


def find_kernel():
    """The newest Debian kernel image whose modules include mac80211_hwsim."""
    for image in sorted(glob.glob("/boot/vmlinuz-*"), reverse=True):
        version = os.path.basename(image)[len("vmlinuz-"):]
        modules = f"/lib/modules/{version}"
        if glob.glob(f"{modules}/kernel/drivers/net/wireless/virtual/mac80211_hwsim.ko*") or \
                glob.glob(f"{modules}/**/mac80211_hwsim.ko*", recursive=True):
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
        "-append", f"console=ttyS0 quiet panic=-1 lab.start={start}",
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ondrel", required=True)
    parser.add_argument("--daemon", default="nm", choices=["nm", "iwd"])
    parser.add_argument("--keep", help="keep the results (logs, report) in this folder")
    parser.add_argument("--timeout", type=int, default=540, help="seconds for the whole VM run")
    parser.add_argument("--cache", default=os.path.join(tempfile.gettempdir(), "ondrel-lab"))
    parser.add_argument("scenarios", nargs="+")
    args = parser.parse_args()

    if not shutil.which("qemu-system-x86_64"):
        skip("qemu-system-x86_64 is not installed (Debian: qemu-system-x86)")
    kernel, version = find_kernel()
    if not kernel:
        skip("no kernel image with mac80211_hwsim in /boot (Debian: linux-image-amd64)")
    for tool in ("hostapd", "iw", "wpa_supplicant", "NetworkManager", "busybox", "cpio"):
        if not shutil.which(tool) and not os.path.exists(f"/usr/sbin/{tool}") and not os.path.exists(f"/sbin/{tool}"):
            skip(f"{tool} is not installed")
    if not os.access(args.ondrel, os.X_OK):
        print(f"FAIL: no program at {args.ondrel}")
        return 1

    results = args.keep or tempfile.mkdtemp(prefix="ondrel-lab-")
    os.makedirs(results, exist_ok=True)
    for old in glob.glob(os.path.join(results, "*")):
        os.remove(old)
    request = {"ondrel": os.path.abspath(args.ondrel), "daemon": args.daemon, "scenarios": args.scenarios,
               "tools": {"speed_server": os.path.join(os.path.dirname(os.path.abspath(args.ondrel)), "..",
                                                      "bench", "ondrel_speed_server")}}
    json.dump(request, open(os.path.join(results, "request.json"), "w"))

    seconds = boot(kernel, initramfs(version, args.cache), results, args.timeout)
    if seconds is None:
        print(f"FAIL: the VM did not power off within {args.timeout} s (logs in {results})")
        return 1
    report_path = os.path.join(results, "report.json")
    if not os.path.exists(report_path):
        print(f"FAIL: the VM wrote no report (logs in {results}):")
        log = os.path.join(results, "guest.log")
        if os.path.exists(log):
            print(open(log).read()[-3000:])
        return 1
    report = json.load(open(report_path))
    failed = [c for c in report["checks"] if not c["ok"]]
    for c in failed:
        print(f"FAIL [{c['scenario']}] {c['check']}: expected {c['expected']}, saw {c['seen']}")
    for r in report["retries"]:
        print(f"RETRY [{r['scenario']}] {r['what']}")
    timings = {}
    if os.path.exists(os.path.join(results, "timings.json")):
        timings = json.load(open(os.path.join(results, "timings.json")))
    print(f"lab: {len(report['checks']) - len(failed)} of {len(report['checks'])} checks passed, "
          f"{len(report['retries'])} retries, VM {seconds:.0f} s; "
          + ", ".join(f"{k} {v:.1f} s" for k, v in timings.items() if k not in ("booted", "radios", "daemon")))
    if not args.keep and not failed:
        shutil.rmtree(results, ignore_errors=True)
    elif failed:
        print(f"lab: logs in {results}")
    return 1 if failed or not report["checks"] else 0


if __name__ == "__main__":
    sys.exit(main())
