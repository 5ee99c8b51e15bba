#!/usr/bin/env python3
"""--probe as a user runs it: the network table and joins, then hostile names
in the table and in the JSON report, joins by name (--hidden) and enterprise
networks, which are never joined."""
import unittest

from ondrel_run import OndrelCase, raw_characters

# A hidden network, two of one name, a name that is not UTF-8, a byte-order
# mark, C0, DEL, C1, bidi and invisible format characters, a line feed and the
# line separator (tests/wifi/tst_SsidText holds the escapes' rules).
ROOM = {
    # Current: the second of two access points of one name, its BSSID in capitals
    # (NetworkManager's case; the kernel's link has small letters).
    "interface": "wlan0", "saved": ["Home\x1b[2J", "Caf\u00e9"],
    "current": {"ssid": "Home\x1b[2J", "bssid": "AA:00:00:00:00:0A"},
    "networks": [
        {"ssid": "Home\x1b[2J", "bssid": "aa:00:00:00:00:01", "rssi": -40, "channel": 36,
         "security": "wpa2Personal", "password": "right-pass"},
        {"ssid": "Caf\u00e9", "bssid": "aa:00:00:00:00:02", "rssi": -45, "channel": 1, "security": "open"},
        {"ssid": "\u202eemoH\u2066", "bssid": "aa:00:00:00:00:03", "rssi": -50, "channel": 6, "security": "owe"},
        {"ssidHex": "ff41c3", "bssid": "aa:00:00:00:00:04", "rssi": -55, "channel": 11, "security": "wep",
         "password": "bytes-pass"},
        {"ssid": "del\x7f c1\x9b ls\u2028 nul\x00 tab\t lf\n zw\u200b\u00ad\U000e0041 \"q\\", "rssi": -60,
         "security": "wpaPersonal"},
        {"bssid": "aa:00:00:00:00:07\x1b", "rssi": -65, "channel": 37, "band": 60, "width": 160,
         "security": "wpa3Personal", "countryCode": "DE", "noise": -90, "stationCount": 3, "utilization": 62},
        {"ssidHex": "efbbbf4f6464", "bssid": "aa:00:00:00:00:09", "rssi": -80, "securityCodes": []},
        {"ssid": "Home\x1b[2J", "bssid": "aa:00:00:00:00:0a", "rssi": -95, "channel": 11,
         "security": "wpa2Personal", "password": "weak-pass"},
    ],
}
HEADER = "SSID                                RSSI    ch Band       Security         BSSID\n"
TABLE = (HEADER +
         "*Home\\x1b[2J                      -40 dBm   36 5 GHz      WPA2             aa:00:00:00:00:01\n"
         "*Café                             -45 dBm    1 2.4 GHz    Open             aa:00:00:00:00:02\n"
         " \\u202eemoH\\u2066                 -50 dBm    6 2.4 GHz    OWE              aa:00:00:00:00:03\n"
         " \\xffA\\xc3                        -55 dBm   11 2.4 GHz    WEP              aa:00:00:00:00:04\n"
         ' del\\x7f c1\\u009b ls\\u2028 nul\\x00 tab\\x09 lf\\x0a zw\\u200b\\u00ad\\U000e0041 "q\\\\  -60 dBm    0 不明         '
         "WPA              \n"
         " (hidden)                         -65 dBm   37 6 GHz      WPA3             aa:00:00:00:00:07\\x1b\n"
         " \\ufeffOdd                        -80 dBm    0 不明         Unknown          aa:00:00:00:00:09\n"
         "*Home\\x1b[2J                      -95 dBm   11 2.4 GHz    WPA2             aa:00:00:00:00:0a\n"
         "計 8 件（* はシステムに登録済み）\n")
STATUS = "位置情報: 許可済み\nインターフェース: wlan0 / 電源: true / 接続中: Home\\x1b[2J\n"
FAILED = "接続します: {0}\n失敗: Secrets were required, but not provided.（コード 7）\n"
JOINED = "接続します: {0}\n成功。現在の接続先: {0}\n"
NOT_FOUND = "「{0}」は見つかりませんでした\n"


