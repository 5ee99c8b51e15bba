#!/usr/bin/env python3
"""The program with the keyboard alone, in a real X session: Tab and the
arrows, Return on buttons, the history's Delete and its windows' Escape and
Ctrl+W, the focus kept when the list reorders, and one run through join, speed
test, export and a setting without the pointer. The focus is checked after
every step through the accessibility bus."""
import json

from desktop import DesktopCase, demo, find, find_all, has, label_of, main, plain


def measurements(count, ssid="Ondrel-Home"):
    """`count` stored results of `ssid`, one a day, newest last; the download
    (300 + day) tells them apart."""
    return [{"id": f"6f0c1c2e-0000-4000-8000-{i:012d}", "date": f"2026-12-{i + 1:02d}T10:00:00Z", "ssid": ssid,
             "bssid": "a4:2b:b0:10:00:01", "rssi": -50 - i, "band": 50, "channel": 36, "downloadMbps": 300.0 + i,
             "uploadMbps": 80.0, "latencyMs": 14, "jitterMs": 3, "bytes": 100000000} for i in range(count)]


def is_row(network):
    return lambda role, name: role == "list item" and name.startswith(network + ",")


def button(name):
    return lambda role, n: role == "push button" and n == name


def cell(text=None):
    return lambda role, name: role == "table cell" and (text is None or name == text)


