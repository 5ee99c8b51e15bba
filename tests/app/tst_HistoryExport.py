#!/usr/bin/env python3
"""--export-csv and --export-json: the files written, their failures, and a
history path that is no regular file."""
import json
import os
import unittest

from ondrel_run import OndrelCase

JA_HEADER = ("日時,ネットワーク,BSSID,電波 (dBm),周波数帯,チャンネル,ダウンロード (Mbps),アップロード (Mbps),"
             "応答時間 (ms),ゆらぎ (ms),使った通信量 (MB)\r\n")
EN_HEADER = ("Date,Network,BSSID,Signal (dBm),Band,Channel,Download (Mbps),Upload (Mbps),Latency (ms),"
             "Jitter (ms),Data used (MB)\r\n")
ENTRIES = [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "date": "2026-01-02T03:04:05Z",
            "ssid": "\u202eevil\x1b", "bssid": "aa:bb:cc:dd:ee:ff", "rssi": -50, "band": 50, "channel": 36,
            "downloadMbps": 95.25, "uploadMbps": 12.5, "latencyMs": 9, "jitterMs": 2, "bytes": 1234567},
           {"id": "7C9E6679-7425-40DE-944B-E07FC1F90AE7", "date": "2025-12-31T23:59:59Z", "ssid": "Old",
            "rssi": -80, "band": 70, "channel": 1, "downloadMbps": 0.5, "uploadMbps": 0,
            "latencyMs": 100, "jitterMs": 40, "bytes": 0}]


class HistoryExport(OndrelCase):
    def write_history(self, entries):
        self.history.parent.mkdir(parents=True, exist_ok=True)
        self.history.write_text(json.dumps(entries), encoding="utf-8")

    def export(self, *args):
        return self.ondrel(*args, env={"TZ": "UTC"}, cwd=self.tmp)

    def test_csv(self):
        entries = [{"id": "7C9E6679-7425-40DE-944B-E07FC1F90AE%d" % i, "date": "2023-11-14T22:%d:20Z" % (13 + i),
                    "ssid": "Net %d" % i, "rssi": -50, "band": 24, "channel": 6, "downloadMbps": 10.5,
                    "uploadMbps": 2, "latencyMs": 0, "jitterMs": 0, "bytes": 5000000} for i in range(2)]
        rows = "".join("2023-11-14T22:%d:20Z,Net %d,,-50,2.4 GHz,6,10.50,2.00,0,0,5\r\n" % (13 + i, i)
                       for i in range(2))
        for args, history, expected in [([], [], JA_HEADER), (["--lang", "en"], entries, EN_HEADER + rows)]:
            with self.subTest(args=args):
                if history:
                    self.write_history(history[::-1])  # the file keeps the newest first
                (self.tmp / "out.csv").write_bytes(b"x" * 10000)  # replaced whole
                self.assertEqual(self.export(*args, "--export-csv", "out.csv"),
                                 (0, f"{len(history)} 件を書き出しました: out.csv\n".encode(), b""))
                self.assertEqual((self.tmp / "out.csv").read_bytes(), b"\xef\xbb\xbf" + expected.encode())

    def test_json(self):
        self.write_history(ENTRIES)
        bands = {50: "5GHz", 70: "unknown"}
        expected = [dict(e, band=bands[e["band"]], bssid=e.get("bssid")) for e in ENTRIES]
        path = self.tmp / "h.json"
        self.assertEqual(self.export("--export-json", str(path)), (0, f"2 件を書き出しました: {path}\n".encode(), b""))
        self.assertEqual(self.document(path.read_bytes(), "ondrel-history/1")["entries"], expected)
        # The same on standard output, in every language.
        for lang in ["ja", "ar"]:
            self.assertEqual(self.export("--lang", lang, "--export-json", "-")[:2], (0, path.read_bytes()))

    def test_failures(self):
        for fmt in ["csv", "json"]:
            status, out, err = self.export(f"--export-{fmt}", f"missing/out.{fmt}")
            self.assertEqual((status, out), (1, b""))
            self.assertTrue(err.startswith(f"書き出せませんでした: missing/out.{fmt}: ".encode()), err)
            self.assertFalse((self.tmp / "missing").exists())

    def test_history_that_is_no_file(self):
        rows = [  # what the history path is, how to make it, the formats exported
            ("fifo", lambda other: os.mkfifo(self.history), ["csv"]),
            ("link to a fifo", lambda other: (os.mkfifo(other), self.history.symlink_to(other)), ["json"]),
            ("folder", lambda other: self.history.mkdir(), ["json"]),
            ("link to a device", lambda other: self.history.symlink_to("/dev/null"), ["csv"]),
            ("link to a file", lambda other: (other.write_text(json.dumps(ENTRIES[1:])), self.history.symlink_to(other)),
             ["csv", "json"]),
        ]
        for what, make, formats in rows:
            with self.subTest(what=what):
                self.setUp()
                self.history.parent.mkdir(parents=True)
                make(self.tmp / "elsewhere")
                for fmt in formats:
                    status, out, err = self.export(f"--export-{fmt}", f"out.{fmt}")
                    if what == "link to a file":
                        self.assertEqual((status, out), (0, f"1 件を書き出しました: out.{fmt}\n".encode()))
                        continue
                    self.assertEqual((status, out), (1, b""))
                    self.assertIn("は通常のファイルではないため".encode(), err)
                    self.assertFalse((self.tmp / f"out.{fmt}").exists())


if __name__ == "__main__":
    unittest.main()
