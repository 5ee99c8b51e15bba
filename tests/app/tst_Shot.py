#!/usr/bin/env python3
"""--shot --json: the picture, then what its window gives a screen reader, read
here for the figures the rows and the current network's card show."""
import json
import re
import unittest

from ondrel_run import OndrelCase

# Levels that differ by more than the rounding of any unit, one above -40 dBm,
# the current network the weaker of two access points of its name, noise that
# differs per network, and a name with a bidirectional override and a control.
ROOM = {
    "interface": "wlan0", "saved": ["Home"],
    "current": {"ssid": "Home", "bssid": "aa:00:00:00:00:0b"},
    "networks": [
        {"ssid": "Home", "bssid": "aa:00:00:00:00:01", "rssi": -33, "channel": 36, "noise": -95,
         "security": "wpa2Personal", "width": 80, "countryCode": "DE"},
        {"ssid": "Home", "bssid": "aa:00:00:00:00:0b", "rssi": -47, "channel": 1, "noise": -91,
         "security": "wpa2Personal"},
        {"ssid": "Cafe", "bssid": "aa:00:00:00:00:02", "rssi": -58, "channel": 6, "noise": -92,
         "security": "open", "stationCount": 7, "utilization": 40},
        {"ssid": "\u202eevil\x1b[2J", "bssid": "aa:00:00:00:00:03", "rssi": -71, "channel": 11, "noise": -89,
         "security": "owe"},
    ],
}
ISOLATED = re.compile("^\u2068(.*)\u2069(, |\u3001)")
# How the window shows the hostile name: each escape kept apart from the text around it.
HOSTILE = "\u2066\\u202e\u2069evil\u2066\\x1b\u2069[2J"


class Shot(OndrelCase):
    def shot(self, *args):
        status, out, err = self.finish(self.start("--shot", str(self.tmp / "w.png"), *args, "--json", scenario=ROOM))
        self.assertEqual(status, 0, err)
        doc = self.document(out, "ondrel-shot/1")
        self.assertEqual(doc["file"], str(self.tmp / "w.png"))
        self.assertEqual((self.tmp / "w.png").read_bytes()[:8], b"\x89PNG\r\n\x1a\n")
        return doc

    def rows(self, doc):
        """{shown name: description's first line} of the list's rows, in order."""
        items = [e for e in doc["elements"] if e["role"] == "ListItem"]
        return {ISOLATED.match(e["name"]).group(1): e["description"].split("\n")[0] for e in items}

    def test_the_rows_and_the_card_carry_the_figures_that_are_drawn(self):
        doc = self.shot("--lang", "en")
        self.assertEqual((doc["width"], doc["height"]), (860, 620))
        # Depth first: the window alone at 0, each element one below the last
        # element above it that is one level up, the rows right below their list.
        elements = doc["elements"]
        depths = [e["depth"] for e in elements]
        self.assertEqual((depths[0], depths[1:].count(0)), (0, 0))
        self.assertTrue(all(0 < b <= a + 1 for a, b in zip(depths, depths[1:])), depths)
        [listed] = [i for i, e in enumerate(elements) if e["role"] == "List"]
        self.assertEqual({e["depth"] for e in elements if e["role"] == "ListItem"}, {depths[listed] + 1})
        self.assertGreater(depths[listed], 1)
        # Hidden widgets are not listed: the empty list's message and button wait behind the rows.
        self.assertEqual([e for e in elements if e["name"] in ("No networks found.", "Scan Again")], [])
        rows = self.rows(doc)
        # One row per name, strongest first; the row has its strongest access point's figures.
        self.assertEqual(list(rows), ["Home", "Cafe", HOSTILE])
        self.assertTrue(rows["Home"].startswith("-33 dBm · 5 GHz · WPA2 · ch 36 · 80 MHz · 2 APs · S/N 62 dB · Country DE"),
                        rows["Home"])
        self.assertTrue(rows["Cafe"].startswith("-58 dBm · 2.4 GHz · Open · ch 6 ") and "S/N 34 dB" in rows["Cafe"]
                        and "7 clients · Load 40%" in rows["Cafe"] and rows[HOSTILE].startswith("-71 dBm · "), rows)
        # The card: the access point joined, not the name's strongest one.
        [card] = [e["name"] for e in doc["elements"] if e["role"] == "StaticText" and e["name"].startswith("Connected")]
        self.assertTrue("-47 dBm" in card and "S/N 44 dB" in card, card)
        # Nothing a name holds reaches the reader raw.
        texts = json.dumps(doc["elements"], ensure_ascii=False)
        self.assertEqual([c for c in "\u202e\x1b" if c in texts], [])

    def test_the_window_and_its_language_are_the_ones_asked_for(self):
        doc = self.shot("--lang", "ja", "--speed")
        self.assertEqual((doc["width"], doc["height"]), (460, 620))
        self.assertFalse([e for e in doc["elements"] if e["role"] == "ListItem"])
        names = " ".join(e["name"] for e in doc["elements"])
        self.assertRegex(names, "[\u3040-\u30ff]")  # kana: Japanese, although the report is JSON
        main = self.shot("--lang", "ja")
        self.assertTrue(self.rows(main)["Cafe"].startswith("-58 dBm"))

    def test_a_file_that_cannot_be_written_prints_no_report(self):
        status, out, err = self.finish(self.start("--shot", str(self.tmp / "no" / "w.png"), "--json", scenario=ROOM))
        self.assertEqual((status, out, str(self.tmp / "no" / "w.png") in err.decode()), (1, b"", True), err)


if __name__ == "__main__":
    unittest.main()
