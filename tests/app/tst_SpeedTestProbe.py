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

from ondrel_run import OndrelCase, raw_characters

CAFE = {"interface": "wlan0", "current": {"bssid": "12:34:56:78:9a:bc"}, "networks": [
    {"ssid": "Caf\u00e9 \"Home\"", "bssid": "12:34:56:78:9a:bc", "rssi": -52, "noise": -91, "channel": 36,
     "band": 50}]}
# A name that would retitle the terminal and turn the line around.
EVIL = {"interface": "wlan0", "current": {"bssid": "12"},
        "networks": [{"ssid": "Evil\x1b]0;pwned\x07\u202eX", "bssid": "12"}]}
OFF = {"interface": "wlan0", "networks": []}
MBPS = 50  # over the program's four streams


class Paced(http.server.BaseHTTPRequestHandler):
    """"/__down?bytes=N" and "/__up", each connection at a quarter of MBPS, over a link whose queue holds
    QUEUE bytes in each direction: while transfers run, a latency answer ("bytes=0") waits for what they
    still have to move, up to the queue, drained at MBPS."""
    protocol_version = "HTTP/1.1"
    QUEUE, pending = {"GET": 0, "POST": 0}, {"GET": 0, "POST": 0}
    lock = threading.Lock()

    def do_GET(self):
        size = int(self.path.split("bytes=")[1])
        if size == 0:
            with self.lock:
                wait = sum(min(self.QUEUE[d], self.pending[d]) for d in self.QUEUE) / (MBPS * 1e6 / 8)
            time.sleep(wait)
        self.pace(size, lambda n: self.wfile.write(bytes(n)), answer_first=True)

    def do_POST(self):
        self.pace(int(self.headers["Content-Length"]), self.rfile.read, answer_first=False)

    def pace(self, size, move, answer_first):
        """Moves `size` body bytes after the answer's head, or before an empty answer."""
        self.send_response(200)
        self.send_header("Content-Length", str(size if answer_first else 0))
        if answer_first:
            self.end_headers()
        with self.lock:
            self.pending[self.command] += size
        left, due = size, time.monotonic()
        try:
            while left:
                move(n := min(65536, left))
                with self.lock:
                    self.pending[self.command] -= n
                left -= n
                due += 65536 * 8 * 4 / (MBPS * 1e6)
                time.sleep(max(due - time.monotonic(), 0))
        finally:
            with self.lock:
                self.pending[self.command] -= left
        if not answer_first:
            self.end_headers()

    def log_message(self, *args):
        pass


class Bloated(Paced):
    """Paced over a queue of 40 ms while downloading, 120 ms while uploading."""
    QUEUE = {"GET": 250_000, "POST": 750_000}
    pending = {"GET": 0, "POST": 0}


def serve(handler, case):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.handle_error = lambda *args: None  # the program drops streams at the end of a phase
    threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True).start()  # quick to shut down
    case.addCleanup(server.server_close)
    case.addCleanup(server.shutdown)
    return "http://127.0.0.1:%d" % server.server_address[1]