class Keyboard(DesktopCase):
    def main_window(self, app):
        """The main window with the focus in its search field, as it opens."""
        app.window("Ondrel")
        app.wait_focus("the search field", lambda r, n: r == "text" and n == "Filter by name")

    def stored_downloads(self, app):
        return sorted(e["downloadMbps"] for e in json.loads(app.history_file.read_text(encoding="utf-8")))

    def test_history_lets_tab_go_and_closes_by_its_keys(self):
        app = self.launch(history=measurements(3))
        self.main_window(app)
        for close in ("Escape", "ctrl+w"):
            app.press("ctrl+y", focus=button("Export CSV…"), what="the history's first control")
            app.press("Tab", focus=button("Clear All"))
            app.press("Tab", focus=lambda r, n: r in ("table", "table cell"), what="the table")
            # Tab leaves the table rather than walking its cells.
            app.press("Tab", focus=button("Export CSV…"), what="the control after the table")
            app.press(close, focus=lambda r, n: r == "text" and n == "Filter by name",
                      what=f"the main window again after {close}")
            self.assertFalse([w for w in app.windows() if plain(w.name) == "Speed Test History"])

    def test_return_presses_the_focused_button(self):
        app = self.launch(demo(delays={"scanMs": 300}))
        self.main_window(app)
        window = app.window("Ondrel")
        scan = find(window, role="push button", name="Scan")
        self.desktop.wait("the first scan's end", lambda: has(scan, "sensitive"))
        # The toolbar's Scan: a tool button.
        app.press("Tab", "Tab", "Tab", focus=button("Scan"))
        app.press("Return")
        self.desktop.wait("a scan started by Return on Scan",
                          lambda: not has(find(window, role="push button", name="Scan"), "sensitive"))
        self.desktop.wait("the scan's end", lambda: has(find(window, role="push button", name="Scan"), "sensitive"))
        # The card's Disconnect: a push button in a window.
        app.press("Tab", focus=button("Disconnect"))
        app.press("Return")
        self.desktop.wait("“Not connected” on the card after Return on Disconnect",
                          lambda: find(window, role="label", name="Not connected"))
        # Disconnect has gone: the list has the focus.
        app.wait_focus("the list once Disconnect has gone", is_row("Ondrel-Home"))
        # In the password sheet, Return on Cancel cancels: it does not join.
        app.press("Down", focus=is_row("Aurora 6G"))
        app.press("Return", focus=lambda r, n: r == "password text" and n == "Password",
                  what="the password field of the sheet")
        app.desktop.type("aurora-borealis")
        app.press("Tab", "Tab", focus=button("Cancel"))
        app.press("Return", focus=is_row("Aurora 6G"), what="the row again once the sheet is cancelled")
        self.assertIsNone(find(window, role="label", name="Aurora 6G"))
        self.assertIsNotNone(find(window, role="label", name="Not connected"))

    def test_shortcuts_reach_the_window_from_the_search_field_under_a_windows_key_scheme(self):
        # qt6ct with the Windows key scheme: there, Ctrl+Y is an editing key (Redo).
        conf = "[Interface]\nkeyboard_scheme=0\n"
        app = self.launch(history=measurements(1), env={"QT_QPA_PLATFORMTHEME": "qt6ct"},
                          config={"qt6ct/qt6ct.conf": conf})
        self.main_window(app)
        app.desktop.type("home")
        for keys, window in (("ctrl+y", "Speed Test History"), ("ctrl+t", "Speed Test")):
            app.press(keys)
            app.window(window)
            app.press("Escape", focus=lambda r, n: r == "text", what="the search field again")

    def test_the_focus_stays_on_its_network_when_the_list_reorders(self):
        app = self.launch()
        self.main_window(app)
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=lambda r, n: r == "list item", what="the list")
        for _ in range(5):
            app.press("Down")
        cafe = app.wait_focus("Cafe Libre", is_row("Cafe Libre"))
        path, index = cafe.path, cafe.getIndexInParent()
        # The context menu from the keyboard: favourites go to the top.
        app.press("Menu", focus=lambda r, n: r == "menu item", what="the row's context menu")
        app.press("Return")
        moved = app.wait_focus("Cafe Libre, now a favourite",
                               lambda r, n: r == "list item" and n.startswith("Cafe Libre,") and "Favorite" in n)
        self.assertLess(moved.getIndexInParent(), index)
        # The same object for screen readers, only moved.
        self.assertEqual(moved.path, path)
        app.press("Down", focus=lambda r, n: r == "list item" and not n.startswith("Cafe Libre,"),
                  what="the row below Cafe Libre")

    def test_delete_acts_on_the_selected_rows(self):
        app = self.launch(history=measurements(4))
        self.main_window(app)
        app.press("ctrl+y", focus=button("Export CSV…"))
        app.press("Tab", "Tab", focus=cell(), what="the table")
        # The newest row selected, then the focus moved down without selecting.
        app.press("Down", focus=cell("3 Dec 2026 10:00"))
        app.press("ctrl+Down", focus=cell("2 Dec 2026 10:00"))
        table = find(app.window("Speed Test History"), role="table")
        app.press("Delete")
        self.desktop.wait("the selected row (302 Mbps) deleted",
                          lambda: self.stored_downloads(app) == [300.0, 301.0, 303.0])
        self.desktop.wait("three rows left", lambda: len(find_all(table, lambda o: o.getRoleName() == "table cell"))
                          == 3 * table.queryTable().nColumns)
        app.wait_focus("a row of the table", cell())
        # The row after the deleted one is the selection now (2 Dec). The
        # context menu opened from the keyboard on another row acts on it.
        app.press("ctrl+Home", focus=cell("4 Dec 2026 10:00"))
        app.press("Menu", focus=lambda r, n: r == "menu item" and n == "Delete Measurement")
        app.press("Return")
        self.desktop.wait("the selected row deleted, not the focused one",
                          lambda: self.stored_downloads(app) == [300.0, 303.0])
    def test_the_whole_program_by_keyboard(self):
        """Join a network, run a speed test, export the history and change a
        setting, with keys alone."""
        server = self.speed_server()
        # Three seconds of measuring: a test of one can end on a loaded machine before the focus is
        # looked at again, and Stop is then never seen.
        app = self.launch(env={"ONDREL_SPEEDTEST_URL": server.url, "ONDREL_SPEEDTEST_DURATION": "3"})
        self.main_window(app)
        window = app.window("Ondrel")
        # Join Aurora 6G with its password.
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=is_row("Ondrel-Home"), what="the list")
        app.press("Down", focus=is_row("Aurora 6G"))
        app.press("Return", focus=lambda r, n: r == "password text" and n == "Password")
        self.desktop.type("aurora-borealis")
        app.press("Return", focus=is_row("Aurora 6G"), what="the list once the sheet has closed")
        self.desktop.wait("Aurora 6G on the card", lambda: find(window, role="label", name="Aurora 6G"))
        # A speed test of it, read out when it ends.
        app.press("ctrl+t", focus=button("Start Test"))
        alerts = len(self.desktop.alerts)
        app.press("Return", focus=button("Stop"), what="Stop while the test runs")
        self.desktop.wait("the end of the test read out", lambda: any(
            name.startswith("The test finished") for _, name in self.desktop.alerts[alerts:]), timeout=60)
        app.wait_focus("Start Test again", button("Start Test"))
        app.press("Escape", focus=is_row("Aurora 6G"), what="the main window's list again")
        # The history, exported through the file dialog.
        app.press("ctrl+y", focus=button("Export CSV…"))
        target = app.dir / "exported.csv"
        app.press("Return", focus=lambda r, n: r == "text", what="the file dialog's name field")
        self.desktop.key("ctrl+a")
        self.desktop.type(str(target))
        app.press("Return", focus=button("Export CSV…"), what="the history once the dialog has closed")
        self.desktop.wait("the exported file", lambda: target.exists())
        rows = target.read_text(encoding="utf-8-sig").splitlines()
        self.assertEqual(len(rows), 2)
        self.assertIn("Aurora 6G", rows[1])
        history = app.window("Speed Test History")
        self.assertIsNotNone(find(history, role="label", name=f"Exported to {target}."))
        app.press("Escape", focus=is_row("Aurora 6G"))
        # A setting: the strength in percent, on the List page.
        app.press("ctrl+comma", focus=lambda r, n: r == "page tab" and n == "General")
        app.press("Right", focus=lambda r, n: r == "page tab" and n == "List")
        for _ in range(12):
            focused = app.press("Tab", focus=lambda r, n: r != "page tab" or n == "List", what="the next control")
            if label_of(focused) == "Signal strength":
                break
        self.assertEqual((focused.getRoleName(), label_of(focused), plain(focused.name)),
                         ("combo box", "Signal strength", "dBm"))
        app.press("Down")
        self.desktop.wait("the card's strength in percent",
                          lambda: "%" in plain(find(window, role="label", contains="Connected ・").name))
        app.press("Escape", focus=is_row("Aurora 6G"))


if __name__ == "__main__":
    main()
