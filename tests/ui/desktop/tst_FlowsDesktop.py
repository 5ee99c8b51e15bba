#!/usr/bin/env python3
"""The program's flows as a user meets them: an enterprise network says where
to join it, a refused password brings its sheet back with the failure and the
typed text, a network that hides its name is joined by name from the keyboard
with a mistyped password mended in place, exports say where the file went or why it did not, the speed test
window leaves the main window usable and names the server it talks to, and
Wi-Fi is turned off and on from the menu with one Turn On offered."""
import os
import subprocess

from desktop import (DesktopCase, actions, demo, find, find_all, has, label_of, main, plain, text_of)


def measurements(count):
    return [{"id": f"6f0c1c2e-0000-4000-8000-{i:012d}", "date": f"2026-12-{i + 1:02d}T10:00:00Z",
             "ssid": "Ondrel-Home", "bssid": "a4:2b:b0:10:00:01", "rssi": -50, "band": 50, "channel": 36,
             "downloadMbps": 300.0 + i, "uploadMbps": 80.0, "latencyMs": 14, "jitterMs": 3, "bytes": 100000000}
            for i in range(count)]


def row(network):
    return lambda role, name: role == "list item" and name.startswith(network + ",")


def button(name):
    return lambda role, n: role == "push button" and n == name


ENTERPRISE = "Join enterprise (802.1X) networks from Wi-Fi in System Settings."


