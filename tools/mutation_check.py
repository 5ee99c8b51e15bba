#!/usr/bin/env python3
"""Measures what the test suite catches: applies one realistic one-line fault
at a time to a copy of the program, rebuilds, runs the fast tiers (every test
but the lab and desktop ones) and puts the file back.

Usage: tools/mutation_check.py [--faults FILE ...] [--copy DIR] [--only ID ...]
                               [--tests REGEX] [--exclude REGEX] [--folder-first]
                               [--list] [--jobs N]

Two kinds of fault lists: tools/mutations.json, which the tests were improved
against, and the held-out lists tools/mutations-held-out*.json, each written
without reading the tests (most aimed at the files earlier lists touched
least; the fifteenth samples the whole program by file size) and run once
before any test was changed for it; its first kill ratio is the held-out
figure. All are run by default and each gets its own kill ratio.

Each fault in the JSON list names a file, a text that occurs exactly once in
it and its replacement. A fault is "killed" when the build succeeds and at
least one test fails, "survived" when every test passes, and "invalid" when
the text is missing or the mutated program does not compile (the set must be
mended then: a fault that does not build measures nothing). A fault marked
"equivalent" (with the reason) was found by reading to behave exactly as the
original; it is listed but neither run nor counted.

The build is a plain Debug build with the tests (no sanitizers: it is rebuilt
once per fault). ctest stops at the first failing test, so a killed fault
costs less than a surviving one. --tests runs only the ctest names matching
REGEX: quicker while working on one folder, and a lower bound of what the
whole suite catches. --folder-first builds and runs the tests of the fault's
own folder first (tests/<folder>) and the whole suite only when those pass:
the same outcome as the whole suite, in a fraction of the time.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
ROOT = SOURCE  # the copy the faults are applied to (--copy)
FAST = ["-LE", "lab|desktop"]
EXCLUDE = None  # --exclude: ctest names never run (a test known to fail by itself)


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def make_copy(copy, build):
    """The working tree's files (tracked and new, not ignored) in `copy`, so
    that work in the tree goes on while the faults are tried."""
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=SOURCE,
                           stdout=subprocess.PIPE, check=True).stdout
    names = {name for name in files.decode().split("\0") if name}
    for stale in [p for p in copy.rglob("*") if p.is_file() and p.parts[len(copy.parts)] != Path(build).parts[0]]:
        if str(stale.relative_to(copy)) not in names:
            stale.unlink()  # gone from the tree: it must not build in the copy either
    for name in names:
        source, target = SOURCE / name, copy / name
        if not source.is_file():
            continue
        if target.exists() and target.read_bytes() == source.read_bytes():
            continue  # unchanged files keep their times: nothing to rebuild
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(source, target)


def configure(build):
    r = run(["cmake", "-S", ".", "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
             "-DONDREL_SANITIZE=OFF", "-DONDREL_BUILD_TESTS=ON", "-DONDREL_BUILD_BENCH=OFF"])
    if r.returncode != 0:
        sys.exit("configure failed:\n" + r.stdout)


def failed_tests(output):
    failed = [line.split(" - ", 1)[-1].strip() for line in output.splitlines()
              if line.strip().startswith(tuple("0123456789")) and " - " in line]
    return ", ".join(failed[:3]) or "a test failed"


def folder_fails(build, jobs, timeout, folder):
    """None when the fault's own folder's tests pass, else what failed."""
    if not (ROOT / build / "tests" / folder / "CTestTestfile.cmake").exists():
        return None
    r = run(["cmake", "--build", build, "-j", str(jobs), "--target", "ondrel", f"tests/{folder}/all"])
    if r.returncode != 0:
        return None  # the whole build below says whether it compiles
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    try:
        r = run(["ctest", "--test-dir", f"{build}/tests/{folder}", "-j", str(jobs), "--stop-on-failure",
                 "--timeout", str(timeout)] + FAST + (["-E", EXCLUDE] if EXCLUDE else []), env=env,
                timeout=timeout * 10)
    except subprocess.TimeoutExpired:
        return "tests timed out"
    return None if r.returncode == 0 else failed_tests(r.stdout)


def build_and_test(build, jobs, timeout, tests=None, folder=None):
    if folder and not tests:
        if (failed := folder_fails(build, jobs, timeout, folder)) is not None:
            return "killed", failed
    r = run(["cmake", "--build", build, "-j", str(jobs)])
    if r.returncode != 0:
        return "invalid", "does not compile"
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    try:
        r = run(["ctest", "--test-dir", build, "-j", str(jobs), "--stop-on-failure",
                 "--timeout", str(timeout)] + FAST + (["-R", tests] if tests else [])
                + (["-E", EXCLUDE] if EXCLUDE else []), env=env, timeout=timeout * 10)
    except subprocess.TimeoutExpired:
        return "killed", "suite timed out"
    if r.returncode == 0:
        return "survived", ""
    return "killed", failed_tests(r.stdout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--faults", nargs="+", default=[str(SOURCE / "tools" / "mutations.json")] + sorted(
        str(p) for p in (SOURCE / "tools").glob("mutations-held-out*.json")))
    ap.add_argument("--copy", default="/work/mutants", help="where the copy of the tree is made")
    ap.add_argument("--build", default="build", help="the build folder inside the copy")
    ap.add_argument("--only", nargs="*")
    ap.add_argument("--tests", help="run only the ctest names matching this expression")
    ap.add_argument("--exclude", help="never run the ctest names matching this expression")
    ap.add_argument("--folder-first", action="store_true",
                    help="try the tests of the fault's own folder before the whole suite")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=180, help="seconds per test")
    args = ap.parse_args()

    global EXCLUDE, ROOT
    EXCLUDE = args.exclude
    faults = []
    for file in args.faults:
        for f in json.loads(Path(file).read_text(encoding="utf-8")):
            faults.append(dict(f, set=Path(file).stem))
    if args.only:
        faults = [f for f in faults if f["id"] in args.only]
    if args.list:
        for f in faults:
            print(f"{f['id']:<28} {f['file']}: {f['why']}")
        return 0

    ROOT = Path(args.copy)
    make_copy(ROOT, args.build)
    configure(args.build)
    r = run(["cmake", "--build", args.build, "-j", str(args.jobs)])
    if r.returncode != 0:
        sys.exit("the unmutated tree does not build:\n" + r.stdout[-4000:])

    results = []
    for f in faults:
        path = ROOT / f["file"]
        original = path.read_text(encoding="utf-8")
        started = time.monotonic()
        if original.count(f["find"]) != 1:
            outcome, detail = "invalid", f"text found {original.count(f['find'])} times"
        elif f.get("equivalent"):
            # Found by reading to behave exactly as the original: no test can
            # kill it, so it is neither run nor counted.
            outcome, detail = "equivalent", f["equivalent"]
        else:
            try:
                path.write_text(original.replace(f["find"], f["replace"]), encoding="utf-8")
                folder = f["file"].split("/", 1)[0] if args.folder_first else None
                outcome, detail = build_and_test(args.build, args.jobs, args.timeout, args.tests, folder)
            finally:
                path.write_text(original, encoding="utf-8")
        seconds = time.monotonic() - started
        results.append((f["set"], outcome, detail))
        print(f"{outcome:<9} {f['id']:<28} {seconds:5.0f} s  {detail}", flush=True)

    # Leave the build matching the sources again.
    run(["cmake", "--build", args.build, "-j", str(args.jobs)])
    invalid = 0
    for name in dict.fromkeys(s for s, _, _ in results):
        outcomes = [o for s, o, _ in results if s == name and o != "equivalent"]
        killed = outcomes.count("killed")
        invalid += outcomes.count("invalid")
        equivalent = sum(1 for s, o, _ in results if s == name and o == "equivalent")
        print(f"{name}: killed {killed} of {len(outcomes)} faults ({outcomes.count('invalid')} invalid; "
              f"{equivalent} equivalent, not counted)")
    return 0 if invalid == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
