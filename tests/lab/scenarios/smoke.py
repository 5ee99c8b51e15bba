"""Ondrel's table against NetworkManager's and the kernel's lists."""

import json
import subprocess


def run(lab, check):
    lab.nm_rescan()
    out = subprocess.run([lab.ondrel, "--probe", "--json"], capture_output=True, text=True, timeout=120)
    doc = json.loads(out.stdout)
    nm = lab.nmcli_list()
    kernel = lab.iw_scan_dump()
    check.equal("exit status", 0, out.returncode)
    check.equal("number of access points", len(nm), len(doc["networks"]))
    print(json.dumps(doc, indent=1))
    print(nm)
    print(kernel)
