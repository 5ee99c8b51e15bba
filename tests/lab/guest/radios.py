"""The radio environment every lab run starts with. Each access point has a
distinct transmit power, so the client hears each at a distinct level
(mac80211_hwsim: received dBm = transmit dBm - 50)."""

from labenv import AccessPoint

WPA2 = "wpa=2\nwpa_key_mgmt=WPA-PSK\nrsn_pairwise=CCMP\nwpa_passphrase={pw}\n"
SAE = "wpa=2\nwpa_key_mgmt=SAE\nrsn_pairwise=CCMP\nieee80211w=2\nsae_pwe=2\nsae_password={pw}\n"
TRANSITION = ("wpa=2\nwpa_key_mgmt=WPA-PSK SAE\nrsn_pairwise=CCMP\nieee80211w=1\nsae_pwe=2\n"
              "wpa_passphrase={pw}\nsae_password={pw}\n")
OWE = "wpa=2\nwpa_key_mgmt=OWE\nrsn_pairwise=CCMP\nieee80211w=2\n"
EAP = ("ieee8021x=1\neap_server=1\neap_user_file={run}/eap_users\nwpa=2\nwpa_key_mgmt=WPA-EAP\n"
       "rsn_pairwise=CCMP\n")

# A name that tries everything: bytes that are not UTF-8, a right-to-left
# override, an escape sequence and a bell.
HOSTILE = b"\xff\xfeLab\xe2\x80\xaeevil\x1b[31m\x07"


def environment():
    run = "/run/lab"
    return [
        AccessPoint("wpa2", "Lab WPA2", 1, WPA2.format(pw="correct horse"), tx_mbm=1400,
                    password="correct horse"),
        AccessPoint("sae", "Lab SAE", 6, SAE.format(pw="sae secret 1"), tx_mbm=1300, password="sae secret 1"),
        AccessPoint("transition", "Lab Transition", 11, TRANSITION.format(pw="both kinds 2"), tx_mbm=1200,
                    password="both kinds 2"),
        AccessPoint("owe", "Lab OWE", 36, OWE, tx_mbm=1100),
        AccessPoint("open", "Lab Open", 40, "", tx_mbm=1000),
        AccessPoint("nodhcp", "Lab No DHCP", 44, "", tx_mbm=900, dhcp=False),
        AccessPoint("eap", "Lab Enterprise", 48, EAP.format(run=run), tx_mbm=800),
        AccessPoint("hidden", "Lab Hidden", 1, WPA2.format(pw="hidden pass") + "ignore_broadcast_ssid=1\n",
                    tx_mbm=700, password="hidden pass"),
        AccessPoint("mesh1", "Lab Mesh", 1, WPA2.format(pw="mesh pass 12"), tx_mbm=600, password="mesh pass 12"),
        AccessPoint("mesh2", "Lab Mesh", 6, WPA2.format(pw="mesh pass 12"), tx_mbm=500, password="mesh pass 12"),
        AccessPoint("mesh3", "Lab Mesh", 36, WPA2.format(pw="mesh pass 12"), tx_mbm=400, password="mesh pass 12"),
        AccessPoint("hostile", HOSTILE, 11, "", tx_mbm=300),
        AccessPoint("6ghz", "Lab 6 GHz", 5,
                    "op_class=131\nieee80211ax=1\nwpa=2\nwpa_key_mgmt=SAE\nrsn_pairwise=CCMP\nieee80211w=2\n"
                    "sae_pwe=1\nsae_password=six ghz pass\n", tx_mbm=1500, hw_mode="a",
                    password="six ghz pass"),
    ]


# hostapd's own EAP server: EAP-pwd needs no certificates.
EAP_USERS = '"lab-user" PWD "lab-password"\n'
