"""Runs the program under test in the VM, each run with its own settings and
data folders unless a scenario shares them, and a diagnostic log per run."""

import json
import os
import subprocess
import time

from labenv import log


class Run:
    def __init__(self, args, rc, out, err, seconds):
        self.args, self.rc, self.out, self.err, self.seconds = args, rc, out, err, seconds

    def json(self):
        try:
            return json.loads(self.out)
        except ValueError:
            return None

    def __repr__(self):
        return f"ondrel {' '.join(self.args)}: exit {self.rc}, {self.seconds:.1f} s"


class Ondrel:
    def __init__(self, binary, results):
        self.binary = binary
        self.results = results
        self.count = 0
        self.listing_seconds = 20.0  # the latest --probe without a join: start, scan, table
        self.home = "/run/lab/home"
        self.use_home("default")

    def use_home(self, name):
        """Settings and history under a folder of this name (scenarios that share a history use one)."""
        self.data = f"{self.home}/{name}/data"
        self.config = f"{self.home}/{name}/config"
        os.makedirs(self.data, exist_ok=True)
        os.makedirs(self.config, exist_ok=True)

    def env(self, extra=None):
        env = dict(os.environ)
        env.update({"XDG_DATA_HOME": self.data, "XDG_CONFIG_HOME": self.config, "QT_QPA_PLATFORM": "offscreen",
                    "ASAN_OPTIONS": "detect_leaks=0", "LANGUAGE": "en", "LANG": "C.UTF-8",
                    "ONDREL_LOG": f"{self.results}/ondrel.log"})
        env.update(extra or {})
        return env

    def start(self, *args, stdin=None, env=None, program=None):
        """Starts a run without waiting (for runs a scenario kills)."""
        self.count += 1
        log(f"{os.path.basename(program or self.binary)} {' '.join(args)}")
        return subprocess.Popen([program or self.binary, *args],
                                stdin=subprocess.PIPE if stdin is not None else subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=self.env(env))

    def run_tool(self, program, *args, **kw):
        """A helper program of the build tree, run like the program itself."""
        return self.run(*args, program=program, **kw)

    def run(self, *args, stdin=None, env=None, timeout=120, program=None):
        started = time.monotonic()
        p = self.start(*args, stdin=stdin, env=env, program=program)
        try:
            out, err = p.communicate(stdin.encode() if stdin is not None else None, timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            out, err = p.communicate()
            err += f"\n(killed after {timeout} s)".encode()
        run = Run(list(args), p.returncode, out.decode(errors="replace"), err.decode(errors="replace"),
                  time.monotonic() - started)
        log(f"  -> exit {run.rc} in {run.seconds:.1f} s")
        if run.rc not in (0, 1) or "ERROR: AddressSanitizer" in run.err or "runtime error:" in run.err:
            log(run.err[-4000:])
        return run

    def probe(self, *more, **kw):
        """`--probe --json` with more arguments; returns (run, document or None)."""
        run = self.run("--probe", "--json", *more, **kw)
        if "--connect" not in more and run.rc == 0:
            self.listing_seconds = run.seconds
        return run, run.json()

    def join_bound(self):
        """How long a join may take at most: a listing as long as the latest one, then the
        program's own 45 s for the join, and 15 s of slack for a busy machine."""
        return self.listing_seconds + 45 + 15

    def connect(self, name, password=None, *more, **kw):
        """Joins `name`, the password (if any) through standard input."""
        args = ["--connect", name] + (["--password", "-"] if password is not None else []) + list(more)
        return self.probe(*args, stdin=password, **kw)
