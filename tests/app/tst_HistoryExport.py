#!/usr/bin/env python3
"""--export-csv and --export-json: the files written, their failures, and a
history path that is no regular file; --shot's failure to write, without a display."""
import json
import os
import unittest

from ondrel_run import OndrelCase

# No BSSID, a band of no known code (the history's own tests hold the other fields' rules).
ENTRIES = [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "date": "2026-01-02T03:04:05Z", "ssid": "\u202eevil\x1b",
            "rssi": -50, "band": 70, "channel": 36, "downloadMbps": 95.25, "uploadMbps": 12.5, "latencyMs": 9,
            "jitterMs": 2, "bytes": 1234567}]


class HistoryExport(OndrelCase):
    def test_exports(self):
        self.history.parent.mkdir(parents=True)
        self.history.write_text(json.dumps(ENTRIES), encoding="utf-8")
        (self.tmp / "en.csv").write_bytes(b"x" * 10000)  # replaced whole
        path = self.tmp / "h.json"
        # (data folder, arguments) of each export, all running side by side: four that work, then failures.
        calls = [("none", ["--export-csv", "ja.csv"]), ("data", ["--lang", "en", "--export-csv", "en.csv"]),
                 ("data", ["--export-json", str(path)]), ("data", ["--lang", "ar", "--export-json", "-"])]
        calls += [("data", [option, f"missing/out.{fmt}"]) for option, fmt in
                  [("--export-csv", "csv"), ("--export-json", "json"), ("--shot", "png")]]
        rows = [  # what the history path is, how to make it, the formats exported
            ("fifo", lambda path, other: os.mkfifo(path), ["csv"]),
            ("link to a fifo", lambda path, other: (os.mkfifo(other), path.symlink_to(other)), ["json"]),
            ("folder", lambda path, other: path.mkdir(), ["json"]),
            ("link to a file", lambda path, other: (other.write_text(json.dumps(ENTRIES)), path.symlink_to(other)),
             ["csv", "json"]),
        ]
        for what, make, formats in rows:
            history = self.tmp / what / "Ondrel" / "speed-history.json"
            history.parent.mkdir(parents=True)
            make(history, self.tmp / what / "elsewhere")
            calls += [(what, [f"--export-{fmt}", f"{what}.{fmt}"]) for fmt in formats]
        for name in ["QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"]:  # --shot picks off-screen itself
            os.environ.pop(name, None)
        runs = self.ondrel_all([(args, {"data": data, "env": {"TZ": "UTC"}, "cwd": self.tmp}) for data, args in calls])

        ja, en, written, printed = runs[:4]
        self.assertEqual((ja, en), ((0, "0 件を書き出しました: ja.csv\n".encode(), b""),
                                    (0, "1 件を書き出しました: en.csv\n".encode(), b"")))
        # A byte-order mark, then the header in the chosen language (tests/speed checks every field).
        ja_csv, en_csv = [(self.tmp / name).read_bytes().decode() for name in ["ja.csv", "en.csv"]]
        self.assertEqual((ja_csv[:10], ja_csv.count("\r\n"), en_csv[:14]),
                         ("\ufeff日時,ネットワーク", 1, "\ufeffDate,Network,"))
        self.assertTrue(en_csv.endswith("(MB)\r\n2026-01-02T03:04:05Z,\\u202eevil\\x1b,,-50,Unknown,36,95.25,12.50,9,2,1\r\n"))
        self.assertEqual(written, (0, f"1 件を書き出しました: {path}\n".encode(), b""))
        self.assertEqual(self.document(path.read_bytes(), "ondrel-history/1")["entries"],
                         [dict(ENTRIES[0], band="unknown", bssid=None,  # stored before the latency under load
                               **dict.fromkeys(["downloadLatencyMs", "downloadJitterMs", "uploadLatencyMs",
                                                "uploadJitterMs", "addedLatencyMs", "responsiveness"]))])
        self.assertEqual(printed[:2], (0, path.read_bytes()))  # the same on standard output, in every language
        for (what, [_, target]), (status, out, err) in zip(calls[4:], runs[4:]):
            with self.subTest(what=what, target=target):
                if what == "link to a file":
                    self.assertEqual((status, out), (0, f"1 件を書き出しました: {target}\n".encode()))
                    continue
                self.assertEqual((status, out, (self.tmp / target).exists()), (1, b"", False))
                self.assertIn(f"書き出せませんでした: {target}" if what == "data" else "は通常のファイルではないため",
                              err.decode())
        self.assertFalse((self.tmp / "missing").exists())


if __name__ == "__main__":
    unittest.main()
