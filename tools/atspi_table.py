#!/usr/bin/python3
"""Writes a Markdown table of what a screen reader finds in each window of the
program: every control that takes the focus or has a name, with its role,
states, value or text and description, what is read out (alerts, announcements,
labels whose text changes) while a speed test runs and a banner shows, and the
main window's Tab order. Runs the built program in the desktop tests' session
(Xvfb, openbox, the accessibility bus) on the demo scenario, in English.

    tools/atspi_table.py [--binary build/asan/app/ondrel] [--out table.md]
"""
import argparse
import os
import pathlib
import sys

SOURCE = pathlib.Path(__file__).resolve().parents[1]
parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--binary", default=str(SOURCE / "build" / "asan" / "app" / "ondrel"))
parser.add_argument("--out", default="-")
options = parser.parse_args()
os.environ["ONDREL_BINARY"] = str(pathlib.Path(options.binary).resolve())
os.environ.setdefault("ONDREL_SOURCE_DIR", str(SOURCE))
sys.path.insert(0, str(SOURCE / "tests" / "ui" / "desktop"))

import desktop as d  # noqa: E402

STATES = ("showing", "focusable", "focused", "enabled", "sensitive", "checked", "selected", "pressed", "expanded",
          "editable", "modal", "multi-line", "read-only", "required", "invalid-entry")


def cell(text):
    return d.plain(str(text)).replace("|", "\\|").replace("\n", " ⏎ ") if text else ""


class Table:
    def __init__(self, desktop):
        self.desktop = desktop
        self.rows, self.heard, self.order, self.snapshots = [], [], [], []
        registry = desktop.pyatspi.Registry
        for kind in ("object:announcement", "object:state-changed:showing", "object:text-changed:insert",
                     "object:property-change:accessible-name"):
            registry.registerEventListener(self.on_event, kind)
        self.phase = ""
        self.snapshot = 0

    def on_event(self, event):
        try:
            source, role = event.source, event.source.getRoleName()
            if event.type.startswith("object:state-changed:showing"):
                if not event.detail1 or role not in ("alert", "notification"):
                    return
                said = d.plain(source.name)
            elif event.type.startswith("object:announcement"):
                said = d.plain(str(event.any_data))
            elif event.type.startswith("object:text-changed"):
                if role != "label":
                    return
                said = d.plain(str(event.any_data))
            else:
                if role not in ("label", "alert", "progress bar", "status bar"):
                    return
                said = d.plain(source.name)
            entry = (self.phase, event.type, role, said)
            if said and entry not in self.heard:
                self.heard.append(entry)
        except Exception:
            pass

    def window(self, app, title):
        self.desktop.pump()
        window = app.window(title)
        self.snapshot += 1
        for o in d.find_all(window, lambda o: d.has(o, "showing")):
            role = o.getRoleName()
            states = [s for s in STATES if d.has(o, s)]
            if not (d.plain(o.name).strip() or "focusable" in states):
                continue
            if role in ("filler", "panel") and "focusable" not in states:
                continue
            value = d.value_of(o)
            text = d.text_of(o) if role in ("text", "password text", "label") else ""
            if role == "password text":
                text = "•" * len(text)
            shown = ", ".join(x for x in (f"value {value:g}" if value is not None else "",
                                          f"text “{text}”" if text and text != d.plain(o.name) else "") if x)
            self.rows.append((title, d.label_of(o) if role == "combo box" else o.name, role, " ".join(states),
                              shown, o.description))
            self.snapshots.append(self.snapshot)

    def markdown(self):
        out = ["# What the accessibility bus shows of Ondrel", "",
               "| Window | Name | Role | States | Value / text | Description |", "|---|---|---|---|---|---|"]
        out += ["| " + " | ".join(cell(c) for c in row) + " |" for row in self.rows]
        out += ["", "## Read out", "", "| While | Event | Role | Text |", "|---|---|---|---|"]
        out += ["| " + " | ".join(cell(c) for c in row) + " |" for row in self.heard]
        out += ["", "## Tab order of the main window", "", "| # | Role | Name |", "|---|---|---|"]
        out += [f"| {i} | {cell(r)} | {cell(n)} |" for i, (r, n) in enumerate(self.order, 1)]
        names = {}
        for snapshot, (window, name, role, *_) in zip(self.snapshots, self.rows):
            if role not in ("label", "table cell", "page tab list", "alert") and d.plain(name):
                names.setdefault((snapshot, window, d.plain(name)), []).append(role)
        twins = sorted({f"- {w}: “{n}” ({', '.join(r)})" for (_, w, n), r in names.items() if len(r) > 1})
        out += ["", "## Names shared by two controls in one window", ""] + (twins or ["none"])
        return "\n".join(out) + "\n"


