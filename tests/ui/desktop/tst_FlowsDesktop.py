#!/usr/bin/env python3
"""The program's flows as a user meets them where only a real desktop shows
them: a refused password brings its sheet back with the failure read out and
the typed text kept, and the speed test window leaves the main window usable
and names the server it talks to. (The enterprise, hidden-network, export and
radio flows are driven through the widgets in the fast tier.)"""
from desktop import DesktopCase, find, find_all, has, main, plain, text_of


def row(network):
    return lambda role, name: role == "list item" and name.startswith(network + ",")


def button(name):
    return lambda role, n: role == "push button" and n == name


class Flows(DesktopCase):
    def open_main(self, app):
        window = app.window("Ondrel")
        app.wait_focus("the search field", lambda r, n: r == "text")
        return window

    def to_list(self, app):
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=lambda r, n: r == "list item", what="the list")

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

if __name__ == "__main__":
    main()
