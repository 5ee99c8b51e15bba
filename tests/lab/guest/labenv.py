"""The lab's radio environment inside the VM: mac80211_hwsim radios, the
access points (hostapd) with their DHCP servers in the namespace "ap", and the
client's stack (system bus, udev, wpa_supplicant, NetworkManager or iwd) on
radio 0 in the root namespace.

Everything here runs as root inside the VM, where nothing can leave: the VM
has no network device."""

import json
import os
import shutil
import signal
import subprocess
import time

RUN = "/run/lab"
AP_NS = "ap"


def sh(*args, check=True, ns=None, timeout=60, **kw):
    """Runs a command and returns its standard output as text."""
    cmd = list(args)
    if ns:
        cmd = ["ip", "netns", "exec", ns] + cmd
    r = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kw)
    if check and r.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: exit {r.returncode}: {r.stderr.strip()}")
    return r.stdout


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


class AccessPoint:
    """One access point: a hostapd on a radio of its own in the namespace "ap".

    `name` is a short handle for the scenarios; `ssid` the broadcast name as
    bytes; `settings` extra hostapd lines (security, hidden, …); `tx_mbm` the
    transmit power in mBm (the client then hears tx - 50 dB); `dhcp` whether
    the subnet has a DHCP server."""

    def __init__(self, name, ssid, channel, settings="", tx_mbm=1000, dhcp=True, hw_mode=None,
                 password=None):
        self.name = name
        self.ssid = ssid if isinstance(ssid, bytes) else ssid.encode()
        self.channel = channel
        self.settings = settings
        self.tx_mbm = tx_mbm
        self.dhcp = dhcp
        self.hw_mode = hw_mode or ("g" if channel <= 14 else "a")
        self.password = password
        self.radio = None  # index of the hwsim radio, set by the lab
        self.ifname = None
        self.bssid = None
        self.subnet = None
        self.process = None

    @property
    def address(self):
        return f"10.0.{self.subnet}.1"

    def config(self):
        lines = [
            f"interface={self.ifname}",
            "driver=nl80211",
            f"ctrl_interface={RUN}/hostapd",
            f"ssid2={self.ssid.hex()}",
            f"hw_mode={self.hw_mode}",
            f"channel={self.channel}",
            "country_code=DE",
        ]
        return "\n".join(lines) + "\n" + self.settings.strip() + "\n"


