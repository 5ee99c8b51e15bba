"""The desktop tier's session: a real X server (Xvfb) with a window manager
(openbox), a D-Bus session with the accessibility bus that screen readers use,
the built program on simulated radios with folders of its own, keys pressed
through XTEST (xdotool) and what the program exposes read back through AT-SPI
(pyatspi). Where no X server or accessibility bus can start, the test says why
and ends with SKIP (77), which ctest reports as skipped."""
import contextlib
import http.server
import json
import os
import pathlib
import shutil
import socketserver
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import zlib

SKIP = 77
SOURCE = pathlib.Path(os.environ.get("ONDREL_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[3]))
BINARY = os.environ.get("ONDREL_BINARY", "")
# Bidirectional isolates and marks that the program puts around inserted names and figures.
MARKS = dict.fromkeys(map(ord, "\u2066\u2067\u2068\u2069\u200e\u200f"))
TIMEOUT = float(os.environ.get("ONDREL_DESKTOP_TIMEOUT", "20"))


def plain(text):
    """A name as it reads, without the invisible direction marks."""
    return (text or "").translate(MARKS)


def skip(reason):
    print(f"SKIP: {reason}", flush=True)
    sys.exit(SKIP)


def demo(changes=None, delays=None):
    """The demo room, without its delays unless given, with `changes` over it."""
    room = json.loads((SOURCE / "resources" / "scenarios" / "demo.json").read_text(encoding="utf-8"))
    room["delays"] = delays or {}
    room.update(changes or {})
    return room


class SpeedServer:
    """A loopback speed-measurement server: "/__down?bytes=N" sends N bytes,
    "/__up" reads the body; `failing` answers 503 to everything."""

    def __init__(self):
        self.failing = False
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def handle(self):
                # The program drops its streams when a phase ends.
                with contextlib.suppress(ConnectionResetError, BrokenPipeError):
                    super().handle()

            def answer(self, status, length):
                self.send_response(status)
                self.send_header("Content-Length", str(length))
                self.end_headers()

            def do_GET(self):
                if server.failing:
                    return self.answer(503, 0)
                query = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query)
                remaining = int(query.get("bytes", ["0"])[0])
                self.answer(200, remaining)
                chunk = b"\0" * 65536
                try:
                    while remaining > 0:
                        n = min(remaining, len(chunk))
                        self.wfile.write(chunk[:n])
                        remaining -= n
                except (BrokenPipeError, ConnectionResetError):
                    self.close_connection = True

            def do_POST(self):
                remaining = int(self.headers.get("Content-Length", "0"))
                try:
                    while remaining > 0:
                        got = self.rfile.read(min(remaining, 1 << 20))
                        if not got:
                            break
                        remaining -= len(got)
                except (BrokenPipeError, ConnectionResetError):
                    self.close_connection = True
                    return
                self.answer(503 if server.failing else 200, 0)

        class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
            daemon_threads = True

        self.httpd = Server(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Desktop:
    """Xvfb, openbox and a D-Bus session with the accessibility bus; every
    process started here is ended here, by its own id."""

    def __init__(self, width=1280, height=800):
        for tool in ("Xvfb", "openbox", "dbus-daemon", "xdotool"):
            if not shutil.which(tool):
                skip(f"{tool} is not installed (tools/install-deps.sh test installs it)")
        if not BINARY or not os.path.exists(BINARY):
            skip("ONDREL_BINARY does not name the built program")
        self.processes = []
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="ondrel-desktop-"))
        self.width, self.height = width, height
        read, write = os.pipe()
        # The frame buffer lives in a file, so that the screen can be looked at (screenshot).
        xvfb = self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x24",
                           "-fbdir", str(self.tmp), "-nolisten", "tcp", "-noreset"], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number or xvfb.poll() is not None:
            self.close()
            skip("no X server could start (Xvfb failed)")
        self.display = f":{number}"
        runtime = self.tmp / "runtime"
        runtime.mkdir(mode=0o700)
        os.environ.update(DISPLAY=self.display, XDG_RUNTIME_DIR=str(runtime), NO_AT_BRIDGE="0",
                          GTK_A11Y="atspi")
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        if not address:
            self.close()
            skip("no D-Bus session bus could start")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        self.spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            import gi
            gi.require_version("Atspi", "2.0")
            from gi.repository import Atspi, GLib
            import pyatspi
        except (ImportError, ValueError) as error:
            self.close()
            skip(f"pyatspi is not installed ({error}; Debian's python3-pyatspi)")
        self.Atspi, self.GLib, self.pyatspi = Atspi, GLib, pyatspi
        self.focus_events = []
        self.alerts = []  # (role, name) of every alert or notification that showed
        pyatspi.Registry.registerEventListener(self.on_focus, "object:state-changed:focused")
        pyatspi.Registry.registerEventListener(self.on_showing, "object:state-changed:showing")
        # Key presses as the program hands them to the accessibility bus,
        # listened to only while a chord is pressed (see key()).
        self.presses = []
        if not self.wait_quietly(lambda: pyatspi.Registry.getDesktop(0) is not None, 10):
            self.close()
            skip("the accessibility bus did not start (at-spi2-core)")

    def spawn(self, args, **kw):
        process = subprocess.Popen(args, **kw)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # Events.
    def on_focus(self, event):
        if event.detail1:
            self.focus_events.append(event.source)

    def on_showing(self, event):
        try:
            role = event.source.getRole()
            if event.detail1 and role in (self.pyatspi.ROLE_ALERT, self.pyatspi.ROLE_NOTIFICATION):
                self.alerts.append((event.source.getRoleName(), plain(event.source.name)))
        except Exception:
            pass

    def on_press(self, event):
        self.presses.append(event.event_string)
        return False

    def pump(self):
        context = self.GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def wait_quietly(self, predicate, timeout=TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            self.pump()
            try:
                value = predicate()
            except Exception:
                value = None
            if value:
                return value
            if time.monotonic() > deadline:
                return None
            time.sleep(0.02)

    def wait(self, what, predicate, timeout=TIMEOUT):
        value = self.wait_quietly(predicate, timeout)
        if not value:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        return value

    # Keys, through XTEST to the focused window.
    def key(self, *keys):
        for key in keys:
            *held, last = key.split("+")
            if "alt" in held:
                # Alt held down first and let go last, as a hand does, and the
                # letter only once the program has handed Alt's press to the
                # accessibility bus: the toolkit holds back every key that is
                # not a shortcut until the bus has seen it, while the shortcut
                # Alt+letter acts at once, so a press of Alt still held back
                # would reach the menu just opened as a press of Alt alone,
                # which closes it.
                registry, kinds = self.pyatspi.Registry, (self.pyatspi.KEY_PRESSED_EVENT,)
                registry.registerKeystrokeListener(self.on_press, mask=self.pyatspi.allModifiers(), kind=kinds,
                                                   synchronous=False, preemptive=False)
                try:
                    seen = len(self.presses)
                    subprocess.run(["xdotool", *[a for m in held for a in ("keydown", m)]], check=True)
                    self.wait("the program to take the press of " + "+".join(held),
                              lambda: len(self.presses) >= seen + len(held))
                finally:
                    registry.deregisterKeystrokeListener(self.on_press, mask=self.pyatspi.allModifiers(),
                                                         kind=kinds)
                subprocess.run(["xdotool", "key", last, *[a for m in reversed(held) for a in ("keyup", m)]],
                               check=True)
            else:
                subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "15", text], check=True)

    def screenshot(self, path):
        """The whole screen as a PNG file, for looking at by hand: Xvfb's frame
        buffer (an XWD image of 32-bit pixels) converted."""
        data = (self.tmp / "Xvfb_screen0").read_bytes()
        header = struct.unpack(">25I", data[:100])
        size, width, height = header[0], header[4], header[5]
        msb, line, colors = header[7], header[12], header[19]
        pixels = data[size + 12 * colors:]
        rows = []
        for y in range(height):
            row = pixels[y * line:y * line + 4 * width]
            rgb = bytearray(3 * width)
            rgb[0::3], rgb[1::3], rgb[2::3] = (row[1::4], row[2::4], row[3::4]) if msb else \
                (row[2::4], row[1::4], row[0::4])
            rows.append(b"\0" + bytes(rgb))
        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
        pathlib.Path(path).write_bytes(png)


