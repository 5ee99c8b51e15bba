#!/usr/bin/env python3
"""The JSON of --probe --json, --speedtest --json and --export-json, from the
built program (ONDREL_BINARY) on simulated radios, validated against
docs/json-output.schema.json with python3-jsonschema.

    tst_json_output.py             run the tests
    tst_json_output.py --validate  validate the document on standard input
"""
import http.server
import json
import os
import pathlib
import re
import socket
import subprocess
import sys
import tempfile
import threading
import unicodedata
import unittest

import jsonschema

SOURCE = pathlib.Path(os.environ.get("ONDREL_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
SCHEMA = json.loads((SOURCE / "docs" / "json-output.schema.json").read_text(encoding="utf-8"))
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)

# Every security kind, a hidden network, invalid UTF-8, a byte-order mark, C0,
# DEL, C1, bidi and invisible format characters and the line separator in names.
HOSTILE = {
    "interface": "wlan0", "saved": ["Home\x1b[2J", "Caf\u00e9"],
    "current": {"bssid": "aa:00:00:00:00:02"},
    "networks": [
        {"ssid": "Home\x1b[2J", "bssid": "aa:00:00:00:00:01", "rssi": -40, "channel": 36,
         "security": "wpa2Personal", "password": "right"},
        {"ssid": "Caf\u00e9", "bssid": "aa:00:00:00:00:02", "rssi": -45, "channel": 1, "security": "open"},
        {"ssid": "\u202eemoH\u2066", "bssid": "aa:00:00:00:00:03", "rssi": -50, "channel": 6, "security": "owe"},
        {"ssidHex": "ff41c3", "bssid": "aa:00:00:00:00:04", "rssi": -55, "channel": 11, "security": "wep"},
        {"ssidHex": "fe41c3", "bssid": "aa:00:00:00:00:05", "rssi": -56, "channel": 11, "security": "wep"},
        {"ssid": "del\x7f c1\x9b ls\u2028 nul\x00 tab\t zw\u200b\u00ad\U000e0041 \"q\\", "rssi": -60, "security": "wpaPersonal"},
        {"bssid": "aa:00:00:00:00:07", "rssi": -65, "channel": 149, "band": 50, "width": 80,
         "security": "wpa2wpa3Personal"},
        {"ssid": "W3", "bssid": "aa:00:00:00:00:08", "rssi": -70, "channel": 37, "band": 60, "width": 160,
         "security": "wpa3Personal", "countryCode": "DE"},
        {"ssid": "Corp", "bssid": "aa:00:00:00:00:09", "rssi": -75, "security": "enterprise"},
        {"ssid": "Odd", "bssid": "aa:00:00:00:00:0a", "rssi": -80, "securityCodes": []},
        {"ssid": "Caf\u00e9", "bssid": "aa:00:00:00:00:0b", "rssi": -85, "channel": 6, "security": "open"},
        {"ssidHex": "efbbbf4f6464", "bssid": "aa:00:00:00:00:0c", "rssi": -90, "security": "open"},
    ],
}
# Characters that act on a terminal or hide there, never printed raw.
RAW = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u2028\u2029]")


