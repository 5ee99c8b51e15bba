"""The lab's radio environment inside the VM: mac80211_hwsim radios, the
access points (hostapd) with their DHCP servers in the namespace "ap", and the
client's stack (system bus, udev, then NetworkManager with wpa_supplicant, or
iwd) on radio 0 (wlan0) in the root namespace.

Everything here runs as root inside the VM, where nothing can leave: the VM
has no network device. Process starts are slow under emulation, so the
bring-up batches commands into one shell where it can and waits for several
things at once."""

import json
import os
import re
import shutil
import signal
import subprocess
import time

RUN = "/run/lab"
IWD_STATE = "/var/lib/iwd"
AP_NS = "ap"
CLIENT = "wlan0"


def log(message):
    """One time-stamped line in guest.log (seconds since the VM booted)."""
    print(f"[{time.monotonic():7.1f}] {message}", flush=True)


def sh(*args, check=True, ns=None, timeout=60, **kw):
    """Runs a command and returns its standard output as text."""
    cmd = list(args)
    if ns:
        cmd = ["ip", "netns", "exec", ns] + cmd
    r = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kw)
    if check and r.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: exit {r.returncode}: {r.stderr.strip()}")
    return r.stdout


def script(lines, ns=None, timeout=60):
    """Runs shell lines in one shell (one process start instead of many); stops at the first failure."""
    return sh("sh", "-ec", "\n".join(lines), ns=ns, timeout=timeout)


def wait_for(what, test, timeout=30.0, step=0.2):
    """Polls `test` until it returns something true; raises after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = test()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(step)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode(errors="replace")
    except FileNotFoundError:
        return ""


class AccessPoint:
    """One access point: a hostapd on a radio of its own in the namespace "ap".

    `name` is a short handle for the scenarios; `ssid` the broadcast name as
    bytes; `settings` extra hostapd lines (security, hidden, ...); `tx_dbm`
    the transmit power in whole dBm (or `tx_mbm` in mBm; the client hears
    tx - 50 dBm); `dhcp` whether the subnet has a DHCP server; `security`
    the word Ondrel's JSON uses for it."""

    def __init__(self, name, ssid, channel, settings="", tx_dbm=10, dhcp=True, hw_mode=None,
                 password=None, security="open", freq=None, tx_mbm=None):
        self.name = name
        self.ssid = ssid if isinstance(ssid, bytes) else ssid.encode()
        self.channel = channel
        self.settings = settings
        self.tx_dbm = tx_mbm // 100 if tx_mbm is not None else tx_dbm
        self.dhcp = dhcp
        self.hw_mode = hw_mode or ("g" if channel <= 14 else "a")
        self.password = password
        self.security = security
        self.freq = freq
        self.hidden = "ignore_broadcast_ssid=1" in settings
        self.radio = None  # index of the hwsim radio, set by the lab
        self.ifname = None
        self.bssid = None
        self.subnet = None
        self.dhcpd = None

    @property
    def address(self):
        return f"10.0.{self.subnet}.1"

    @property
    def tx_mbm(self):
        return self.tx_dbm * 100

    @property
    def signal_dbm(self):
        return self.tx_dbm - 50

    def config(self):
        lines = [
            f"interface={self.ifname}",
            "driver=nl80211",
            f"ctrl_interface={RUN}/hostapd",
            f"ssid2={self.ssid.hex()}",
            f"hw_mode={self.hw_mode}",
            f"channel={self.channel}",
            "country_code=DE",
            "ieee80211d=1",
        ]
        return "\n".join(lines) + "\n" + self.settings.strip() + "\n"