class Lab:
    def __init__(self, results, access_points, radios_extra=0):
        self.results = results
        self.aps = access_points
        self.radio_count = 1 + len(access_points) + radios_extra
        self.processes = []
        self.daemon = None
        os.makedirs(RUN, exist_ok=True)

    # -- the radios and the access points ---------------------------------

    def start_radios(self):
        sh("modprobe", "mac80211_hwsim", f"radios={self.radio_count}")
        wait_for("the hwsim radios", lambda: len(os.listdir("/sys/class/ieee80211")) >= self.radio_count)
        # Regulatory domain with 5 and 6 GHz channels usable for beacons.
        sh("iw", "reg", "set", "DE")
        sh("ip", "netns", "add", AP_NS)
        sh("ip", "link", "set", "lo", "up", ns=AP_NS)
        phys = self._phys_by_index()
        for i, ap in enumerate(self.aps, start=1):
            ap.radio = i
            ap.subnet = i
            phy, ifname, mac = phys[i]
            ap.ifname = ifname
            ap.bssid = mac
            sh("iw", "phy", phy, "set", "netns", "name", AP_NS)

    def _phys_by_index(self):
        """(phy, interface, address) by radio index, read from sysfs."""
        out = {}
        for phy in os.listdir("/sys/class/ieee80211"):
            index = int(open(f"/sys/class/ieee80211/{phy}/index").read())
            nets = os.listdir(f"/sys/class/ieee80211/{phy}/device/net")
            ifname = nets[0]
            mac = open(f"/sys/class/net/{ifname}/address").read().strip()
            out[index] = (phy, ifname, mac)
        return out

    def start_access_points(self):
        os.makedirs(f"{RUN}/hostapd", exist_ok=True)
        import radios
        with open(f"{RUN}/eap_users", "w") as f:
            f.write(radios.EAP_USERS)
        for ap in self.aps:
            self.start_ap(ap)
        for ap in self.aps:
            self.wait_ap_enabled(ap)

    def start_ap(self, ap):
        conf = f"{RUN}/hostapd-{ap.name}.conf"
        with open(conf, "w") as f:
            f.write(ap.config())
        sh("ip", "addr", "flush", "dev", ap.ifname, ns=AP_NS)
        sh("ip", "addr", "add", f"{ap.address}/24", "dev", ap.ifname, ns=AP_NS)
        log = open(f"{self.results}/hostapd-{ap.name}.log", "ab")
        ap.process = subprocess.Popen(["ip", "netns", "exec", AP_NS, "hostapd", "-t", conf],
                                      stdout=log, stderr=subprocess.STDOUT)
        if ap.dhcp and not getattr(ap, "dhcpd", None):
            leases = f"{RUN}/udhcpd-{ap.name}.leases"
            open(leases, "w").close()
            dconf = f"{RUN}/udhcpd-{ap.name}.conf"
            with open(dconf, "w") as f:
                f.write(f"start 10.0.{ap.subnet}.100\nend 10.0.{ap.subnet}.150\n"
                        f"interface {ap.ifname}\nlease_file {leases}\n"
                        f"option subnet 255.255.255.0\noption router {ap.address}\noption lease 3600\n")
            ap.dhcpd = subprocess.Popen(["ip", "netns", "exec", AP_NS, "busybox", "udhcpd", "-f", dconf],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_ap_enabled(self, ap):
        def enabled():
            r = subprocess.run(["ip", "netns", "exec", AP_NS, "hostapd_cli", "-p", f"{RUN}/hostapd",
                                "-i", ap.ifname, "status"], capture_output=True, text=True)
            return "state=ENABLED" in r.stdout
        wait_for(f"hostapd of {ap.name}", enabled, timeout=30)
        # The level the client hears follows the transmit power.
        sh("iw", "dev", ap.ifname, "set", "txpower", "fixed", str(ap.tx_mbm), ns=AP_NS)

    def restart_ap(self, ap):
        """hostapd does not come back by itself after an rfkill block: start it again."""
        if ap.process:
            ap.process.terminate()
            ap.process.wait(10)
        self.start_ap(ap)
        self.wait_ap_enabled(ap)

    # -- the client's stack -----------------------------------------------

    def start_bus_and_udev(self):
        os.makedirs("/run/dbus", exist_ok=True)
        sh("dbus-daemon", "--system", "--fork")
        subprocess.Popen(["/lib/systemd/systemd-udevd", "--daemon"]).wait()
        sh("udevadm", "trigger", "--action=add")
        sh("udevadm", "settle", "--timeout=30")

    def start_networkmanager(self):
        """wpa_supplicant on the bus, then NetworkManager with keyfile profiles
        managing wlan0 only; returns when wlan0 is ready to scan."""
        for d in ("/etc/NetworkManager/system-connections", "/var/lib/NetworkManager"):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d, mode=0o700, exist_ok=True)
        with open(f"{RUN}/nm.conf", "w") as f:
            f.write("[main]\nplugins=keyfile\ndns=none\nno-auto-default=*\n"
                    "[keyfile]\nunmanaged-devices=except:interface-name:wlan0\n"
                    "[device]\nwifi.scan-rand-mac-address=no\n"
                    "[connectivity]\nenabled=false\n"
                    "[logging]\nlevel=INFO\n")
        wpa_log = open(f"{self.results}/wpa_supplicant.log", "ab")
        self.wpa = subprocess.Popen(["wpa_supplicant", "-u", "-O", f"{RUN}/wpa_supplicant", "-t"],
                                    stdout=wpa_log, stderr=subprocess.STDOUT)
        nm_log = open(f"{self.results}/NetworkManager.log", "ab")
        self.daemon = subprocess.Popen(["NetworkManager", "--no-daemon", f"--config={RUN}/nm.conf"],
                                       stdout=nm_log, stderr=subprocess.STDOUT)

        def wlan0_ready():
            r = subprocess.run(["nmcli", "-t", "-f", "DEVICE,TYPE,STATE", "device"],
                               capture_output=True, text=True)
            return any(line.startswith("wlan0:wifi:") and not line.endswith(("unmanaged", "unavailable"))
                       for line in r.stdout.splitlines())
        wait_for("NetworkManager managing wlan0", wlan0_ready, timeout=60)

    def stop_networkmanager(self):
        for p in (self.daemon, getattr(self, "wpa", None)):
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(15)
                except subprocess.TimeoutExpired:
                    p.kill()
        self.daemon = None

    # -- reference views --------------------------------------------------

    def iw_scan_dump(self, dev="wlan0"):
        """The kernel's scan results: {bssid: {"freq", "signal_dbm", "ssid_hex", ...}}."""
        out = sh("iw", "dev", dev, "scan", "dump")
        bss = {}
        current = None
        for line in out.splitlines():
            if line.startswith("BSS "):
                mac = line[4:21]
                current = bss.setdefault(mac, {"associated": "associated" in line})
            elif current is not None:
                s = line.strip()
                if s.startswith("freq:"):
                    current["freq"] = int(float(s.split()[1]))
                elif s.startswith("signal:"):
                    current["signal_dbm"] = float(s.split()[1])
                elif s.startswith("SSID:"):
                    current["ssid_text"] = s[5:].strip()
        return bss

    def iw_link(self, dev="wlan0"):
        out = sh("iw", "dev", dev, "link", check=False)
        link = {}
        for line in out.splitlines():
            s = line.strip()
            if s.startswith("Connected to "):
                link["bssid"] = s.split()[2]
            elif s.startswith("signal:"):
                link["signal_dbm"] = int(s.split()[1])
            elif s.startswith("freq:"):
                link["freq"] = int(float(s.split()[1]))
        return link

    def nmcli_list(self):
        """NetworkManager's list: [{ssid_hex, bssid, freq, signal, security}]."""
        out = sh("nmcli", "-t", "-e", "yes", "-f", "SSID-HEX,BSSID,FREQ,SIGNAL,SECURITY",
                 "dev", "wifi", "list", "--rescan", "no")
        rows = []
        for line in out.splitlines():
            fields = split_terse(line)
            if len(fields) != 5:
                continue
            rows.append({"ssid_hex": fields[0].lower(), "bssid": fields[1].lower(),
                         "freq": int(fields[2].split()[0]), "signal": int(fields[3]),
                         "security": fields[4]})
        return rows

    def nm_rescan(self, ssid=None):
        args = ["nmcli", "dev", "wifi", "rescan"]
        if ssid:
            args += ["ssid", ssid]
        subprocess.run(args, capture_output=True, text=True, timeout=60)


def split_terse(line):
    """Splits a line of `nmcli -t -e yes` at unescaped colons."""
    fields, cur, esc = [], "", False
    for ch in line:
        if esc:
            cur += ch
            esc = False
        elif ch == "\\":
            esc = True
        elif ch == ":":
            fields.append(cur)
            cur = ""
        else:
            cur += ch
    fields.append(cur)
    return fields


def write_json(path, value):
    with open(path, "w") as f:
        json.dump(value, f, indent=1)