class JsonOutput(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))

    def run_ondrel(self, args, scenario=HOSTILE, env=None):
        (self.tmp / "scenario.json").write_text(json.dumps(scenario), encoding="utf-8")
        full_env = dict(os.environ, ONDREL_WIFI_SIMULATION=str(self.tmp / "scenario.json"),
                        XDG_DATA_HOME=str(self.tmp / "data"), XDG_CONFIG_HOME=str(self.tmp / "config"),
                        **(env or {}))
        run = subprocess.run([os.environ["ONDREL_BINARY"], *args], capture_output=True, env=full_env,
                             timeout=120)
        return run.returncode, run.stdout, run.stderr.decode("utf-8", "replace")

    def document(self, out, kind):
        text = out.decode("utf-8")
        self.assertEqual([c for c in text if RAW.match(c) or unicodedata.category(c) == "Cf"], [])
        doc = json.loads(text)
        errors = [e.message for e in VALIDATOR.iter_errors(doc)]
        self.assertEqual(errors, [])
        self.assertEqual(doc["format"], kind)
        return doc

    def test_probe_names_every_kind_and_marks(self):
        status, out, _ = self.run_ondrel(["--probe", "--json"])
        self.assertEqual(status, 0)
        doc = self.document(out, "ondrel-probe/1")
        networks = doc["networks"]
        # The table's order, every record, the exact names back.
        self.assertEqual([n["rssi"] for n in networks], [n["rssi"] for n in HOSTILE["networks"]])
        self.assertEqual({n["security"] for n in networks}, set(SCHEMA["$defs"]["security"]["enum"]))
        # The exact names back; names whose text loses bytes come with the bytes.
        self.assertEqual([n["ssid"] for n in networks if not n["ssidHex"]],
                         [n.get("ssid") for n in HOSTILE["networks"] if "ssidHex" not in n])
        self.assertEqual([n["ssidHex"] for n in networks], [n.get("ssidHex") for n in HOSTILE["networks"]])
        self.assertTrue(networks[3]["ssid"] == "\ufffdA\ufffd" and networks[-1]["ssid"].endswith("Odd"))
        self.assertEqual([n["bssid"][-2:] for n in networks if n["saved"]], ["01", "02", "0b"])
        self.assertEqual([n["bssid"] for n in networks if n["current"]], ["aa:00:00:00:00:02"])
        self.assertEqual((networks[6]["band"], networks[6]["widthMHz"], networks[7]["countryCode"]),
                         ("5GHz", 80, "DE"))
        self.assertEqual(doc["interface"]["current"]["ssid"], "Caf\u00e9")
        self.assertEqual((doc["scan"], doc["join"]), ({"outcome": "ok", "error": None}, None))

    def test_probe_join_outcomes(self):
        rows = [  # arguments, status, outcome, error code
            (["--connect", "Home\x1b[2J", "--password", "right"], 0, "ok", None),
            (["--connect", "Home\\x1b[2J", "--password", "wrong"], 1, "failed", 7),
            (["--connect", "Nowhere"], 1, "notFound", None),
        ]
        for args, want_status, outcome, code in rows:
            with self.subTest(args=args):
                status, out, _ = self.run_ondrel(["--probe", "--json", *args])
                join = self.document(out, "ondrel-probe/1")["join"]
                self.assertEqual((status, join["outcome"], join["target"]), (want_status, outcome, args[1]))
                self.assertEqual(join["error"] and join["error"]["code"], code)
                if outcome == "ok":
                    self.assertEqual((join["bssid"], join["current"]), ("aa:00:00:00:00:01", "Home\x1b[2J"))

    def test_probe_scan_failure(self):
        scenario = dict(HOSTILE, scanError={"domain": "test.domain", "code": 42, "description": "radio\x1b broke"})
        status, out, _ = self.run_ondrel(["--probe", "--json"], scenario)
        doc = self.document(out, "ondrel-probe/1")
        self.assertEqual((status, doc["networks"]), (1, []))
        self.assertEqual(doc["scan"], {"outcome": "failed", "error": {"domain": "test.domain", "code": 42,
                                                                       "description": "radio\x1b broke"}})

    def test_history_export(self):
        entries = [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "date": "2026-01-02T03:04:05Z",
                    "ssid": "\u202eevil\x1b", "bssid": "aa:bb:cc:dd:ee:ff", "rssi": -50, "band": 50, "channel": 36,
                    "downloadMbps": 95.25, "uploadMbps": 12.5, "latencyMs": 9, "jitterMs": 2, "bytes": 1234567},
                   {"id": "7C9E6679-7425-40DE-944B-E07FC1F90AE7", "date": "2025-12-31T23:59:59Z", "ssid": "Old",
                    "rssi": -80, "band": 70, "channel": 1, "downloadMbps": 0.5, "uploadMbps": 0,
                    "latencyMs": 100, "jitterMs": 40, "bytes": 0}]
        (self.tmp / "data" / "Ondrel").mkdir(parents=True)
        (self.tmp / "data" / "Ondrel" / "speed-history.json").write_text(json.dumps(entries), encoding="utf-8")
        bands = {50: "5GHz", 70: "unknown"}
        expected = [dict(e, band=bands[e["band"]], bssid=e.get("bssid")) for e in entries]
        status, out, err = self.run_ondrel(["--export-json", str(self.tmp / "h.json")])
        self.assertEqual((status, out.decode(), err), (0, f"2 件を書き出しました: {self.tmp / 'h.json'}\n", ""))
        from_file = self.document((self.tmp / "h.json").read_bytes(), "ondrel-history/1")
        self.assertEqual(from_file["entries"], expected)
        # The same on standard output, in every language.
        for lang in ["ja", "ar"]:
            status, out, _ = self.run_ondrel(["--lang", lang, "--export-json", "-"])
            self.assertEqual((status, out), (0, (self.tmp / "h.json").read_bytes()))
        # A file that cannot be written is a failure.
        status, out, err = self.run_ondrel(["--export-json", str(self.tmp / "missing" / "h.json")])
        self.assertEqual((status, out), (1, b""))
        self.assertIn("書き出せませんでした", err)

    def test_speedtest_failures(self):
        class Refusing(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_error(403)

            def log_message(self, *args):
                pass

        # Loopback servers: one refusing connections, one answering 403 to
        # everything, one taking connections but never answering.
        refusing = socket.socket()
        refusing.bind(("127.0.0.1", 0))
        silent = self.enterContext(socket.create_server(("127.0.0.1", 0)))
        forbidding = self.enterContext(http.server.ThreadingHTTPServer(("127.0.0.1", 0), Refusing))
        threading.Thread(target=forbidding.serve_forever, daemon=True).start()
        self.addCleanup(forbidding.shutdown)
        rows = [  # port, languages, time limit, outcome, error
            (refusing.getsockname()[1], ["ja", "de", "ar"], None, "failed",
             {"description": "Could not connect to the server."}),
            (forbidding.server_address[1], ["ja"], None, "failed",
             {"description": "The server refused the test's request (HTTP 403)."}),
            (silent.getsockname()[1], ["ja"], "1", "timedOut", None),
        ]
        refusing.close()
        for port, languages, limit, outcome, error in rows:
            env = {"ONDREL_SPEEDTEST_URL": "http://127.0.0.1:%d" % port}
            env.update({"ONDREL_SPEEDTEST_TIME_LIMIT": limit} if limit else {})
            outputs = set()
            for lang in languages:
                with self.subTest(outcome=outcome, error=error, lang=lang):
                    status, out, _ = self.run_ondrel(["--lang", lang, "--speedtest", "--json"], env=env)
                    doc = self.document(out, "ondrel-speedtest/1")
                    self.assertEqual((status, doc["outcome"], doc["error"], doc["entry"], doc["saved"]),
                                     (1, outcome, error, None, False))
                    self.assertEqual(doc["network"]["ssid"], "Caf\u00e9")
                    self.assertFalse((self.tmp / "data" / "Ondrel" / "speed-history.json").exists())
                    outputs.add(out)
            self.assertEqual(len(outputs), 1)  # the same in every language


def validate_stdin():
    errors = [f"{list(e.absolute_path)}: {e.message}" for e in VALIDATOR.iter_errors(json.load(sys.stdin))]
    print("\n".join(errors) or "valid")
    return 1 if errors else 0


if __name__ == "__main__":
    if sys.argv[1:] == ["--validate"]:
        sys.exit(validate_stdin())
    jsonschema.Draft202012Validator.check_schema(SCHEMA)
    unittest.main()
