#!/usr/bin/env python3
"""--speedtest and --speedtest --json against loopback servers: a whole run
printed, reported and stored, and failures that store nothing."""
import datetime
import http.server
import json
import re
import socket
import threading
import time
import unittest
import urllib.parse

from ondrel_run import OndrelCase, raw_characters

CAFE = {"interface": "wlan0", "current": {"bssid": "12:34:56:78:9a:bc"}, "networks": [
    {"ssid": "Caf\u00e9 \"Home\"", "bssid": "12:34:56:78:9a:bc", "rssi": -52, "channel": 36, "band": 50}]}
# A name that would retitle the terminal and turn the line around.
EVIL = {"interface": "wlan0", "current": {"bssid": "12"},
        "networks": [{"ssid": "Evil\x1b]0;pwned\x07\u202eX", "bssid": "12"}]}
OFF = {"interface": "wlan0", "networks": []}
MBPS = 50


class Paced(http.server.BaseHTTPRequestHandler):
    """"/__down?bytes=N" and "/__up", all connections together at MBPS, or 403 to everything."""
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        if self.server.forbidding:
            return self.send_error(403)
        size = int(urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)["bytes"][0])
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.pace(size, lambda n: self.wfile.write(bytes(n)))

    def do_POST(self):
        self.pace(int(self.headers["Content-Length"]), self.rfile.read)
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def pace(self, size, move):
        while size > 0:
            n = min(size, 65536)
            move(n)
            size -= n
            with self.server.lock:
                self.server.due = max(self.server.due, time.monotonic()) + n * 8 / (MBPS * 1e6)
                wait = self.server.due - time.monotonic()
            time.sleep(max(wait, 0))

    def log_message(self, *args):
        pass


class SpeedTestProbe(OndrelCase):
    def serve(self, forbidding=False):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Paced)
        server.lock, server.due, server.daemon_threads, server.forbidding = threading.Lock(), 0, True, forbidding
        server.handle_error = lambda *args: None  # the program drops streams at the end of a phase
        threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True).start()  # quick to shut down
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        return {"ONDREL_SPEEDTEST_URL": "http://127.0.0.1:%d" % server.server_address[1]}

    def test_whole_run(self):
        # Phases shortened to 2 seconds: the JSON report of a run alongside,
        # on a server and a history of its own.
        quick = {"ONDREL_SPEEDTEST_DURATION": "2"}
        json_run = self.start("--speedtest", "--json", scenario=CAFE, env=self.serve() | quick, data="json-data")
        status, out, err = self.ondrel("--speedtest", scenario=CAFE, env=self.serve() | quick)
        self.assertEqual((status, err), (0, "段階: latency\n段階: download\n段階: upload\n段階: done\n".encode()))
        lines = out.decode().split("\n")
        self.assertEqual((len(lines), lines[0], lines[2]), (3, "接続中: Café \"Home\"", ""))
        summary = re.fullmatch(r"ダウンロード ([0-9.]+) Mbps / アップロード ([0-9.]+) Mbps / 応答時間 (\d+) ms / "
                               r"ゆらぎ (\d+) ms / 通信量 (\d+) MB", lines[1])
        self.assertTrue(summary, lines[1])
        for mbps in summary.group(1, 2):  # loosely: socket buffers swell a short upload; bench/ measures accuracy
            self.assertTrue(MBPS / 2 < float(mbps) < MBPS * 1.5, lines[1])
        [entry] = json.loads(self.history.read_text(encoding="utf-8"))
        self.assertEqual({k: entry[k] for k in ["ssid", "bssid", "rssi", "band", "channel"]}, CAFE["networks"][0])
        age = datetime.datetime.now(datetime.timezone.utc) - datetime.datetime.fromisoformat(entry["date"])
        self.assertEqual((round(entry["downloadMbps"] - float(summary[1]), 1), "%.0f" % (entry["bytes"] / 1e6)),
                         (0, summary[5]))
        # 17 seconds at MBPS would have moved over 100 MB.
        self.assertTrue(abs(age.total_seconds()) < 60 and entry["bytes"] < 40e6, entry)

        status, out, json_err = self.finish(json_run)
        self.assertEqual((status, json_err), (0, err))
        doc = self.document(out, "ondrel-speedtest/1")
        [stored] = json.loads((self.tmp / "json-data" / "Ondrel" / "speed-history.json").read_text(encoding="utf-8"))
        self.assertEqual((doc["outcome"], doc["saved"], doc["network"]["ssid"]), ("done", True, "Caf\u00e9 \"Home\""))
        self.assertEqual((doc["entry"]["id"], doc["entry"]["band"]), (stored["id"], "5GHz"))
        self.assertEqual((doc["result"]["downloadMbps"], doc["result"]["bytes"]),
                         (stored["downloadMbps"], stored["bytes"]))
        self.assertGreater(stored["uploadMbps"], 0)

    def test_failures(self):
        refusing = socket.socket()
        refusing.bind(("127.0.0.1", 0))
        refused = {"ONDREL_SPEEDTEST_URL": "http://127.0.0.1:%d" % refusing.getsockname()[1]}
        refusing.close()
        silent = self.enterContext(socket.create_server(("127.0.0.1", 0)))
        stalled = {"ONDREL_SPEEDTEST_URL": "http://127.0.0.1:%d" % silent.getsockname()[1],
                   "ONDREL_SPEEDTEST_TIME_LIMIT": "1"}
        rows = [  # server, scenario, name shown, message, JSON outcome, JSON error
            (refused, OFF, "なし", "サーバーに接続できませんでした。", "failed", "Could not connect to the server."),
            (self.serve(forbidding=True), EVIL, "Evil\\x1b]0;pwned\\x07\\u202eX",
             "サーバーが測定の要求を受け付けませんでした (HTTP 403)。", "failed",
             "The server refused the test's request (HTTP 403)."),
            (stalled, CAFE, "Café \"Home\"", "1 秒以内に測定が終わらなかったので中止しました (段階: latency)",
             "timedOut", None),
        ]
        # The text and, in another language, the JSON report of each, all side by side.
        runs = self.ondrel_all([(args, {"scenario": scenario, "env": env}) for env, scenario, *_ in rows
                                for args in [["--speedtest"], ["--lang", "ar", "--speedtest", "--json"]]])
        for (env, scenario, shown, message, outcome, error), text, report in zip(rows, runs[::2], runs[1::2]):
            with self.subTest(message=message, scenario=scenario):
                status, out, err = text
                self.assertEqual((status, out.decode(), err.decode()),
                                 (1, f"接続中: {shown}\n失敗: {message}\n", f"段階: latency\n段階: failed(\"{message}\")\n"))
                self.assertEqual(raw_characters((out + err).decode()), [])
                # The JSON report is the same in every language.
                doc = self.document(report[1], "ondrel-speedtest/1")
                self.assertEqual((report[0], doc["outcome"], doc["error"], doc["entry"], doc["saved"]),
                                 (1, outcome, error and {"description": error}, None, False))
        self.assertFalse(self.history.exists())


if __name__ == "__main__":
    unittest.main()
