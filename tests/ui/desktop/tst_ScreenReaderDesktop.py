#!/usr/bin/env python3
"""What a screen reader gets from the program through the accessibility bus:
the speed test's figures, progress and end, banners read out as alerts, a
name and a fitting role for every control and window, no markup or key names
read out, and row objects that stay with their networks."""
from desktop import DesktopCase, demo, find, find_all, has, main, plain, related, value_of

# Roles a user acts on: each needs a name of its own.
CONTROLS = {"push button", "toggle button", "check box", "text", "password text", "combo box", "list",
            "table", "page tab", "menu item", "check menu item", "radio menu item", "progress bar", "slider"}


class ScreenReader(DesktopCase):
    def open_main(self, app):
        window = app.window("Ondrel")
        app.wait_focus("the search field", lambda r, n: r == "text")
        return window

    def test_the_speed_test_shows_its_figures_progress_and_end(self):
        server = self.speed_server()
        app = self.launch(env={"ONDREL_SPEEDTEST_URL": server.url, "ONDREL_SPEEDTEST_DURATION": "1"})
        self.open_main(app)
        app.press("ctrl+t", focus=lambda r, n: n == "Start Test", what="Start Test in the speed test window")
        dialog = app.window("Speed Test")
        progress = find(dialog, role="progress bar")
        self.assertEqual(plain(progress.name), "Speed Test")
        alerts = len(self.desktop.alerts)
        app.press("Return")
        self.desktop.wait("the progress bar moving", lambda: 0 < value_of(progress) < 1000)
        finished = self.desktop.wait("the end of the test read out", lambda: next(
            (name for role, name in self.desktop.alerts[alerts:] if name.startswith("The test finished: download ")),
            None), timeout=60)
        # Each figure is a label of its own, named by its value and labelled by its row's label.
        for row in ("Download", "Upload", "Latency", "Jitter", "Data used"):
            label = find(dialog, role="label", name=row)
            values = related(label, "label for")
            self.assertEqual(len(values), 1, row)
            value = plain(values[0].name)
            self.assertRegex(value, r"^[0-9.,]+ (Mbps|ms|MB)$", row)
            if row in ("Download", "Upload", "Latency", "Jitter"):
                self.assertIn(value, finished, row)
        self.assertNotIn(plain(find(dialog, role="label", contains="Mbps · ").name), ("", "Mbps · Not measured yet"))

        # A failed test is read out with its reason, as the note shows it.
        server.failing = True
        alerts = len(self.desktop.alerts)
        app.press("Return")
        failure = self.desktop.wait("the failure read out", lambda: next(
            (name for role, name in self.desktop.alerts[alerts:]), None), timeout=30)
        self.assertIn("503", failure)
        self.assertIsNotNone(find(dialog, role="label", name=failure))

    def test_banners_are_read_out(self):
        # The radio is off: the status banner is an alert.
        app = self.launch(demo({"poweredOn": False}))
        window = self.open_main(app)
        banner = find(window, role="alert")
        self.assertEqual(plain(banner.name), "Wi-Fi is turned off.")
        app.quit()
        # A join that fails: its banner appears and is read out.
        app = self.launch()
        window = self.open_main(app)
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=lambda r, n: r == "list item")
        app.press("Down", "Down", focus=lambda r, n: n.startswith("Neighbour 5G,"))
        app.press("Return", focus=lambda r, n: r == "password text")
        app.desktop.type("neighbour")
        alerts = len(self.desktop.alerts)
        app.press("Return")
        message = "“Neighbour 5G” refused the connection or timed out. Check that you are in range."
        self.desktop.wait("the failure's banner read out", lambda: ("alert", message) in self.desktop.alerts[alerts:])
        self.assertEqual(plain(find(window, role="alert").name), message)

    def test_every_control_and_window_has_a_name_and_a_role(self):
        app = self.launch(history=[{"id": "6f0c1c2e-0000-4000-8000-000000000001", "date": "2026-12-01T10:00:00Z",
                                    "ssid": "<b>Home</b>", "bssid": "a4:2b:b0:10:00:01", "rssi": -50, "band": 50,
                                    "channel": 36, "downloadMbps": 300.0, "uploadMbps": 80.0, "latencyMs": 14,
                                    "jitterMs": 3, "bytes": 100000000}])
        self.open_main(app)
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=lambda r, n: r == "list item")
        app.press("Down", focus=lambda r, n: n.startswith("Aurora 6G,"))
        app.press("Return", focus=lambda r, n: r == "password text" and n == "Password")
        self.check_windows(app, {"Ondrel": "frame", "Password": "dialog"})
        app.press("Escape", focus=lambda r, n: r == "list item")
        app.press("ctrl+t", focus=lambda r, n: n == "Start Test")
        self.check_windows(app, {"Speed Test": "dialog"})
        app.press("Escape")
        app.press("ctrl+y", focus=lambda r, n: n == "Export CSV…")
        self.assertEqual(find(app.window("Speed Test History"), role="table").name, "Speed Test History")
        self.check_windows(app, {"Speed Test History": "frame"})
        app.press("Escape")
        app.press("ctrl+comma", focus=lambda r, n: r == "page tab")
        for page in ("General", "List", "About"):
            self.check_windows(app, {"Settings": "frame"})
            app.press("Right")
        # The search field's clear button.
        app.press("Escape", "ctrl+f", focus=lambda r, n: n == "Filter by name")
        self.assertIsNotNone(find(app.window("Ondrel"), role="push button", name="Clear Search", showing=False))

    def check_windows(self, app, expected):
        for name, role in expected.items():
            window = app.window(name)
            self.assertEqual(window.getRoleName(), role, name)
            for o in find_all(window, lambda o: True):
                what = f"{o.getRoleName()} “{plain(o.name)}” in {name}"
                self.assertNotIn("\t", o.name, what)
                self.assertNotRegex(o.description or "", r"<[a-z/][^>]*>", what)
                if o.getRoleName() in CONTROLS and has(o, "showing") and o.getRoleName() != "list":
                    self.assertTrue(plain(o.name).strip(), f"an unnamed {what}")
            for lst in find_all(window, lambda o: o.getRoleName() in ("list", "table")
                                and o.parent.getRoleName() != "combo box"):
                self.assertTrue(plain(lst.name), f"an unnamed {lst.getRoleName()} in {name}")

    def test_rows_keep_their_objects_when_the_list_changes(self):
        app = self.launch()
        self.open_main(app)
        before = {plain(r.name).split(",")[0]: r.path for r in app.rows()}
        # A search leaves one row, clearing it brings the others back: the
        # rows that stay are the same objects for a screen reader throughout.
        self.desktop.type("caf")
        self.desktop.wait("one row", lambda: len(app.rows()) == 1)
        self.assertEqual(app.rows()[0].path, before["Cafe Libre"])
        app.press("Escape")
        self.desktop.wait("every row back", lambda: len(app.rows()) == len(before))
        self.assertEqual(app.row("Cafe Libre").path, before["Cafe Libre"])

if __name__ == "__main__":
    main()
