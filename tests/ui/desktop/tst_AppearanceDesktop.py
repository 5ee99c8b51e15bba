#!/usr/bin/env python3
"""The windows at the desktop's own font size and scale: text follows a
desktop set to small or large type, and at 1.5× and 2× every window opens
within the screen, the speed test window resizable."""
from desktop import DesktopCase, extents, find, has, main


def font(points):
    """qt6ct's settings giving the desktop a font of `points`."""
    spec = f'"Noto Sans,{points},-1,5,50,0,0,0,0,0"'
    return {"qt6ct/qt6ct.conf": f"[Fonts]\ngeneral={spec}\nfixed={spec}\n"}


def measurements(count):
    return [{"id": f"6f0c1c2e-0000-4000-8000-{i:012d}", "date": f"2026-12-{i + 1:02d}T10:00:00Z",
             "ssid": "Ondrel-Home", "bssid": "a4:2b:b0:10:00:01", "rssi": -50, "band": 50, "channel": 36,
             "downloadMbps": 300.0 + i, "uploadMbps": 80.0, "latencyMs": 14, "jitterMs": 3, "bytes": 100000000}
            for i in range(count)]


class Appearance(DesktopCase):
    def heights(self, points):
        """Heights of a list row, the card's title and a chip line's row, with the desktop font at `points`."""
        app = self.launch(env={"QT_QPA_PLATFORMTHEME": "qt6ct"}, config=font(points))
        window = app.window("Ondrel")
        app.wait_focus("the search field", lambda r, n: r == "text")
        row = app.row("Aurora 6G")
        title = find(window, role="label", name="Ondrel-Home")
        card = find(window, role="label", contains="Connected ・")
        result = extents(row)[3], extents(title)[3], extents(card)[3]
        app.quit()
        return result

    def test_text_follows_the_desktop_font_size(self):
        small, large = self.heights(7), self.heights(14)
        for what, s, l in zip(("a row", "the card's title", "the card's subtitle"), small, large):
            # Twice the points: much taller text, not the same fixed size.
            self.assertGreater(l, 1.5 * s, f"{what}: {s} px at 7 points, {l} px at 14 points")

    def test_windows_fit_the_screen_when_scaled(self):
        width, height = self.desktop.width, self.desktop.height

        def fits(app, name, scale):
            window = app.window(name)
            x, y, w, h = extents(window)
            self.assertTrue(0 <= x and 0 <= y and x + w <= width and y + h <= height,
                            f"at {scale}×, {name} ({w}×{h} at {x},{y}) is not within the {width}×{height} screen")
            return window

        for scale in ("1.5", "2"):
            app = self.launch(env={"QT_SCALE_FACTOR": scale}, history=measurements(3))
            app.wait_focus("the search field", lambda r, n: r == "text")
            fits(app, "Ondrel", scale)
            app.press("ctrl+t", focus=lambda r, n: n == "Start Test")
            self.assertTrue(has(fits(app, "Speed Test", scale), "resizable"), "the speed test window's size is fixed")
            app.press("Escape", focus=lambda r, n: r == "text")
            app.press("ctrl+y", focus=lambda r, n: n == "Export CSV…")
            fits(app, "Speed Test History", scale)
            app.press("Escape", focus=lambda r, n: r == "text")
            app.press("ctrl+comma", focus=lambda r, n: r == "page tab")
            fits(app, "Settings", scale)
            app.quit()

if __name__ == "__main__":
    main()
