#!/usr/bin/env python3
"""--probe as a user runs it: the network table and joins, then hostile names
in the table and in the JSON report."""
import unittest

from ondrel_run import SCHEMA, OndrelCase, raw_characters

ROOM = """{"interface": "wlan0", "saved": ["Alpha", "Gamma", ""], "networks": [
  {"ssid": "Alpha", "bssid": "aa:00:00:00:00:01", "rssi": -40, "channel": 36, "band": 50, "width": 80,
   "security": "wpa2wpa3Personal", "password": "strong-pass"},
  {"ssid": "Beta", "bssid": "bb:00:00:00:00:02", "rssi": -60, "channel": 6, "band": 24, "security": "open"},
  {"ssid": "Alpha", "bssid": "aa:00:00:00:00:03", "rssi": -70, "channel": 11, "band": 24,
   "security": "wpa2Personal", "password": "weak-pass"},
  {"bssid": "cc:00:00:00:00:04", "rssi": -60, "channel": 149, "band": 50, "security": "wpa2Personal"},
  {"ssid": "An unusually long network name that goes on", "bssid": "dd:00:00:00:00:05", "rssi": -80,
   "securityCodes": []},
  {"ssid": "日本語ネットワーク", "rssi": -55, "channel": 5, "band": 60, "security": "wpa3Personal"},
  {"ssid": "Gamma", "bssid": "ee:00:00:00:00:07", "rssi": -65, "channel": 40, "band": 50,
   "security": "wpaPersonal", "password": "gamma-secret"},
  {"ssid": "Corp", "bssid": "ff:00:00:00:00:08", "rssi": -90, "channel": 100, "band": 50, "security": "enterprise"},
  {"ssid": "Guest", "bssid": "11:00:00:00:00:09", "rssi": -75, "channel": 1, "band": 24, "security": "owe"},
  {"ssid": "Old", "bssid": "22:00:00:00:00:0a", "rssi": -85, "channel": 3, "band": 24, "security": "wep"}]}"""
HEADER = "SSID                                RSSI    ch Band       Security         BSSID\n"
TABLE = (HEADER +
         "*Alpha                            -40 dBm   36 5 GHz      WPA2/WPA3        aa:00:00:00:00:01\n"
         " 日本語ネットワーク                        -55 dBm    5 6 GHz      WPA3             \n"
         " Beta                             -60 dBm    6 2.4 GHz    Open             bb:00:00:00:00:02\n"
         " (hidden)                         -60 dBm  149 5 GHz      WPA2             cc:00:00:00:00:04\n"
         "*Gamma                            -65 dBm   40 5 GHz      WPA              ee:00:00:00:00:07\n"
         "*Alpha                            -70 dBm   11 2.4 GHz    WPA2             aa:00:00:00:00:03\n"
         " Guest                            -75 dBm    1 2.4 GHz    OWE              11:00:00:00:00:09\n"
         " An unusually long network name that goes on  -80 dBm    0 不明         Unknown          dd:00:00:00:00:05\n"
         " Old                              -85 dBm    3 2.4 GHz    WEP              22:00:00:00:00:0a\n"
         " Corp                             -90 dBm  100 5 GHz      Enterprise       ff:00:00:00:00:08\n"
         "計 10 件（* はシステムに登録済み）\n")
GRANTED = "位置情報: 許可済み\n"
STATUS = GRANTED + "インターフェース: wlan0 / 電源: true / 接続中: なし\n"
FAILED = "接続します: {0}\n失敗: Secrets were required, but not provided.（コード 7）\n"
JOINED = "接続します: {0}\n成功。現在の接続先: {0}\n"
NOT_FOUND = "「{0}」は見つかりませんでした\n"