class Probe(OndrelCase):
    def test_table_joins_and_failures(self):
        home = "Home\\x1b[2J"  # as shown

        def room(args, status, tail, stdin=b""):
            return ROOM, args, stdin, status, TABLE + tail, STATUS

        # The location permission is awaited when the user is asked.
        asked = '"location": {"status": 0, "answer": 2, "answerDelayMs": 50}'
        rows = [  # scenario, arguments, standard input, status, standard output, standard error
            room([], 0, ""),
            room(["--password", "pw", "--connect"], 0, ""),  # joins nothing
            room(["--connect", "Home\x1b[2J", "--password", "right-pass"], 0, JOINED.format(home)),
            room(["--connect", home, "--password", "weak-pass"], 1, FAILED.format(home)),  # the stronger
            room(["--password", "-", "--connect", "\\xffA\\xc3"], 0, JOINED.format("\\xffA\\xc3"), b"bytes-pass\r\n"),
            room(["--connect", "café"], 1, NOT_FOUND.format("café")),
            room(["--connect", "(hidden)"], 1, NOT_FOUND.format("(hidden)")),
            ('{"interface": "wlan0", %s}' % asked, [], b"", 0, HEADER + "計 0 件（* はシステムに登録済み）\n",
             "位置情報: 拒否\nインターフェース: wlan0 / 電源: true / 接続中: なし\n"),
            *[('{"interface": "wlan0", "location": {"status": %d}}' % status, [], b"", 0,
               HEADER + "計 0 件（* はシステムに登録済み）\n",
               f"位置情報: {word}\nインターフェース: wlan0 / 電源: true / 接続中: なし\n")
              for status, word in [(1, "制限あり"), (7, "不明")]],
            ('{"interface": "wlan1", "current": {"ssid": "Here"}, "scanError": {"code": 4, "description": "Busy"}}',
             [], b"", 1, "", "位置情報: 許可済み\nインターフェース: wlan1 / 電源: true / 接続中: Here\n失敗: Busy\n"),
        ]
        runs = self.ondrel_all([(["--probe", *args], {"scenario": sc, "stdin": stdin}) for sc, args, stdin, *_ in rows])
        for (_, args, _, *expected), (status, out, err) in zip(rows, runs):
            self.assertEqual((status, out.decode(), err.decode()), tuple(expected), args)
        self.assertEqual(raw_characters(TABLE + STATUS), [])

    def test_json_report(self):
        scanless = dict(ROOM, scanError={"domain": "test.domain", "code": 42, "description": "radio\x1b broke"})
        joined, wrong, unknown, failed, *located = [(status, self.document(out, "ondrel-probe/1")) for status, out, _ in self.ondrel_all([
            (["--probe", "--json", "--connect", "Home\x1b[2J", "--password", "right-pass"], {"scenario": ROOM}),
            (["--probe", "--json", "--connect", "Home\\x1b[2J", "--password", "wrong"], {"scenario": ROOM}),
            (["--probe", "--json", "--connect", "café"], {"scenario": ROOM}),
            (["--probe", "--json"], {"scenario": scanless}),
            *[(["--probe", "--json"], {"scenario": dict(ROOM, location={"status": status})}) for status in (1, 7)]])]
        self.assertEqual([doc["location"] for _, doc in [joined, *located]], ["authorized", "restricted", "unknown"])
        networks = joined[1]["networks"]
        # The table's order, every record, every kind; the exact names back,
        # names whose text loses bytes with the bytes.
        self.assertEqual([(n["rssi"], None if n["ssidHex"] else n["ssid"], n["ssidHex"]) for n in networks],
                         [(n["rssi"], n.get("ssid"), n.get("ssidHex")) for n in ROOM["networks"]])
        self.assertEqual((joined[0], networks[3]["ssid"], networks[6]["ssid"]), (0, "\ufffdA\ufffd", "\ufeffOdd"))
        self.assertEqual([n["bssid"][15:] + "*" * n["saved"] + "<" * n["current"] for n in networks if n["bssid"]],
                         ["01*", "02*", "03", "04", "07\x1b", "09", "0a*<"])  # saved *, current <
        self.assertEqual([networks[5][k] for k in ["band", "widthMHz", "countryCode", "noise", "stationCount",
                                                   "utilization"]], ["6GHz", 160, "DE", -90, 3, 62])
        # Each figure's source: the simulation's where it gives one, null where none is reported.
        sim = "simulation"
        self.assertEqual([networks[i]["sources"] for i in (5, 0)],
                         [{"rssi": sim, "noise": sim, "widthMHz": sim, "countryCode": sim, "load": sim},
                          {"rssi": sim, "noise": None, "widthMHz": None, "countryCode": None, "load": None}])
        self.assertEqual([networks[0][k] for k in ["stationCount", "utilization"]], [None, None])
        current = joined[1]["interface"]["current"]
        self.assertEqual((current["noise"], current["sources"], current["ssid"], joined[1]["scan"]),
                         (0, {"rssi": sim, "noise": None}, "Home\x1b[2J", {"outcome": "ok", "error": None}))
        self.assertEqual({k: joined[1]["join"][k] for k in ["outcome", "target", "error", "bssid", "current"]},
                         {"outcome": "ok", "target": "Home\x1b[2J", "error": None, "bssid": "aa:00:00:00:00:01",
                          "current": "Home\x1b[2J"})
        join = wrong[1]["join"]
        self.assertEqual((wrong[0], join["outcome"], join["target"], join["error"]["code"]),
                         (1, "failed", "Home\\x1b[2J", 7))
        self.assertEqual((unknown[0], unknown[1]["join"]),
                         (1, {"target": "café", "bssid": None, "outcome": "notFound", "error": None, "current": None,
                              "hidden": False, "security": None}))
        self.assertEqual((failed[0], failed[1]["networks"], failed[1]["scan"]),
                         (1, [], {"outcome": "failed", "error": scanless["scanError"]}))

    def test_hidden_and_enterprise(self):
        room = {"interface": "wlan0", "networks": [
            {"bssid": "aa:00:00:00:00:21", "hiddenSsid": "Den\x1b", "rssi": -40, "security": "wpa3Personal",
             "password": "den-pass"},
            {"bssid": "aa:00:00:00:00:22", "hiddenSsid": "Loft", "rssi": -50, "security": "wpa2wpa3Personal",
             "password": "loft-pass"},
            {"bssid": "aa:00:00:00:00:23", "hiddenSsid": "Porch", "rssi": -55},
            {"ssid": "Campus", "bssid": "aa:00:00:00:00:24", "rssi": -60, "security": "enterprise"}]}
        den, missing = "Den\\x1b", "失敗: The Wi-Fi network could not be found.（コード 53）\n"
        rows = [  # arguments, standard input, status, standard output after the table (None: no table)
            (["--connect", "Den\x1b", "--hidden", "--security", "wpa3", "--password", "den-pass"], b"", 0,
             JOINED.format(den)),
            (["--connect", "Den\x1b", "--hidden", "--password", "den-pass"], b"", 1,  # wpa2: no SAE
             f"接続します: {den}\n" + missing),
            (["--hidden", "--password", "-", "--connect", "Loft"], b"loft-pass\n", 0, JOINED.format("Loft")),
            (["--connect", "Loft", "--hidden"], b"", 1, "接続します: Loft\n" + missing),  # open
            (["--connect", "Porch", "--hidden"], b"", 0, JOINED.format("Porch")),
            (["--connect", "Campus", "--password", "x"], b"", 1,
             "「Campus」は企業向け（802.1X）のネットワークです。システム設定の Wi-Fi から接続してください\n"),
            (["--connect", "x" * 32, "--hidden"], b"", 1, f"接続します: {'x' * 32}\n" + missing),  # the longest name
            (["--connect", "Loft", "--hidden", "--security", "wpa4"], b"", 1, None),
            (["--connect", "x" * 33, "--hidden"], b"", 1, None),
        ]
        runs = self.ondrel_all([(["--probe", *args], {"scenario": room, "stdin": stdin}) for args, stdin, *_ in rows])
        for (args, _, *expected), (status, out, err) in zip(rows, runs):
            table, _, tail = out.decode().partition("計 4 件（* はシステムに登録済み）\n")
            self.assertEqual((status, tail if table else None), tuple(expected), args)
        self.assertEqual([runs[-2][2].decode(), runs[-1][2].decode()],
                         ["不明なセキュリティ: wpa4（open、owe、wep、wpa、wpa2、wpa2wpa3、wpa3 のいずれか）\n",
                          "ネットワーク名は 1〜32 バイトです（33 バイト）\n"])

        reports = [(status, self.document(out, "ondrel-probe/1")["join"]) for status, out, _ in self.ondrel_all([
            (["--probe", "--json", "--connect", "Den\x1b", "--hidden", "--security", "wpa3", "--password", "den-pass"],
             {"scenario": room}),
            (["--probe", "--json", "--connect", "Loft", "--hidden", "--password", "loft-pass"], {"scenario": room}),
            (["--probe", "--json", "--connect", "Loft", "--hidden"], {"scenario": room}),
            (["--probe", "--json", "--connect", "Campus"], {"scenario": room})])]
        keys = ["outcome", "bssid", "current", "hidden", "security"]
        self.assertEqual([(status, *[join[k] for k in keys], join["error"] and join["error"]["code"])
                          for status, join in reports],
                         [(0, "ok", None, "Den\x1b", True, "wpa3Personal", None),
                          (0, "ok", None, "Loft", True, "wpa2Personal", None),
                          (1, "failed", None, None, True, "open", 53),
                          (1, "enterprise", "aa:00:00:00:00:24", None, False, "enterprise", 4)])
        self.assertEqual(reports[3][1]["error"], {"domain": "ondrel.WiFiError", "code": 4, "description":
                                                  "Join enterprise (802.1X) networks from Wi-Fi in System Settings."})


if __name__ == "__main__":
    unittest.main()