class Flows(DesktopCase):
    def open_main(self, app):
        window = app.window("Ondrel")
        app.wait_focus("the search field", lambda r, n: r == "text")
        return window

    def to_list(self, app):
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=lambda r, n: r == "list item", what="the list")

    def test_an_enterprise_network_says_where_to_join_it(self):
        app = self.launch()
        window = self.open_main(app)
        campus = app.row("Campus-Secure")
        self.assertIn(ENTERPRISE, plain(campus.description))
        self.assertNotIn("Press", actions(campus))
        self.to_list(app)
        for _ in range(4):
            app.press("Down")
        app.wait_focus("Campus-Secure", row("Campus-Secure"))
        alerts = len(self.desktop.alerts)
        app.press("Return")
        self.desktop.wait("the enterprise message read out", lambda: ("alert", ENTERPRISE) in self.desktop.alerts[alerts:])
        self.assertIsNotNone(find(window, role="alert", name=ENTERPRISE))

    def test_a_refused_password_brings_the_sheet_back(self):
        app = self.launch()
        window = self.open_main(app)
        self.to_list(app)
        app.press("Down", focus=row("Aurora 6G"))
        field = app.press("Return", focus=lambda r, n: r == "password text" and n == "Password")
        self.desktop.type("aurora-typo")
        alerts = len(self.desktop.alerts)
        app.press("Return")
        problem = "Could not connect to “Aurora 6G”. Check the password."
        self.desktop.wait("the failure read out", lambda: ("alert", problem) in self.desktop.alerts[alerts:])
        sheet = app.window("Password")
        self.assertIsNotNone(find(sheet, role="label", name=problem))
        app.wait_focus("the password field again", lambda r, n: r == "password text")
        self.assertIsNone(find(window, role="alert", name=problem))  # no banner besides
        # The typed password is back: shown, it reads as typed.
        app.press("Tab", focus=lambda r, n: r == "check box" and n == "Show password")
        app.press("space")
        field = self.desktop.wait("the password shown", lambda: find(sheet, role="text"))
        self.assertEqual(text_of(field), "aurora-typo")
        # Back in the field, all of it is chosen: typing replaces it.
        app.press("shift+Tab", focus=lambda r, n: r == "text")
        self.desktop.type("aurora-borealis")
        app.press("Return", focus=row("Aurora 6G"), what="the list once joined")
        self.desktop.wait("Aurora 6G on the card", lambda: find(window, role="label", name="Aurora 6G"))

    def test_a_hidden_network_is_joined_by_name(self):
        app = self.launch(config={"Ondrel/Ondrel.conf": "[General]\nshowHidden=true\n"})
        window = self.open_main(app)
        # Also in the File menu; here the nameless row's join opens it.
        self.assertIsNotNone(find(window, role="menu item", name="Connect to Hidden Network…", showing=False))
        self.to_list(app)
        for _ in range(7):
            app.press("Down")
        app.wait_focus("the nameless row", row("Hidden network"))
        app.press("Return", focus=lambda r, n: r == "text" and n == "Network name")
        sheet = app.window("Connect to Hidden Network")
        self.assertEqual(sheet.getRoleName(), "dialog")
        self.desktop.type("Attic")
        security = app.press("Tab", focus=lambda r, n: r == "combo box", what="the security")
        self.assertEqual((label_of(security), plain(security.name)), ("Security", "WPA2"))
        app.press("Tab", focus=lambda r, n: r == "password text" and n == "Password")
        self.desktop.type("attic-typo")
        alerts = len(self.desktop.alerts)
        app.press("Return")
        problem = "Could not connect to “Attic”. Check the password."
        self.desktop.wait("the failure read out", lambda: ("alert", problem) in self.desktop.alerts[alerts:])
        self.assertIsNotNone(find(sheet, role="label", name=problem))
        self.assertIsNone(find(window, role="alert", name=problem))  # no banner besides
        self.assertEqual(text_of(find(sheet, role="text", name="Network name")), "Attic")
        # Back in the password, all of it chosen: typing replaces it.
        app.wait_focus("the password again", lambda r, n: r == "password text")
        self.desktop.type("hidden-in-plain-sight")
        app.press("Return")
        self.desktop.wait("the sheet closed", lambda: "Connect to Hidden Network" not in
                          [plain(w.name) for w in app.windows()])
        self.desktop.wait("Attic on the card", lambda: find(window, role="label", name="Attic"))

    def read_only_folder(self, parent):
        """A folder the program cannot write into: without write permission,
        and for root (whom permissions do not stop) a read-only file system."""
        folder = parent / "read-only"
        folder.mkdir()
        folder.chmod(0o555)
        if os.geteuid() == 0:
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=64k", "ondrel-test", str(folder)],
                              stderr=subprocess.DEVNULL).returncode != 0:
                self.skipTest("running as root, a read-only folder needs a read-only mount, which is not allowed here")
            self.addCleanup(subprocess.run, ["umount", str(folder)])
        return folder

    def test_an_export_says_where_the_file_went_or_why_it_did_not(self):
        app = self.launch(history=measurements(2))
        self.open_main(app)
        app.press("ctrl+y", focus=button("Export CSV…"))
        history = app.window("Speed Test History")
        locked = self.read_only_folder(app.dir) / "out.csv"
        for target, notice in ((app.dir / "out.csv", f"Exported to {app.dir / 'out.csv'}."),
                               (locked, f"The CSV file could not be written: {locked} (")):
            alerts = len(self.desktop.alerts)
            app.press("Return", focus=lambda r, n: r == "text", what="the file dialog's name field")
            self.desktop.key("ctrl+a")
            self.desktop.type(str(target))
            app.press("Return", focus=button("Export CSV…"), what="the history again")
            said = self.desktop.wait("the export read out", lambda: next(
                (name for _, name in self.desktop.alerts[alerts:] if name.startswith(notice)), None))
            self.assertIsNotNone(find(history, role="label", name=said))
        self.assertTrue((app.dir / "out.csv").read_bytes().startswith(b"\xef\xbb\xbf"))

    def test_the_speed_test_window_leaves_the_main_window_usable(self):
        server = self.speed_server()
        app = self.launch(env={"ONDREL_SPEEDTEST_URL": server.url})
        self.open_main(app)
        app.press("ctrl+t", focus=button("Start Test"))
        dialog = app.window("Speed Test")
        self.assertFalse(has(dialog, "modal"))
        # Nothing measured yet: no speed of zero.
        figure = find(dialog, role="label", name="–")
        self.assertIsNotNone(figure, [plain(o.name) for o in find_all(dialog, lambda o: o.getRoleName() == "label")])
        self.assertIsNone(find(dialog, role="label", name="0.0"))
        # The note names the server in use, not Cloudflare's.
        host = server.url.removeprefix("http://")
        note = find(dialog, role="label", contains="measurement server")
        self.assertIn(host, plain(note.name))
        self.assertNotIn("Cloudflare", plain(note.name))
        # The main window takes the keyboard while the speed test window is open.
        app.press("alt+Tab", focus=lambda r, n: r == "text" and n == "Filter by name", what="the main window")
        self.desktop.type("cafe")
        self.desktop.wait("the list filtered", lambda: len(app.rows()) == 1)
        self.assertTrue(app.window("Speed Test"))

    def test_wifi_turns_off_and_on_with_one_turn_on_offered(self):
        app = self.launch(demo({"poweredOn": False}))
        window = self.open_main(app)
        self.assertEqual(len(find_all(window, lambda o: o.getRoleName() == "push button"
                                      and plain(o.name) == "Turn On")), 1)
        for on in (True, False):
            item = app.press("alt+f", focus=lambda r, n: r == "menu item" and n == "Wi-Fi", what="File ▸ Wi-Fi")
            self.assertEqual(has(item, "checked"), not on)
            app.press("Return")
            if on:
                self.desktop.wait("the radio on and the networks back", lambda: len(app.rows()) > 1)
                self.assertIsNone(find(window, role="alert", name="Wi-Fi is turned off."))
            else:
                self.desktop.wait("the banner after turning Wi-Fi off",
                                  lambda: find(window, role="alert", name="Wi-Fi is turned off."))
                self.assertEqual(app.rows(), [])


if __name__ == "__main__":
    main()