class SpeedTestProbe(OndrelCase):
    def test_whole_run(self):
        # Phases shortened to 2 seconds; the JSON report of a run alongside, with a history of its own.
        env = {"ONDREL_SPEEDTEST_URL": serve(Paced, self), "ONDREL_SPEEDTEST_DURATION": "2"}
        json_run = self.start("--speedtest", "--json", scenario=CAFE, env=env, data="json-data")
        status, out, err = self.finish(self.start("--speedtest", scenario=CAFE, env=env))
        self.assertEqual((status, err), (0, "段階: latency\n段階: download\n段階: upload\n段階: done\n".encode()))
        figures = re.fullmatch("接続中: Café \"Home\"\nダウンロード ([0-9.]+) Mbps / アップロード [0-9.]+ Mbps / "
                               "応答時間 \\d+ ms / ゆらぎ \\d+ ms / 通信量 (\\d+) MB\n", out.decode())
        [entry] = json.loads(self.history.read_text(encoding="utf-8"))
        self.assertEqual((round(entry["downloadMbps"] - float(figures[1]), 1), "%.0f" % (entry["bytes"] / 1e6)),
                         (0, figures[2]), out.decode())  # stored as printed

        status, out, json_err = self.finish(json_run)
        doc = self.document(out, "ondrel-speedtest/1")
        [stored] = json.loads((self.tmp / "json-data" / "Ondrel" / "speed-history.json").read_text(encoding="utf-8"))
        # The report and the entry add what the figures imply; the file keeps only what was measured.
        implied = {k: doc["result"][k] for k in ("addedLatencyMs", "responsiveness")}
        self.assertEqual((status, json_err, doc["outcome"], doc["saved"], doc["entry"], doc["network"]),
                         (0, err, "done", True, dict(stored, band="5GHz", **implied),
                          dict(CAFE["networks"][0], band="5GHz", sources={"rssi": "simulation", "noise": "simulation"})))
        self.assertEqual((stored["rssi"], stored["noise"]), (-52, -91))  # the signal and noise during the test
        # The result as stored, now; 17 seconds at MBPS would have moved over 100 MB.
        age = datetime.datetime.now(datetime.timezone.utc) - datetime.datetime.fromisoformat(stored["date"])
        measured = {k: v for k, v in doc["result"].items() if k not in implied}
        self.assertTrue({k: stored.get(k) for k in measured} == measured and abs(age.total_seconds()) < 60
                        and stored["bytes"] < 40e6, doc)

    def test_latency_under_load(self):
        """Against a bloated link: each phase's latency under load at least its queue's wait and within 30 ms
        more (a busy machine's delays; bench_speed_latency holds it to 10 %), the idle latency that of
        loopback, the grade the longer one implies; stored as reported."""
        env = {"ONDREL_SPEEDTEST_URL": serve(Bloated, self), "ONDREL_SPEEDTEST_DURATION": "3"}
        status, out, _ = self.finish(self.start("--speedtest", "--json", scenario=CAFE, env=env))
        result = self.document(out, "ondrel-speedtest/1")["result"]
        down, up, idle = result["downloadLatencyMs"], result["uploadLatencyMs"], result["latencyMs"]
        self.assertTrue(status == 0 and 40 <= down <= 70 and 120 <= up <= 150 and idle < 30, result)
        self.assertEqual((result["addedLatencyMs"], result["responsiveness"]), (up - idle, "fair"))
        self.assertTrue(0 <= result["downloadJitterMs"] < 30 and 0 <= result["uploadJitterMs"] < 40, result)
        [entry] = json.loads(self.history.read_text(encoding="utf-8"))
        keys = [phase + kind for phase in ("download", "upload") for kind in ("LatencyMs", "JitterMs")]
        self.assertEqual({k: entry[k] for k in keys}, {k: result[k] for k in keys})

    def test_failures(self):
        with socket.create_server(("127.0.0.1", 0)) as closed:
            refused = {"ONDREL_SPEEDTEST_URL": "http://127.0.0.1:%d" % closed.getsockname()[1]}
        silent = self.enterContext(socket.create_server(("127.0.0.1", 0)))
        stalled = {"ONDREL_SPEEDTEST_URL": "http://127.0.0.1:%d" % silent.getsockname()[1],
                   "ONDREL_SPEEDTEST_TIME_LIMIT": "1"}
        rows = [  # server, scenario, name shown, message, JSON outcome, JSON error
            (refused, EVIL, "Evil\\x1b]0;pwned\\x07\\u202eX", "サーバーに接続できませんでした。", "failed",
             "Could not connect to the server."),
            (stalled, OFF, "なし", "1 秒以内に測定が終わらなかったので中止しました (段階: latency)", "timedOut", None),
        ]
        # The text and, in another language, the JSON report of each, all side by side, with a diagnostic
        # log to append to that rules meant for standard error do not silence.
        self.log.write_text("earlier\n", encoding="utf-8")
        quiet = {"QT_LOGGING_RULES": "ondrel.info=false"}
        runs = self.ondrel_all([(args, {"scenario": scenario, "env": env | quiet}) for env, scenario, *_ in rows
                                for args in [["--speedtest"], ["--lang", "ar", "--speedtest", "--json"]]])
        for (_, _, shown, message, outcome, error), (status, out, err), (json_status, report, _) in zip(
                rows, runs[::2], runs[1::2]):
            self.assertEqual((status, out.decode(), err.decode()),
                             (1, f"接続中: {shown}\n失敗: {message}\n", f"段階: latency\n段階: failed(\"{message}\")\n"))
            self.assertEqual(raw_characters((out + err).decode()), [])
            # The JSON report is the same in every language.
            doc = self.document(report, "ondrel-speedtest/1")
            self.assertEqual((json_status, doc["outcome"], doc["error"], doc["entry"], doc["saved"]),
                             (1, outcome, error and {"description": error}, None, False))
        self.assertFalse(self.history.exists())
        stamped = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000 speed test failed in the latency phase: .*curl 7: .+"
        lines = self.log.read_text(encoding="utf-8").splitlines()
        self.assertEqual([lines[0]] + [bool(re.match(stamped, line)) for line in lines[1:]], ["earlier", True, True])


if __name__ == "__main__":
    unittest.main()