# Every security kind, hidden networks, names that are not UTF-8 (two differ
# in one byte), a byte-order mark, C0, DEL, C1, bidi and invisible format
# characters, a line feed and the line separator.
HOSTILE = {
    "interface": "wlan0", "saved": ["Home\x1b[2J", "Caf\u00e9"], "current": {"bssid": "aa:00:00:00:00:03"},
    "networks": [
        {"ssid": "Home\x1b[2J", "bssid": "aa:00:00:00:00:01", "rssi": -40, "channel": 36,
         "security": "wpa2Personal", "password": "right"},
        {"ssid": "Caf\u00e9", "bssid": "aa:00:00:00:00:02", "rssi": -45, "channel": 1, "security": "open"},
        {"ssid": "\u202eemoH\u2066", "bssid": "aa:00:00:00:00:03", "rssi": -50, "channel": 6, "security": "owe"},
        {"ssidHex": "ff41c3", "bssid": "aa:00:00:00:00:04", "rssi": -55, "channel": 11, "security": "wep",
         "password": "bytes-pass"},
        {"ssidHex": "fe41c3", "bssid": "aa:00:00:00:00:05", "rssi": -56, "channel": 11, "security": "wep",
         "password": "other-pass"},
        {"ssid": "del\x7f c1\x9b ls\u2028 nul\x00 tab\t lf\n zw\u200b\u00ad\U000e0041 \"q\\", "rssi": -60,
         "security": "wpaPersonal"},
        {"bssid": "aa:00:00:00:00:07", "rssi": -65, "channel": 149, "band": 50, "width": 80,
         "security": "wpa2wpa3Personal"},
        {"ssid": "W3", "bssid": "aa:00:00:00:00:08\x1b", "rssi": -70, "channel": 37, "band": 60, "width": 160,
         "security": "wpa3Personal", "countryCode": "DE"},
        {"ssid": "Corp", "bssid": "aa:00:00:00:00:09", "rssi": -75, "security": "enterprise"},
        {"ssid": "Odd", "bssid": "aa:00:00:00:00:0a", "rssi": -80, "securityCodes": []},
        {"ssid": "Caf\u00e9", "bssid": "aa:00:00:00:00:0b", "rssi": -85, "channel": 6, "security": "open"},
        {"ssidHex": "efbbbf4f6464", "bssid": "aa:00:00:00:00:0c", "rssi": -90, "security": "open"},
    ],
}