def tab_order(app, table):
    """The focus after each Tab from the search field, until it comes back."""
    first = app.focused()
    start = (first.getRoleName(), d.plain(first.name))
    table.order.append(start)
    for _ in range(40):
        before = app.focused()
        app.desktop.key("Tab")
        app.desktop.wait_quietly(lambda: app.focused() is not None and app.focused() != before, 3)
        o = app.focused()
        here = (o.getRoleName(), d.plain(o.name)) if o is not None else ("", "(nothing)")
        if here == start:
            table.order.append(("", "(back at the search field)"))
            return
        table.order.append(here)
    table.order.append(("", "(40 steps without coming back: a trap?)"))


def main():
    desktop = d.Desktop()
    server = d.SpeedServer()
    table = Table(desktop)
    try:
        app = d.App(desktop, d.demo({"delays": {}}), env={"ONDREL_SPEEDTEST_URL": server.url,
                                                           "ONDREL_SPEEDTEST_DURATION": "1"},
                    config={"Ondrel/Ondrel.conf": "[General]\nshowHidden=true\n"},
                    history=[{"id": "6f0c1c2e-0000-4000-8000-000000000001", "date": "2026-12-01T10:00:00Z",
                              "ssid": "Ondrel-Home", "bssid": "a4:2b:b0:10:00:01", "rssi": -50, "band": 50,
                              "channel": 36, "downloadMbps": 300.0, "uploadMbps": 80.0, "latencyMs": 14,
                              "jitterMs": 3, "bytes": 100000000}])
        table.phase = "start"
        app.window("Ondrel")
        app.wait_focus("the search field", lambda r, n: r == "text")
        table.window(app, "Ondrel")
        tab_order(app, table)
        app.press("ctrl+f", focus=lambda r, n: r == "text")
        app.press("Tab", "Tab", "Tab", "Tab", "Tab", focus=lambda r, n: r == "list item")
        app.press("Down", focus=lambda r, n: n.startswith("Aurora 6G,"))
        app.press("Return", focus=lambda r, n: r == "password text")
        table.window(app, "Password")
        app.press("Escape", focus=lambda r, n: r == "list item")
        d.do_action(d.find(app.window("Ondrel"), role="menu item", name="Connect to Hidden Network…",
                           showing=False), "Press")
        app.wait_focus("the hidden network's name", lambda r, n: r == "text" and n == "Network name")
        table.window(app, "Connect to Hidden Network")
        app.press("Escape", focus=lambda r, n: r in ("list item", "text"))
        app.press("ctrl+t", focus=lambda r, n: n == "Start Test")
        table.window(app, "Speed Test")
        table.phase = "speed test"
        app.press("Return")
        desktop.wait("the end of the test", lambda: any(p == "speed test" and t.startswith("The test finished")
                                                        for p, _, _, t in table.heard), timeout=60)
        table.rows.append(("Speed Test (after a test)", "", "", "", "", ""))
        table.snapshots.append(-1)
        table.window(app, "Speed Test")
        app.press("Escape")
        table.phase = "history"
        app.press("ctrl+y", focus=lambda r, n: n == "Export CSV…")
        table.window(app, "Speed Test History")
        app.press("Escape")
        table.phase = "settings"
        app.press("ctrl+comma", focus=lambda r, n: r == "page tab")
        for page in ("General", "List", "About"):
            table.rows.append((f"Settings ({page})", "", "", "", "", ""))
            table.snapshots.append(-1)
            table.window(app, "Settings")
            app.press("Right")
        app.press("Escape")
        table.phase = "radio off (banner)"
        app.press("alt+f", focus=lambda r, n: n == "Wi-Fi")
        app.press("Return")
        desktop.wait("the banner", lambda: d.find(app.window("Ondrel"), role="alert"))
        table.window(app, "Ondrel")
        app.quit()
    finally:
        server.close()
        desktop.close()
    text = table.markdown()
    if options.out == "-":
        sys.stdout.write(text)
    else:
        pathlib.Path(options.out).write_text(text, encoding="utf-8")
        print(options.out)


if __name__ == "__main__":
    main()
