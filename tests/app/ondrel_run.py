"""For the tst_*.py scripts: the built program (ONDREL_BINARY) on simulated
radios with folders of its own, and checks of what it prints."""
import json
import os
import pathlib
import re
import subprocess
import tempfile
import unicodedata
import unittest

import jsonschema

SOURCE = pathlib.Path(os.environ.get("ONDREL_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
SCHEMA = json.loads((SOURCE / "docs" / "json-output.schema.json").read_text(encoding="utf-8"))
# Characters that act on a terminal or hide there, never printed raw.
RAW = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u2028\u2029]")


def raw_characters(text, replacement_too=True):
    return [c for c in text if RAW.match(c) or unicodedata.category(c) in ("Cf", "Cs")
            or (replacement_too and c == "\ufffd")]


class OndrelCase(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        self.history, self.log = self.tmp / "data" / "Ondrel" / "speed-history.json", self.tmp / "log.txt"

    def start(self, *args, scenario=None, env=None, cwd=None, data="data", stdin=b""):
        """The program running with the data folder `data`, `stdin` written to it."""
        env = dict(os.environ, XDG_DATA_HOME=str(self.tmp / data), XDG_CONFIG_HOME=str(self.tmp / "config"),
                   ONDREL_LOG=str(self.log), **(env or {}))
        if scenario is not None:  # a file of its own: processes may run side by side
            with tempfile.NamedTemporaryFile("w", suffix=".json", dir=self.tmp, delete=False, encoding="utf-8") as f:
                f.write(scenario if isinstance(scenario, str) else json.dumps(scenario))
            env["ONDREL_WIFI_SIMULATION"] = f.name
        process = subprocess.Popen([os.environ["ONDREL_BINARY"], *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=env, cwd=cwd)
        process.given = stdin  # written by finish()
        self.addCleanup(process.kill)
        return process

    def finish(self, process):
        """(status, standard output, standard error) as bytes."""
        out, err = process.communicate(process.given, timeout=120)
        return process.returncode, out, err

    def ondrel_all(self, calls):
        """finish(start(*arguments, **keywords)) of each (arguments, keywords) pair, all running side by side."""
        return [self.finish(process) for process in [self.start(*args, **kw) for args, kw in calls]]

    def document(self, out, kind):
        """The JSON document printed, valid by the schema."""
        text = out.decode("utf-8")
        self.assertEqual(raw_characters(text, replacement_too=False), [])
        doc = json.loads(text)
        self.assertEqual([e.message for e in jsonschema.Draft202012Validator(SCHEMA).iter_errors(doc)], [])
        self.assertEqual(doc["format"], kind)
        return doc
