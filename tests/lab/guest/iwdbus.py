"""iwd on the lab's system bus, seen directly: its objects, calls with their
error names and durations, a log of its signals and a passphrase agent whose
answers a scenario scripts. For the scenarios that watch what the real iwd
does (and so what the project's stand-in must do)."""

import threading
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "net.connman.iwd"
AGENT_PATH = "/org/ondrel/lab/agent"
AGENT_IFACE = "net.connman.iwd.Agent"

dbus.mainloop.glib.threads_init()
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)


def plain(value):
    """D-Bus values as plain Python values."""
    if isinstance(value, (dbus.Array, list)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Struct, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, (dbus.Int16, dbus.Int32, dbus.Int64, dbus.UInt16, dbus.UInt32, dbus.UInt64, dbus.Byte)):
        return int(value)
    return value


class Agent(dbus.service.Object):
    """A net.connman.iwd.Agent: each RequestPassphrase takes the next scripted
    answer (a text, None for Canceled, or ("sleep", seconds, answer))."""

    def __init__(self, bus):
        super().__init__(bus, AGENT_PATH)
        self.answers = []
        self.requests = []  # (time, network path)
        self.cancels = []   # (time, reason)
        self.released = 0

    @dbus.service.method(AGENT_IFACE, in_signature="o", out_signature="s",
                         async_callbacks=("reply", "error"))
    def RequestPassphrase(self, network, reply, error):
        self.requests.append((time.monotonic(), str(network)))
        answer = self.answers.pop(0) if self.answers else None
        delay = 0
        if isinstance(answer, tuple):
            _, delay, answer = answer

        def respond():
            if answer is None:
                error(dbus.exceptions.DBusException("canceled by the lab", name=AGENT_IFACE + ".Error.Canceled"))
            else:
                reply(answer)
            return False
        GLib.timeout_add(int(delay * 1000), respond)

    @dbus.service.method(AGENT_IFACE, in_signature="s", out_signature="")
    def Cancel(self, reason):
        self.cancels.append((time.monotonic(), str(reason)))

    @dbus.service.method(AGENT_IFACE, in_signature="", out_signature="")
    def Release(self):
        self.released += 1


class Iwd:
    """Two connections to the system bus: one for blocking calls, one with a
    main loop on a thread of its own for the agent and the signals (libdbus
    holds back every other message of a connection while a blocking call on
    it waits, which would delay the agent's answers until the call ends)."""

    def __init__(self):
        self.bus = dbus.SystemBus(private=True)
        self.events = dbus.SystemBus(private=True)
        self.signals = []  # (time, path, interface, member, args)
        self.events.add_signal_receiver(self._signal, sender_keyword="sender", path_keyword="path",
                                     interface_keyword="interface", member_keyword="member",
                                     bus_name=SERVICE)
        self.loop = GLib.MainLoop()
        self.thread = threading.Thread(target=self.loop.run, daemon=True)
        self.thread.start()
        self.agent = None

    def _signal(self, *args, sender=None, path=None, interface=None, member=None):
        self.signals.append((time.monotonic(), str(path), str(interface), str(member), plain(list(args))))

    def call(self, path, interface, method, *args, timeout=60):
        """(seconds, result or None, error name or None, error text)."""
        started = time.monotonic()
        try:
            obj = self.bus.get_object(SERVICE, path, introspect=False)
            result = obj.get_dbus_method(method, interface)(*args, timeout=timeout)
            return time.monotonic() - started, plain(result), None, None
        except dbus.exceptions.DBusException as e:
            return time.monotonic() - started, None, e.get_dbus_name(), e.get_dbus_message()

    def objects(self):
        return self.call("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects")[1] or {}

    def find(self, interface):
        """The paths of the objects that have `interface`, sorted."""
        return sorted(p for p, ifaces in self.objects().items() if interface in ifaces)

    def props(self, path, interface):
        return self.call(path, "org.freedesktop.DBus.Properties", "GetAll", interface)[1] or {}

    def set(self, path, interface, name, value):
        """Properties.Set; `value` a dbus-python value, sent as a variant."""
        value = type(value)(value, variant_level=1)
        return self.call(path, "org.freedesktop.DBus.Properties", "Set", interface, name, value)

    def call_async(self, path, interface, method, *args, timeout=90):
        """Starts a call; the returned dict gets "seconds" and "error" (None
        on success) when the answer arrives."""
        out = {}
        started = time.monotonic()
        done = threading.Event()

        def ok(*result):
            out.update(seconds=round(time.monotonic() - started, 2), error=None, result=plain(list(result)))
            done.set()

        def failed(e):
            out.update(seconds=round(time.monotonic() - started, 2), error=e.get_dbus_name(),
                       text=e.get_dbus_message())
            done.set()
        obj = self.events.get_object(SERVICE, path, introspect=False)
        obj.get_dbus_method(method, interface)(*args, reply_handler=ok, error_handler=failed, timeout=timeout)
        out["wait"] = lambda limit=timeout: done.wait(limit)
        return out

    def register_agent(self):
        """The agent, exported and registered on the connection with the main
        loop (iwd calls it back on the connection that registered it)."""
        self.agent = Agent(self.events)
        pending = self.call_async("/net/connman/iwd", "net.connman.iwd.AgentManager", "RegisterAgent",
                                  dbus.ObjectPath(AGENT_PATH))
        pending.pop("wait")(10)
        return pending

    def station(self):
        found = self.find("net.connman.iwd.Station")
        return found[0] if found else None

    def scan(self, timeout=30):
        """Station.Scan, then waits until Scanning is false again: (seconds, error name)."""
        station = self.station()
        started = time.monotonic()
        _, _, error, _ = self.call(station, "net.connman.iwd.Station", "Scan")
        if error:
            return time.monotonic() - started, error
        time.sleep(0.3)
        while self.props(station, "net.connman.iwd.Station").get("Scanning") and \
                time.monotonic() - started < timeout:
            time.sleep(0.1)
        return time.monotonic() - started, None

    def network(self, name):
        """The Network object path of this name (text), or None."""
        for path, ifaces in self.objects().items():
            if ifaces.get("net.connman.iwd.Network", {}).get("Name") == name:
                return path
        return None

    def wait_state(self, wanted, timeout=30):
        station = self.station()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            state = self.props(station, "net.connman.iwd.Station").get("State") if station else None
            if state in wanted:
                return state
            time.sleep(0.1)
            station = station or self.station()
        return None

    def signals_since(self, t):
        return [s for s in self.signals if s[0] >= t]
