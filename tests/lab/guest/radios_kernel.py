"""Access points for the kernel's radio figures: levels above -40 dBm (where
NetworkManager's percentage saturates), 40 and 80 MHz channels (noscan=1
keeps them beside overlapping neighbours), country elements of distinct
countries and a BSS Load. radios.environment() adds them to the lab."""

from labenv import AccessPoint

# What hostapd is told to send, for the scenario's expectations (the kernel's
# view is checked against iw's; this says what both should show).
EXPECTED = {
    "ht40": {"width": 40, "country": "FR", "load": None},
    "vht80": {"width": 80, "country": "DE", "load": None},
    "load": {"width": 20, "country": "NL", "load": (3, 200)},
}


def access_points():
    return [
        AccessPoint("ht40", "Lab HT40", 1,
                    "ieee80211n=1\nht_capab=[HT40+]\nnoscan=1\ncountry_code=FR\nieee80211d=1\n", tx_mbm=1900),
        AccessPoint("vht80", "Lab VHT80", 36,
                    "ieee80211n=1\nieee80211ac=1\nht_capab=[HT40+]\nvht_oper_chwidth=1\n"
                    "vht_oper_centr_freq_seg0_idx=42\nnoscan=1\ncountry_code=DE\nieee80211d=1\n", tx_mbm=2300),
        AccessPoint("load", "Lab Load", 6,
                    "ieee80211n=1\ncountry_code=NL\nieee80211d=1\nbss_load_test=3:200:10000\n", tx_mbm=1800),
    ]
