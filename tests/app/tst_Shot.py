#!/usr/bin/env python3
"""--shot as a process, without a display: the line on standard output, the
PNG's size and the statuses (tests/ui renders the windows themselves)."""
import os
import struct
import unittest

from ondrel_run import SOURCE, OndrelCase


class Shot(OndrelCase):
    def test_main_window(self):
        for name in ["QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"]:  # the mode picks off-screen itself
            os.environ.pop(name, None)
        (self.tmp / "old.png").write_bytes(b"not a picture")
        demo = (SOURCE / "resources" / "scenarios" / "demo.json").read_text(encoding="utf-8")
        shot = {"scenario": demo, "cwd": self.tmp}
        (status, out, err), failed = self.ondrel_all([(["--lang", "ar", "--shot", "old.png"], shot),
                                                      (["--shot", "missing/main.png"], shot)])
        self.assertEqual((status, out.decode()), (0, "書き出しました: old.png\n"), err)
        png = (self.tmp / "old.png").read_bytes()
        self.assertEqual((png[:8], struct.unpack(">II", png[16:24])), (b"\x89PNG\r\n\x1a\n", (860, 620)))
        self.assertEqual(failed[:2], (1, b""))
        self.assertIn("書き出せませんでした: missing/main.png".encode(), failed[2])
        self.assertFalse((self.tmp / "missing").exists())


if __name__ == "__main__":
    unittest.main()
