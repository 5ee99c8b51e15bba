"""Access points for the kernel's radio figures: a level well above -40 dBm
(where NetworkManager's percentage saturates), 40 and 80 MHz channels,
country elements and a BSS Load. radios.environment() adds them to the lab.

Debian's hostapd has no noscan=1, and its start-up scan narrows a channel
that overlaps a neighbour's to 20 MHz, so the wide ones sit where no other
access point of the lab is: channels 149-161 (VHT80) and 165/169 (HT40),
where the regulatory domain DE allows 14 dBm. Every access point keeps the
lab's country DE (hostapd sets the kernel's regulatory domain from it, for
all radios at once); these three announce it (ieee80211d=1), the others do
not."""

from labenv import AccessPoint

# What hostapd is told to send, for the scenario's expectations (the kernel's
# view is checked against iw's; this says what both should show).
EXPECTED = {
    "vht80": {"width": 80, "country": "DE", "load": None},
    "ht40": {"width": 40, "country": "DE", "load": None},
    "load": {"width": 20, "country": "DE", "load": (3, 200)},
}


def access_points():
    return [
        AccessPoint("vht80", "Lab VHT80", 149,
                    "ieee80211n=1\nieee80211ac=1\nht_capab=[HT40+]\nvht_oper_chwidth=1\n"
                    "vht_oper_centr_freq_seg0_idx=155\nieee80211d=1\n", tx_mbm=1400),
        AccessPoint("ht40", "Lab HT40", 165, "ieee80211n=1\nht_capab=[HT40+]\nieee80211d=1\n", tx_mbm=1300),
        AccessPoint("load", "Lab Load", 36, "ieee80211d=1\nbss_load_test=3:200:10000\n", tx_mbm=2300),
    ]