class Lab:
    results = "/results"

    def __init__(self, results, access_points):
        Lab.results = results
        self.aps = access_points
        self.by_name = {ap.name: ap for ap in access_points}
        self.radio_count = 1 + len(access_points)
        self.daemon = None  # "nm", "iwd" or None
        self.processes = {}
        self.hostapd = None
        self.hostapd_log_start = 0
        self.ondrel = None  # the program's path
        self.app = None     # ondrel.Ondrel: runs it
        self.tools = {}
        os.makedirs(RUN, exist_ok=True)

    def ap(self, name):
        return self.by_name[name]

    # -- the radios and the access points ---------------------------------

    def start_radios(self):
        sh("modprobe", "mac80211_hwsim", f"radios={self.radio_count}")
        wait_for("the hwsim radios", lambda: len(os.listdir("/sys/class/ieee80211")) >= self.radio_count)
        phys = self._phys_by_index()
        lines = ["iw reg set DE", f"ip netns add {AP_NS}", f"ip netns exec {AP_NS} ip link set lo up"]
        for i, ap in enumerate(self.aps, start=1):
            ap.radio = ap.subnet = i
            phy, ap.ifname, ap.bssid = phys[i]
            lines.append(f"iw phy {phy} set netns name {AP_NS}")
        script(lines)

    def _phys_by_index(self):
        """(phy, interface, address) by radio index, read from sysfs."""
        out = {}
        for phy in os.listdir("/sys/class/ieee80211"):
            index = int(read(f"/sys/class/ieee80211/{phy}/index"))
            ifname = os.listdir(f"/sys/class/ieee80211/{phy}/device/net")[0]
            out[index] = (phy, ifname, read(f"/sys/class/net/{ifname}/address").strip())
        return out

    def start_access_points(self):
        """Starts one hostapd for every access point (one process: 13 starting
        at once take long under emulation) and a udhcpd per subnet with DHCP;
        wait_access_points() waits for them."""
        os.makedirs(f"{RUN}/hostapd", exist_ok=True)
        import radios
        with open(f"{RUN}/eap_users", "w") as f:
            f.write(radios.EAP_USERS)
        lines = []
        for ap in self.aps:
            with open(f"{RUN}/hostapd-{ap.name}.conf", "w") as f:
                f.write(ap.config())
            lines += [f"ip addr flush dev {ap.ifname}", f"ip addr add {ap.address}/24 dev {ap.ifname}"]
        script(lines, ns=AP_NS)
        self.hostapd_log_start = len(read(self.hostapd_log))
        out = open(self.hostapd_log, "ab")
        self.hostapd = subprocess.Popen(["ip", "netns", "exec", AP_NS, "hostapd", "-t"] +
                                        [f"{RUN}/hostapd-{ap.name}.conf" for ap in self.aps],
                                        stdout=out, stderr=subprocess.STDOUT)
        for ap in self.aps:
            if ap.dhcp and not ap.dhcpd:
                self._spawn_udhcpd(ap)

    @property
    def hostapd_log(self):
        return f"{self.results}/hostapd.log"

    def _spawn_udhcpd(self, ap):
        leases = f"{RUN}/udhcpd-{ap.name}.leases"
        open(leases, "w").close()
        conf = f"{RUN}/udhcpd-{ap.name}.conf"
        with open(conf, "w") as f:
            f.write(f"start 10.0.{ap.subnet}.100\nend 10.0.{ap.subnet}.150\n"
                    f"interface {ap.ifname}\nlease_file {leases}\n"
                    f"option subnet 255.255.255.0\noption router {ap.address}\noption lease 3600\n")
        ap.dhcpd = subprocess.Popen(["ip", "netns", "exec", AP_NS, "busybox", "udhcpd", "-f", conf],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def ap_log(self, ap, since=0):
        """What hostapd logged about this access point since it was last started (or since
        the offset `since` of its whole log)."""
        text = read(self.hostapd_log)[max(since, self.hostapd_log_start):]
        return "\n".join(line for line in text.splitlines() if f" {ap.ifname}: " in line)

    def ap_log_mark(self):
        return len(read(self.hostapd_log))

    def nm_log_mark(self):
        return len(read(f"{self.results}/NetworkManager.log"))

    def nm_log(self, since=0):
        return read(f"{self.results}/NetworkManager.log")[since:]

    def wait_access_points(self, timeout=90):
        """Waits until hostapd says AP-ENABLED for every access point, then sets the transmit powers."""
        pending = list(self.aps)

        def all_enabled():
            if self.hostapd.poll() is not None:
                raise RuntimeError(f"hostapd exited: {read(self.hostapd_log)[-800:]}")
            text = read(self.hostapd_log)[self.hostapd_log_start:]
            pending[:] = [ap for ap in pending if f" {ap.ifname}: AP-ENABLED" not in text]
            return not pending
        wait_for("the access points", all_enabled, timeout)
        # The level the client hears follows the transmit power (mBm).
        script([f"iw dev {ap.ifname} set txpower fixed {ap.tx_dbm * 100}" for ap in self.aps], ns=AP_NS)

    def restart_access_points(self):
        """hostapd does not come back by itself after an rfkill block: start it again."""
        self.hostapd.terminate()
        self.hostapd.wait(15)
        self.start_access_points()
        self.wait_access_points()

    # -- the client's stack -----------------------------------------------

    def start_bus_and_udev(self):
        os.makedirs("/run/dbus", exist_ok=True)
        # Only the devices NetworkManager asks udev about: far fewer events
        # than every device of the machine, which take long under emulation.
        script(["dbus-daemon --system --fork", "/lib/systemd/systemd-udevd --daemon",
                "udevadm trigger --action=add --subsystem-match=net --subsystem-match=ieee80211 "
                "--subsystem-match=rfkill",
                "udevadm settle --timeout=60"])

    def _spawn(self, name, args):
        out = open(f"{self.results}/{name}.log", "ab")
        self.processes[name] = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT)
        return self.processes[name]

    def _stop(self, *names):
        for name in names:
            p = self.processes.pop(name, None)
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(15)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def start_networkmanager(self, wait=True):
        """wpa_supplicant on the bus, then NetworkManager with keyfile profiles
        managing wlan0 only; wait_networkmanager() returns once wlan0 can scan."""
        for d in ("/etc/NetworkManager/system-connections", "/var/lib/NetworkManager"):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d, mode=0o700, exist_ok=True)
        with open(f"{RUN}/nm.conf", "w") as f:
            f.write("[main]\nplugins=keyfile\ndns=none\nno-auto-default=*\n"
                    f"[keyfile]\nunmanaged-devices=except:interface-name:{CLIENT}\n"
                    "[device]\nwifi.scan-rand-mac-address=no\n"
                    "[connectivity]\nenabled=false\n"
                    # A network without DHCP fails in 20 s rather than the default 45.
                    "[connection]\nipv4.dhcp-timeout=20\nipv6.ra-timeout=20\n"
                    "[logging]\nlevel=INFO\n")
        self._spawn("wpa_supplicant", ["wpa_supplicant", "-u", "-O", f"{RUN}/wpa_supplicant", "-t"])
        self._spawn("NetworkManager", ["NetworkManager", "--no-daemon", "--debug", f"--config={RUN}/nm.conf"])
        self.daemon = "nm"
        if wait:
            self.wait_networkmanager()

    def wait_networkmanager(self, timeout=60):
        def ready():
            r = subprocess.run(["nmcli", "-t", "-f", "DEVICE,TYPE,STATE", "device"], capture_output=True, text=True)
            return any(line.startswith(f"{CLIENT}:wifi:") and not line.endswith(("unmanaged", "unavailable"))
                       for line in r.stdout.splitlines())
        wait_for(f"NetworkManager managing {CLIENT}", ready, timeout=timeout, step=0.5)
        # Scans (NetworkManager's and the supplicant's own before a join) visit only the
        # access points' channels: a scan of every channel takes 5 s or more under emulation.
        sh("wpa_cli", "-p", f"{RUN}/wpa_supplicant", "-i", CLIENT, "set", "freq_list", self.frequencies())
        # NetworkManager scans by itself when it takes the device: wait until that scan is done (the
        # survey lists a channel once the running scan has visited it, the 6 GHz ones last), so that
        # the first scenario starts on a quiet radio, as a program started by a user does.
        wanted = {int(f) for f in self.frequencies().split()}
        wait_for("NetworkManager's first scan", lambda: wanted <= surveyed(), timeout=timeout, step=0.5)

    def frequencies(self):
        """The access points' frequencies in MHz, as wpa_supplicant's freq_list wants them."""
        def mhz(ap):
            if ap.hw_mode == "a" and "op_class=131" in ap.settings:
                return 5950 + 5 * ap.channel
            return 2407 + 5 * ap.channel if ap.channel <= 13 else 5000 + 5 * ap.channel
        return " ".join(str(f) for f in sorted({mhz(ap) for ap in self.aps}))

    def stop_networkmanager(self):
        self._stop("NetworkManager", "wpa_supplicant")
        self.daemon = None

    def start_iwd(self, network_configuration=True):
        """iwd alone on wlan0 (wpa_supplicant and NetworkManager must not run):
        its known networks in a tmpfs /var/lib/iwd, its own DHCP client
        (EnableNetworkConfiguration, as on systems where iwd runs alone);
        returns when iwd's station on wlan0 is ready to scan."""
        self.stop_networkmanager()
        os.makedirs(IWD_STATE, exist_ok=True)
        if not os.path.ismount(IWD_STATE):
            sh("mount", "-t", "tmpfs", "-o", "mode=0700", "tmpfs", IWD_STATE)
        os.makedirs(f"{RUN}/iwd-conf", exist_ok=True)
        with open(f"{RUN}/iwd-conf/main.conf", "w") as f:
            f.write("[General]\n"
                    f"EnableNetworkConfiguration={'true' if network_configuration else 'false'}\n"
                    "[Network]\nNameResolvingService=none\n"
                    "[Scan]\nDisablePeriodicScan=true\n")
        env = dict(os.environ, CONFIGURATION_DIRECTORY=f"{RUN}/iwd-conf", STATE_DIRECTORY=IWD_STATE)
        out = open(f"{self.results}/iwd.log", "ab")
        self.processes["iwd"] = subprocess.Popen(["/usr/libexec/iwd", "-d"], env=env, stdout=out,
                                                 stderr=subprocess.STDOUT)
        self.daemon = "iwd"
        # iwd is D-Bus activatable: a client that asks before this iwd owns
        # the name starts another one (without this configuration).
        wait_for("iwd on the bus", lambda: name_has_owner("net.connman.iwd"), timeout=60)
        if self.processes["iwd"].poll() is not None:
            raise RuntimeError("iwd did not start (another owns its name?)")
        wait_for(f"iwd's station on {CLIENT}", lambda: CLIENT in iwctl("station", "list"), timeout=60)

    def bring_up(self, daemon, timings):
        """Everything a scenario needs, overlapping the slow waits."""
        # Reads the program and its libraries over 9p while the radios come up.
        warm = subprocess.Popen([self.ondrel, "--version"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=self.app.env())
        self.start_radios()
        log("radios made")
        self.start_access_points()  # hostapd needs neither the bus nor udev
        self.start_bus_and_udev()
        log("bus and udev up")
        if daemon == "nm":
            self.start_networkmanager(wait=False)
        self.wait_access_points()
        timings["radios"] = time.monotonic()
        log("access points enabled")
        if daemon == "nm":
            self.wait_networkmanager()
        elif daemon == "iwd":
            self.start_iwd()
        timings["daemon"] = time.monotonic()
        warm.wait()
        log(f"{daemon} ready")


    # -- the reference views, as scenarios written for the first lab read them
    # (views.py has the full ones)

    def iw_link(self):
        import views
        return views.iw_link()

    def nmcli_list(self):
        import views
        return [dict(row, ssid_hex=row["ssid"].hex()) for row in views.nmcli_list()]

    def iw_scan_dump(self):
        import views
        return {b: dict(e, ssid_text=e["ssid"].decode(errors="replace")) for b, e in views.iw_scan_dump().items()}


ANSI = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")


def surveyed(dev=CLIENT):
    """The frequencies (MHz) the kernel's survey of `dev` lists."""
    out = sh("iw", "dev", dev, "survey", "dump", check=False)
    return {int(line.split()[1]) for line in out.splitlines() if line.strip().startswith("frequency:")}


def name_has_owner(name):
    """Whether a process owns `name` on the system bus (asking never starts one)."""
    r = subprocess.run(["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                        "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                       capture_output=True, text=True, timeout=30)
    return "boolean true" in r.stdout


def iwctl(*args, timeout=60):
    """iwctl's output without its colours (an empty text when it failed)."""
    r = subprocess.run(["iwctl", *args], capture_output=True, text=True, timeout=timeout)
    return ANSI.sub("", r.stdout)


def write_json(path, value):
    with open(path, "w") as f:
        json.dump(value, f, indent=1)
