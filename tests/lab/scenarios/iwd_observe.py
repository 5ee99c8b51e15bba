"""What the real iwd does, written to iwd_observe.json in the results: objects
and properties, call durations and error names, the agent's requests, the
signals and the files it writes. Not a check of Ondrel: a record to model the
stand-in on."""

import json
import os
import subprocess
import time
import traceback

import dbus

import labenv
from iwdbus import Iwd

ST = "net.connman.iwd.Station"
NET = "net.connman.iwd.Network"


def run(lab, check, parts=None):
    """`parts`: the groups of steps to run (all when None)."""
    facts = {}
    group = ["base"]
    iwd = Iwd()

    def note(key, value):
        facts[key] = value
        print(f"== {key}: {json.dumps(value, default=str)[:4000]}", flush=True)

    def step(key, fn):
        if parts is not None and group[0] not in parts:
            return
        try:
            note(key, fn())
        except Exception:
            note(key, {"exception": traceback.format_exc()})

    def connect(name, answers, timeout=60, hidden=False, settle=8):
        """A join through the agent: the call's answer, the agent's requests,
        the station's states as they came and the files afterwards."""
        iwd.agent.answers = list(answers)
        t0 = time.monotonic()
        if hidden:
            path = name
            pending = iwd.call_async(iwd.station(), ST, "ConnectHiddenNetwork", name, timeout=timeout)
        else:
            path = iwd.network(name)
            pending = iwd.call_async(path, NET, "Connect", timeout=timeout)
        pending.pop("wait")(timeout + 5)
        time.sleep(settle)
        return {"path": path, **pending,
                "agent_requests": [(round(t - t0, 2), p) for t, p in iwd.agent.requests if t >= t0],
                "cancels": [(round(t - t0, 2), r) for t, r in iwd.agent.cancels if t >= t0],
                "state": iwd.props(iwd.station(), ST).get("State"),
                "files": lab.iwd_files(),
                "signals": [(round(t - t0, 2), p, i, m, a) for t, p, i, m, a in iwd.signals_since(t0)
                            if "Scanning" not in json.dumps(a)][:60]}

    def forget_all():
        for path, ifaces in iwd.objects().items():
            if "net.connman.iwd.KnownNetwork" in ifaces:
                iwd.call(path, "net.connman.iwd.KnownNetwork", "Forget")
        time.sleep(1)
        return lab.iwd_files()

    def disconnect():
        r = iwd.call(iwd.station(), ST, "Disconnect")
        iwd.wait_state({"disconnected"}, 10)
        return r

    group[0] = "setup"
    step("objects at start", iwd.objects)
    t0 = time.monotonic()
    step("scan", lambda: iwd.scan())
    step("scan signals", lambda: [(round(t - t0, 2), p, i, m, a) for t, p, i, m, a in iwd.signals_since(t0)][:60])
    step("scan while scanning", lambda: (iwd.call(iwd.station(), ST, "Scan"), iwd.call(iwd.station(), ST, "Scan")))
    time.sleep(15)
    step("connect without agent", lambda: iwd.call(iwd.network("Lab WPA2"), NET, "Connect"))
    step("register agent", iwd.register_agent)
    step("register agent again", lambda: iwd.call("/net/connman/iwd", "net.connman.iwd.AgentManager",
                                                  "RegisterAgent", dbus.ObjectPath("/other")))
    group[0] = "base"
    step("ordered networks", lambda: iwd.call(iwd.station(), ST, "GetOrderedNetworks"))
    step("hidden access points", lambda: iwd.call(iwd.station(), ST, "GetHiddenAccessPoints"))
    step("objects after scan", iwd.objects)
    step("kernel scan dump", lab.iw_scan_dump)
    step("iwctl get-networks", lambda: labenv.iwctl("station", "wlan0", "get-networks"))
    step("iwctl get-networks rssi-dbms", lambda: labenv.iwctl("station", "wlan0", "get-networks", "rssi-dbms"))
    step("iwctl show", lambda: labenv.iwctl("station", "wlan0", "show"))
    step("iwctl device list", lambda: labenv.iwctl("device", "list"))
    step("iwctl adapter list", lambda: labenv.iwctl("adapter", "list"))

    step("connect wpa2 no agent answer", lambda: connect("Lab WPA2", [("sleep", 200, "x")], timeout=150))
    step("connect wpa2 canceled", lambda: connect("Lab WPA2", [None]))
    step("connect wpa2 wrong", lambda: connect("Lab WPA2", ["wrong password"]))
    step("connect wpa2 right", lambda: connect("Lab WPA2", ["correct horse"]))
    step("objects connected", iwd.objects)
    step("diagnostics", lambda: iwd.call(iwd.station(), "net.connman.iwd.StationDiagnostic", "GetDiagnostics"))
    step("iwctl show connected", lambda: labenv.iwctl("station", "wlan0", "show"))
    step("iwctl get-networks connected", lambda: labenv.iwctl("station", "wlan0", "get-networks", "rssi-dbms"))
    step("iwctl known-networks", lambda: labenv.iwctl("known-networks", "list"))
    step("ip addr", lambda: labenv.sh("ip", "addr", "show", "wlan0"))
    step("connect same again", lambda: connect("Lab WPA2", [], settle=1))
    step("disconnect", disconnect)
    step("disconnect again", lambda: iwd.call(iwd.station(), ST, "Disconnect"))
    step("known rejoin", lambda: connect("Lab WPA2", ["should not be asked"]))
    step("join other while connected", lambda: connect("Lab Open", []))
    step("disconnect b", disconnect)

    # A stored passphrase that no longer works (iwd reloads a file changed under it).
    def outdated():
        with open("/var/lib/iwd/Lab WPA2.psk", "w") as f:
            f.write("[Security]\nPassphrase=outdated pass\n")
        time.sleep(2)
        return lab.iwd_files()
    step("stored outdated", outdated)
    step("known with outdated stored", lambda: connect("Lab WPA2", ["typed wrong 1"]))
    step("known after outdated, typed wrong", lambda: connect("Lab WPA2", ["typed wrong 2"]))
    step("known after typed wrong, again", lambda: connect("Lab WPA2", ["typed wrong 3"]))
    step("known typed right", lambda: connect("Lab WPA2", ["correct horse"]))
    step("disconnect 2", disconnect)

    # Disconnect while a join waits for its handshake, and while the agent is asked.
    def abort_join():
        iwd.agent.answers = [("sleep", 4, "sae secret 1")]
        pending = iwd.call_async(iwd.network("Lab SAE"), NET, "Connect")
        time.sleep(1)
        out = {"disconnect": iwd.call(iwd.station(), ST, "Disconnect")}
        pending.pop("wait")(30)
        time.sleep(5)
        out.update(join=pending, cancels=iwd.agent.cancels[-2:], files=sorted(lab.iwd_files()),
                   state=iwd.props(iwd.station(), ST).get("State"))
        return out
    step("disconnect while asked", abort_join)

    step("connect sae", lambda: connect("Lab SAE", ["sae secret 1"]))
    step("connect transition", lambda: connect("Lab Transition", ["both kinds 2"]))
    step("connect owe", lambda: connect("Lab OWE", []))
    step("connect open", lambda: connect("Lab Open", []))
    step("connect nodhcp", lambda: connect("Lab No DHCP", [], timeout=90, settle=40))
    step("station after nodhcp", lambda: iwd.props(iwd.station(), ST))
    step("disconnect 3", disconnect)
    step("connect enterprise", lambda: connect("Lab Enterprise", []))
    step("connect 6ghz", lambda: connect("Lab 6 GHz", ["six ghz pass"]))
    step("connect mesh wrong", lambda: connect("Lab Mesh", ["mesh wrong 12"]))
    step("known networks objects", lambda: {p: i for p, i in iwd.objects().items()
                                             if "net.connman.iwd.KnownNetwork" in i})
    step("networks with known", lambda: {p: i for p, i in iwd.objects().items() if NET in i})
    step("disconnect 4", disconnect)

    # A join while another is waiting for its passphrase.
    def overlapping():
        iwd.call(iwd.station(), ST, "Disconnect")
        iwd.agent.answers = [("sleep", 3, "mesh pass 12")]
        first = iwd.call_async(iwd.network("Lab Mesh"), NET, "Connect")
        time.sleep(0.5)
        results = {"second": iwd.call(iwd.network("Lab SAE"), NET, "Connect")}
        first.pop("wait")(30)
        results["first"] = first
        time.sleep(5)
        results["cancels"] = iwd.agent.cancels[-3:]
        results["state"] = iwd.props(iwd.station(), ST).get("State")
        return results
    step("overlapping joins", overlapping)

    group[0] = "netconfig"
    step("netconfig wpa2", lambda: (disconnect(), forget_all(), connect("Lab WPA2", ["correct horse"], settle=3))[2])
    step("netconfig ip", lambda: labenv.sh("ip", "-4", "addr", "show", "wlan0"))
    step("netconfig open", lambda: connect("Lab Open", [], settle=3))
    step("netconfig nodhcp", lambda: connect("Lab No DHCP", [], timeout=120, settle=3))
    step("netconfig nodhcp later", lambda: [(time.sleep(10), iwd.props(iwd.station(), ST))[1] for _ in range(6)])
    step("netconfig nodhcp files", lab.iwd_files)
    step("netconfig disconnect", disconnect)
    step("netconfig wrong new", lambda: connect("Lab SAE", ["wrong sae 1"], settle=3))

    group[0] = "killed"
    # The process that joins (and is the agent) is killed: while iwd asks it,
    # and just after it answered.
    def killed(network, answer):
        disconnect()
        for path, ifaces in iwd.objects().items():
            if ifaces.get("net.connman.iwd.KnownNetwork", {}).get("Name") == network:
                iwd.call(path, "net.connman.iwd.KnownNetwork", "Forget")
        time.sleep(1)
        script = ("import dbus, dbus.service, dbus.mainloop.glib, os, sys, time\n"
                  "from gi.repository import GLib\n"
                  "dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)\n"
                  "bus = dbus.SystemBus()\n"
                  "class A(dbus.service.Object):\n"
                  "    @dbus.service.method('net.connman.iwd.Agent', in_signature='o', out_signature='s',"
                  " async_callbacks=('r','e'))\n"
                  "    def RequestPassphrase(self, n, r, e):\n"
                  "        print('asked', flush=True)\n"
                  "        if not sys.argv[2]: os._exit(9)\n"
                  "        r(sys.argv[2]); bus.flush(); GLib.timeout_add(50, lambda: os._exit(9))\n"
                  "A(bus, '/a')\n"
                  "print(bus.get_object('net.connman.iwd','/net/connman/iwd').RegisterAgent(dbus.ObjectPath('/a'),"
                  " dbus_interface='net.connman.iwd.AgentManager'), flush=True)\n"
                  "n = bus.get_object('net.connman.iwd', sys.argv[1])\n"
                  "n.Connect(dbus_interface='net.connman.iwd.Network', reply_handler=lambda: None,"
                  " error_handler=lambda e: print(e, flush=True))\n"
                  "GLib.MainLoop().run()\n")
        t0 = time.monotonic()
        p = subprocess.run(["/usr/bin/python3", "-c", script, iwd.network(network), answer],
                           capture_output=True, text=True, timeout=60)
        states = []
        for _ in range(20):
            states.append(iwd.props(iwd.station(), ST).get("State"))
            time.sleep(0.5)
        return {"rc": p.returncode, "out": p.stdout, "err": p.stderr[-500:], "states": states,
                "our agent asked": [r for r in iwd.agent.requests if r[0] >= t0],
                "files": sorted(lab.iwd_files())}
    step("killed while asked", lambda: killed("Lab Transition", ""))
    step("killed after a wrong answer", lambda: killed("Lab Transition", "wrong both 2"))
    step("killed after the right answer", lambda: killed("Lab Transition", "both kinds 2"))
    step("our agent after the other left", lambda: connect("Lab Mesh", ["mesh pass 12"]))

    group[0] = "hidden"
    # Hidden networks.
    def hidden():
        disconnect()
        out = {"not found": iwd.call(iwd.station(), ST, "ConnectHiddenNetwork", "No Such Net"),
               "visible name": iwd.call(iwd.station(), ST, "ConnectHiddenNetwork", "Lab Open"),
               "wrong": connect("Lab Hidden", ["wrong hidden"], hidden=True),
               "join": connect("Lab Hidden", ["hidden pass"], hidden=True),
               "objects": {p: i for p, i in iwd.objects().items() if NET in i or "KnownNetwork" in str(i)}}
        out["again"] = iwd.call(iwd.station(), ST, "ConnectHiddenNetwork", "Lab Hidden")
        disconnect()
        iwd.scan()
        out["ordered after"] = iwd.call(iwd.station(), ST, "GetOrderedNetworks")
        out["hidden after"] = iwd.call(iwd.station(), ST, "GetHiddenAccessPoints")
        out["network objects after"] = {p: i for p, i in iwd.objects().items() if NET in i}
        out["connect known hidden"] = connect("Lab Hidden", [])
        disconnect()
        return out
    step("hidden", hidden)

    group[0] = "hidden2"
    def hidden2():
        disconnect()
        forget_all()
        iwd.scan()
        out = {"visible unknown": iwd.call(iwd.station(), ST, "ConnectHiddenNetwork", "Lab Open"),
               "wrong": connect("Lab Hidden", ["wrong hidden"], hidden=True),
               "networks after wrong": sorted(i[NET]["Name"] for p, i in iwd.objects().items() if NET in i)}
        iwd.agent.answers = [("sleep", 40, "x")]
        pending = iwd.call_async(iwd.station(), ST, "ConnectHiddenNetwork", "Lab Hidden")
        time.sleep(12)
        out["disconnect while hidden asks"] = iwd.call(iwd.station(), ST, "Disconnect")
        pending.pop("wait")(60)
        out["hidden join after disconnect"] = pending
        return out
    step("hidden2", hidden2)

    group[0] = "forget"
    # Forget, autoconnect.
    def forget():
        known = {p: i["net.connman.iwd.KnownNetwork"] for p, i in iwd.objects().items()
                 if "net.connman.iwd.KnownNetwork" in i}
        path = next(p for p, k in known.items() if k.get("Name") == "Lab SAE")
        out = {"set autoconnect": iwd.set(path, "net.connman.iwd.KnownNetwork", "AutoConnect", dbus.Boolean(False))}
        time.sleep(1)
        out["file"] = lab.iwd_files().get("Lab SAE.psk")
        out["rejoin keeps autoconnect"] = connect("Lab SAE", [])
        out["props after"] = iwd.props(path, "net.connman.iwd.KnownNetwork")
        disconnect()
        out["forget"] = iwd.call(path, "net.connman.iwd.KnownNetwork", "Forget")
        out["files"] = sorted(lab.iwd_files())
        return out
    step("forget", forget)

    def rfkill(block=None, unblock=False):
        out = {}
        for switch in sorted(os.listdir("/sys/class/rfkill")):
            base = f"/sys/class/rfkill/{switch}"
            if not os.path.exists(f"{base}/name"):
                continue  # a radio of the access points' namespace
            name = open(f"{base}/name").read().strip()
            if block == name:
                open(f"{base}/soft", "w").write("1")
            if unblock:
                open(f"{base}/soft", "w").write("0")
            out[name] = (open(f"{base}/type").read().strip(), open(f"{base}/soft").read().strip())
        return out

    group[0] = "radio"
    # Radio off and on: the adapter's Powered, and the device's.
    def radio():
        adapter = iwd.find("net.connman.iwd.Adapter")[0]
        device = iwd.find("net.connman.iwd.Device")[0]
        t0 = time.monotonic()
        out = {"adapter": adapter, "device": device, "off": iwd.set(adapter, "net.connman.iwd.Adapter", "Powered",
                                                                      dbus.Boolean(False))}
        time.sleep(2)
        out["objects off"] = iwd.objects()
        out["rfkill off"] = rfkill()
        out["scan off"] = iwd.call(device, ST, "Scan")
        out["on"] = iwd.set(adapter, "net.connman.iwd.Adapter", "Powered", dbus.Boolean(True))
        time.sleep(3)
        out["objects on"] = iwd.objects()
        out["device off"] = iwd.set(device, "net.connman.iwd.Device", "Powered", dbus.Boolean(False))
        time.sleep(2)
        out["objects device off"] = {p: list(i) for p, i in iwd.objects().items()}
        out["device on"] = iwd.set(device, "net.connman.iwd.Device", "Powered", dbus.Boolean(True))
        time.sleep(3)
        out["objects device on"] = {p: list(i) for p, i in iwd.objects().items()}
        out["signals"] = [(round(t - t0, 2), p, i, m, a) for t, p, i, m, a in iwd.signals_since(t0)][:80]
        out["rfkill block"] = rfkill(block="phy0")
        time.sleep(2)
        out["objects rfkill"] = iwd.objects()
        out["scan blocked"] = iwd.call(device, ST, "Scan")
        rfkill(unblock=True)
        time.sleep(3)
        out["objects unblocked"] = {p: list(i) for p, i in iwd.objects().items()}
        return out
    step("radio", radio)

    group[0] = "restart"
    # iwd restarting: the station's new path.
    def restart():
        before = iwd.station()
        lab.stop_iwd()
        time.sleep(1)
        env = dict(os.environ, CONFIGURATION_DIRECTORY=f"{labenv.RUN}/iwd-conf", STATE_DIRECTORY=labenv.IWD_STATE)
        lab.processes["iwd"] = subprocess.Popen(["/usr/libexec/iwd", "-d"], env=env,
                                                 stdout=open(f"{lab.results}/iwd.log", "ab"), stderr=subprocess.STDOUT)
        t0 = time.monotonic()
        labenv.wait_for("iwd", lambda: labenv.name_has_owner("net.connman.iwd"), timeout=30)
        labenv.wait_for("station", lambda: iwd.station(), timeout=30)
        return {"before": before, "after": iwd.station(), "seconds": time.monotonic() - t0,
                "objects": {p: list(i) for p, i in iwd.objects().items()}}
    step("restart", restart)

    with open(os.path.join(lab.results, "iwd_observe.json"), "w") as f:
        json.dump(facts, f, indent=1, default=str)
    check.true("observed", True)