class App:
    """The program running in the session, with its own settings and data
    folders and a scenario file; `root` is its AT-SPI application."""

    def __init__(self, desktop, scenario, args=(), env=None, config=None, history=None):
        self.desktop = desktop
        self.dir = pathlib.Path(tempfile.mkdtemp(dir=desktop.tmp))
        (self.dir / "config").mkdir()
        (self.dir / "data" / "Ondrel").mkdir(parents=True)
        for name, text in (config or {}).items():
            path = self.dir / "config" / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
        if history is not None:
            self.history_file.write_text(json.dumps(history), encoding="utf-8")
        self.scenario = self.dir / "scenario.json"
        self.scenario.write_text(json.dumps(scenario), encoding="utf-8")
        environment = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                           QT_ACCESSIBILITY="1", XDG_CONFIG_HOME=str(self.dir / "config"),
                           XDG_DATA_HOME=str(self.dir / "data"), ONDREL_WIFI_SIMULATION=str(self.scenario),
                           LANG="C.UTF-8", LC_ALL="C.UTF-8", TZ="UTC", HOME=str(self.dir))
        environment.pop("QT_QPA_PLATFORMTHEME", None)
        environment.update(env or {})
        self.process = desktop.spawn([BINARY, *args], env=environment, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.root = desktop.wait("the program on the accessibility bus", self.find_root)
        # Fresh values on every read: no stale names or states.
        with contextlib.suppress(Exception):
            self.root.set_cache_mask(desktop.Atspi.Cache.NONE)

    @property
    def history_file(self):
        return self.dir / "data" / "Ondrel" / "speed-history.json"

    def find_root(self):
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended with status {self.process.returncode}: "
                                 f"{self.process.stderr.read().decode(errors='replace')}")
        desktop = self.desktop.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            child = desktop.getChildAtIndex(i)
            if child is not None and child.get_process_id() == self.process.pid:
                return child
        return None

    def quit(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    # The tree.
    def windows(self):
        return [w for w in children(self.root) if has(w, "showing")]

    def window(self, name):
        return self.desktop.wait(f"the window “{name}”",
                                 lambda: next((w for w in self.windows() if plain(w.name) == name), None))

    def focused(self):
        """The object that has the keyboard focus now: the latest focus event's
        source while it still says so, else the focused object of the tree."""
        for source in reversed(self.desktop.focus_events[-5:]):
            with contextlib.suppress(Exception):
                if has(source, "focused") and source.get_process_id() == self.process.pid:
                    inner = next((c for c in children(source) if has(c, "focused")), None)
                    return inner or source
        for window in self.windows():
            found = find_first(window, lambda o: has(o, "focused"))
            # The deepest: a list's focused row rather than the list.
            while found is not None:
                inner = next((c for c in children(found) if has(c, "focused")), None)
                if inner is None:
                    return found
                found = inner
        return None

    def wait_focus(self, what, predicate, timeout=TIMEOUT):
        """Waits until the focused object satisfies `predicate` (role name, name)."""
        last = []

        def check():
            self.desktop.pump()
            o = self.focused()
            if o is None:
                return None
            last[:] = [o.getRoleName(), plain(o.name)]
            return o if predicate(o.getRoleName(), plain(o.name)) else None

        found = self.desktop.wait_quietly(check, timeout)
        if found is None:
            raise AssertionError(f"focus never reached {what}; it is on {last or 'nothing'}")
        return found

    def rows(self, window="Ondrel"):
        """The network list's rows (list items), top to bottom."""
        lst = find(self.window(window), role="list")
        return [c for c in children(lst)] if lst is not None else []

    def row(self, network, window="Ondrel"):
        """The list item of `network` (its name begins with the network's name)."""
        return self.desktop.wait(f"the row of {network}", lambda: next(
            (r for r in self.rows(window) if plain(r.name).startswith(network + ",")), None))

    def press(self, *keys, focus=None, what=None):
        """Presses keys, then waits for the focus to satisfy `focus` (role, name)."""
        self.desktop.key(*keys)
        if focus is not None:
            return self.wait_focus(what or " ".join(keys), focus)
        return None


def children(o):
    out = []
    for i in range(o.childCount):
        with contextlib.suppress(Exception):
            c = o.getChildAtIndex(i)
            if c is not None:
                out.append(c)
    return out


def has(o, state):
    import pyatspi
    try:
        return o.getState().contains(getattr(pyatspi, "STATE_" + state.upper().replace("-", "_")))
    except Exception:
        return False


def find_first(root, predicate, showing=True):
    stack = [root]
    while stack:
        o = stack.pop()
        with contextlib.suppress(Exception):
            if o is not root and predicate(o):
                return o
            if showing and o is not root and not has(o, "showing") and o.getRoleName() != "popup menu":
                continue
            stack.extend(reversed(children(o)))
    return None


def find_all(root, predicate, showing=True):
    out, stack = [], [root]
    while stack:
        o = stack.pop()
        with contextlib.suppress(Exception):
            if o is not root and predicate(o):
                out.append(o)
            if showing and o is not root and not has(o, "showing"):
                continue
            stack.extend(reversed(children(o)))
    return out


def find(root, role=None, name=None, showing=True, contains=None):
    """The first object below `root` with this role name and name."""
    def match(o):
        return ((role is None or o.getRoleName() == role) and (name is None or plain(o.name) == name)
                and (contains is None or contains in plain(o.name)))
    return find_first(root, match, showing)


def related(o, kind):
    """The objects `o` has the relation `kind` to ("labelled by", "label for")."""
    import pyatspi
    wanted = getattr(pyatspi, "RELATION_" + kind.upper().replace(" ", "_"))
    out = []
    for relation in o.getRelationSet():
        if relation.getRelationType() == wanted:
            out += [relation.getTarget(i) for i in range(relation.getNTargets())]
    return out


def label_of(o):
    """What a screen reader says a control is: its name, or for a combo box
    (named by its current value on Linux) the label that labels it."""
    labels = related(o, "labelled by")
    return plain(labels[0].name) if labels else plain(o.name)


def text_of(o):
    try:
        t = o.queryText()
        return plain(t.getText(0, -1))
    except Exception:
        return ""


def value_of(o):
    try:
        return o.queryValue().currentValue
    except Exception:
        return None


def extents(o):
    """(x, y, width, height) on the screen."""
    import pyatspi
    e = o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


class DesktopCase(unittest.TestCase):
    """One desktop for the whole file; each case starts the program as it needs."""
    desktop = None

    @classmethod
    def setUpClass(cls):
        if DesktopCase.desktop is None:
            DesktopCase.desktop = Desktop()

    def launch(self, scenario=None, args=(), **kw):
        app = App(self.desktop, scenario if scenario is not None else demo(), args, **kw)
        self.addCleanup(app.quit)
        return app

    def speed_server(self):
        server = SpeedServer()
        self.addCleanup(server.close)
        return server


def main():
    try:
        program = unittest.main(exit=False, verbosity=2)
    finally:
        if DesktopCase.desktop is not None:
            DesktopCase.desktop.close()
    sys.exit(0 if program.result.wasSuccessful() else 1)
