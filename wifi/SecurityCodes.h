#pragma once

#include <QMetaType>
#include <QtGlobal>

#include <initializer_list>

namespace ondrel {

// The security modes an access point can offer, numbered as the detection
// rules ask about them. Each backend translates what its system reports into
// a set of these codes; ScannedNetwork's detection then runs unchanged.
enum class SecurityCode {
    none = 0,               // no security at all (open)
    wep = 1,                // static WEP
    wpaPersonal = 2,        // WPA with a pre-shared key
    wpaPersonalMixed = 3,   // WPA/WPA2 mixed, pre-shared key
    wpa2Personal = 4,       // WPA2 with a pre-shared key
    personal = 5,           // some personal mode (not asked by the rules)
    dynamicWEP = 6,         // 802.1X with dynamic WEP keys
    wpaEnterprise = 7,      // WPA with 802.1X
    wpaEnterpriseMixed = 8, // WPA/WPA2 mixed with 802.1X
    wpa2Enterprise = 9,     // WPA2 with 802.1X
    enterprise = 10,        // some 802.1X mode
    wpa3Personal = 11,      // SAE
    wpa3Enterprise = 12,    // WPA3 with 802.1X (Suite-B 192)
    wpa3Transition = 13,    // WPA3 transition mode (SAE and PSK)
    owe = 14,               // opportunistic wireless encryption
    oweTransition = 15,     // open network with an OWE companion
};

// A small set of SecurityCode values.
class SecurityCodes {
public:
    SecurityCodes() = default;
    SecurityCodes(std::initializer_list<SecurityCode> codes)
    {
        for (SecurityCode code : codes)
            insert(code);
    }

    void insert(SecurityCode code) { bits_ |= bit(code); }
    bool contains(SecurityCode code) const { return (bits_ & bit(code)) != 0; }
    bool isEmpty() const { return bits_ == 0; }
    quint32 bits() const { return bits_; }
    friend bool operator==(SecurityCodes a, SecurityCodes b) { return a.bits_ == b.bits_; }

private:
    static quint32 bit(SecurityCode code) { return quint32(1) << static_cast<int>(code); }
    quint32 bits_ = 0;
};

} // namespace ondrel

Q_DECLARE_METATYPE(ondrel::SecurityCodes)