class Probe(OndrelCase):
    def probe(self, *args, scenario=ROOM, stdin=b""):
        status, out, err = self.ondrel("--probe", *args, scenario=scenario, stdin=stdin)
        return status, out.decode(), err.decode()

    def test_table_and_joins(self):
        rows = [  # arguments, standard input, status, what follows the table
            ([], b"", 0, ""),
            (["--password", "pw"], b"", 0, ""),  # joins nothing
            (["--connect"], b"", 0, ""),
            (["--connect", "Alpha", "--password", "strong-pass"], b"", 0, JOINED.format("Alpha")),
            (["--connect", "Alpha", "--password", "weak-pass"], b"", 1, FAILED.format("Alpha")),  # the stronger
            (["--connect", "Alpha"], b"", 0, JOINED.format("Alpha")),  # saved
            (["--connect", "Beta"], b"", 0, JOINED.format("Beta")),
            (["--password", "-", "--connect", "Gamma"], b"gamma-secret\r\n", 0, JOINED.format("Gamma")),
            (["--connect", "Gamma", "--password", "-"], b"gamma-secre\n", 1, FAILED.format("Gamma")),
            (["--connect", "alpha"], b"", 1, NOT_FOUND.format("alpha")),
            (["--connect", "(hidden)"], b"", 1, NOT_FOUND.format("(hidden)")),
        ]
        for args, stdin, status, tail in rows:
            with self.subTest(args=args):
                self.assertEqual(self.probe(*args, stdin=stdin), (status, TABLE + tail, STATUS))
                # A password shows up nowhere.
                logged = self.log.read_text(encoding="utf-8") if self.log.exists() else ""
                for secret in ["strong-pass", "weak-pass", "gamma-secre"]:
                    self.assertNotIn(secret, logged)

    def test_failures_and_permission(self):
        rows = [  # scenario, arguments, status, standard output, standard error
            ('{"interface": "wlan0"}', [], 0, HEADER + "計 0 件（* はシステムに登録済み）\n", STATUS),
            ('{"interface": "wlan0"}', ["--connect", "X"], 1,
             HEADER + "計 0 件（* はシステムに登録済み）\n" + NOT_FOUND.format("X"), STATUS),
            ('{"networks": [{"ssid": "A"}]}', ["--connect", "A"], 1, "", GRANTED +
             "インターフェース: なし / 電源: false / 接続中: なし\n失敗: Wi-Fi インターフェースが見つかりません。\n"),
            ('{"interface": "wlan1", "poweredOn": false}', [], 1, "",
             GRANTED + "インターフェース: wlan1 / 電源: false / 接続中: なし\n失敗: Wi-Fi がオフになっています。\n"),
            ('{"interface": "wlan1", "current": {"ssid": "Here"}, "scanError": {"code": 4, "description": '
             '"Scan busy"}}', [], 1, "", GRANTED + "インターフェース: wlan1 / 電源: true / 接続中: Here\n失敗: Scan busy\n"),
        ]
        for scenario, args, *expected in rows:
            with self.subTest(scenario=scenario, args=args):
                self.assertEqual(self.probe(*args, scenario=scenario), tuple(expected))
        # The location permission is awaited when the user is asked.
        for location, line in [('{"status": 0, "answer": 2, "answerDelayMs": 300}', "位置情報: 拒否"),
                               ('{"status": 1}', "位置情報: 制限あり"), ('{"status": 4}', "位置情報: 不明")]:
            status, _, err = self.probe(scenario='{"interface": "wlan0", "location": %s}' % location)
            self.assertEqual((status, err.splitlines()[0]), (0, line))
        # A scenario that cannot be read is said once, then there is no Wi-Fi.
        status, _, err = self.ondrel("--probe", env={"ONDREL_WIFI_SIMULATION": str(self.tmp / "missing.json")})
        self.assertEqual(status, 1)
        self.assertTrue(err.startswith(b"ondrel: cannot use the Wi-Fi simulation "), err)
        self.assertTrue(err.endswith("失敗: Wi-Fi インターフェースが見つかりません。\n".encode()), err)

    def test_hostile_names_in_the_table(self):
        status, out, err = self.probe(scenario=HOSTILE)
        self.assertEqual((status, raw_characters(out + err)), (0, []))
        self.assertTrue(err.endswith("接続中: \\u202eemoH\\u2066\n"), err)
        for row in ["*Home\\x1b[2J ", " \\xffA\\xc3 ", " \\xfeA\\xc3 ", " \\u202eemoH\\u2066 ", "aa:00:00:00:00:08\\x1b\n"]:
            self.assertIn(row, out)
        # By the raw name or the name as shown; a name that is not UTF-8 by
        # its own bytes (the other's password does not do).
        rows = [("Home\x1b[2J", "right", 0, JOINED.format("Home\\x1b[2J")),
                ("Home\\x1b[2J", "right", 0, JOINED.format("Home\\x1b[2J")),
                ("\\xffA\\xc3", "bytes-pass", 0, JOINED.format("\\xffA\\xc3")),
                ("\\xfeA\\xc3", "bytes-pass", 1, FAILED.format("\\xfeA\\xc3"))]
        for name, password, want, tail in rows:
            with self.subTest(name=name):
                status, joined, err = self.probe("--connect", name, "--password", password, scenario=HOSTILE)
                self.assertEqual(status, want)
                self.assertTrue(joined.endswith(tail), joined)
                self.assertEqual(raw_characters(joined + err), [])

    def test_json_report(self):
        status, out, _ = self.ondrel("--probe", "--json", scenario=HOSTILE)
        doc = self.document(out, "ondrel-probe/1")
        networks = doc["networks"]
        # The table's order, every record, every kind; the exact names back,
        # names whose text loses bytes with the bytes.
        self.assertEqual((status, [n["rssi"] for n in networks]), (0, [n["rssi"] for n in HOSTILE["networks"]]))
        self.assertEqual({n["security"] for n in networks}, set(SCHEMA["$defs"]["security"]["enum"]))
        self.assertEqual([n["ssid"] for n in networks if not n["ssidHex"]],
                         [n.get("ssid") for n in HOSTILE["networks"] if "ssidHex" not in n])
        self.assertEqual([n["ssidHex"] for n in networks], [n.get("ssidHex") for n in HOSTILE["networks"]])
        self.assertTrue(networks[3]["ssid"] == "\ufffdA\ufffd" and networks[-1]["ssid"].endswith("Odd"))
        self.assertEqual([n["bssid"][-2:] for n in networks if n["saved"]], ["01", "02", "0b"])
        self.assertEqual([n["bssid"] for n in networks if n["current"]], ["aa:00:00:00:00:03"])
        self.assertEqual((networks[6]["band"], networks[6]["widthMHz"], networks[7]["countryCode"]),
                         ("5GHz", 80, "DE"))
        self.assertEqual(doc["interface"]["current"]["ssid"], "\u202eemoH\u2066")
        self.assertEqual((doc["scan"], doc["join"]), ({"outcome": "ok", "error": None}, None))
        rows = [  # arguments, status, outcome, error code
            (["--connect", "Home\x1b[2J", "--password", "right"], 0, "ok", None),
            (["--connect", "Home\\x1b[2J", "--password", "wrong"], 1, "failed", 7),
            (["--connect", "Nowhere"], 1, "notFound", None),
        ]
        for args, want_status, outcome, code in rows:
            with self.subTest(args=args):
                status, out, _ = self.ondrel("--probe", "--json", *args, scenario=HOSTILE)
                join = self.document(out, "ondrel-probe/1")["join"]
                self.assertEqual((status, join["outcome"], join["target"]), (want_status, outcome, args[1]))
                self.assertEqual(join["error"] and join["error"]["code"], code)
                if outcome == "ok":
                    self.assertEqual((join["bssid"], join["current"]), ("aa:00:00:00:00:01", "Home\x1b[2J"))
        scenario = dict(HOSTILE, scanError={"domain": "test.domain", "code": 42, "description": "radio\x1b broke"})
        status, out, _ = self.ondrel("--probe", "--json", scenario=scenario)
        doc = self.document(out, "ondrel-probe/1")
        self.assertEqual((status, doc["networks"]), (1, []))
        self.assertEqual(doc["scan"], {"outcome": "failed", "error": {"domain": "test.domain", "code": 42,
                                                                       "description": "radio\x1b broke"}})


if __name__ == "__main__":
    unittest.main()
