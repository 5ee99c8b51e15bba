"""Each kind of security joins as a new network: WPA3 (SAE), WPA2/WPA3
transition, OWE and open with DHCP; each is saved with the key management
NetworkManager needs for it."""

import joins
import views

KINDS = [  # access point, key management of the saved profile
    ("sae", "sae"),
    ("transition", "wpa-psk"),
    ("owe", "owe"),
    ("open", None),
]


def run(lab, check):
    for name, key_mgmt in KINDS:
        ap = lab.ap(name)
        run, doc = joins.join(lab, check, ap, ap.password)
        joins.judge_joined(lab, check, ap, run, doc, name)
        joins.judge_saved(check, ap, name, key_mgmt, ap.password)
        check.note(f"{name}: wpa_supplicant's key management {views.supplicant_status().get('key_mgmt')}")
