"""--shot of the main window and of the speed test window on the real stack:
PNG files of the windows' sizes with something drawn in them (the pictures
are kept in the results for a look), and the main window's rows and card as a
screen reader reads them, against the kernel's figures of the same moment."""

import struct
import zlib

import listing
import window

WINDOWS = [("main", [], (860, 620)), ("speed-test", ["--speed"], (460, 620))]


def png_size_and_colours(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None, 0
    width, height = struct.unpack(">II", data[16:24])
    idat, at = b"", 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    return (width, height), len(set(zlib.decompress(idat)))


def run(lab, check):
    for name, args, size in WINDOWS:
        path = f"{lab.results}/shot-{name}.png"
        run = lab.app.run("--lang", "en", "--shot", path, *args, "--json", timeout=120)
        ref = listing.snapshot() if name == "main" else None  # the kernel's figures of the same moment
        check.equal(f"{name}: exit status", 0, run.rc)
        doc = window.document(check, run.out, name)
        if doc:
            check.equal(f"{name}: the report's window size", size, (doc.get("width"), doc.get("height")))
        if doc and ref:
            window.judge_rows(check, doc, ref, name)
        try:
            seen, colours = png_size_and_colours(path)
        except OSError as e:
            seen, colours = str(e), 0
        check.equal(f"{name}: a PNG of the window's size", size, seen)
        check.true(f"{name}: something drawn (distinct byte values in the pixels)", colours > 32, colours)
