#pragma once

#include "wifi/FigureSources.h"
#include "wifi/SecurityCodes.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace ondrel {

// A radio channel as a backend reports it.
struct ChannelInfo {
    int number = 0;       // channel number
    int bandCode = 0;     // 1 = 2.4 GHz, 2 = 5 GHz, 3 = 6 GHz, 0 = not known
    int widthCode = 0;    // 1 = 20 MHz, 2 = 40, 3 = 80, 4 = 160, 0 = not known
    int frequencyMHz = 0; // centre frequency of the primary channel, MHz; 0 = not known
    friend bool operator==(const ChannelInfo&, const ChannelInfo&) = default;
};

// One access point found by a backend's scan: what the system reports,
// before the record of ScannedNetwork is built from it. The engine keeps
// these from the latest scan and hands the chosen one back to the backend to
// join, so a join targets exactly the access point that was listed.
struct AccessPoint {
    // The network name as bytes, exactly as broadcast (empty for a hidden
    // network). Joins use these bytes, never the decoded text.
    QByteArray ssidBytes;
    // The name as text, byte for byte (ssidFromBytes); absent for a hidden
    // network or when the system withholds names.
    std::optional<QString> ssid;
    // Hardware address as the system spells it; absent when withheld.
    std::optional<QString> bssid;
    int rssi = 0;  // received signal strength, dBm
    int noise = 0; // noise level, dBm (0 when the system does not report it)
    // The channel, absent when the system reports none.
    std::optional<ChannelInfo> channel;
    // The security modes the access point offers.
    SecurityCodes security;
    // Country code the access point advertises; absent when not reported.
    std::optional<QString> countryCode;
    // From the access point's BSS Load element: the stations associated with
    // it, and how busy it finds its channel (percent of the time, 0 to 100).
    // Absent when it does not say.
    std::optional<int> stationCount;
    std::optional<int> utilization;
    // Where each radio figure above came from.
    FigureSources sources;
    // The backend's own handle for this access point (NetworkManager: the
    // access point's D-Bus object path). Opaque to everything but the
    // backend that produced it.
    QString handle;
};

// The interface's current association as a backend reports it.
struct Association {
    std::optional<QString> ssid;  // name of the network, absent when not associated
    std::optional<QString> bssid; // hardware address of the access point
    int rssi = 0;                 // signal strength, dBm
    int noise = 0;                // noise level, dBm
    double txRate = 0.0;          // transmit rate, Mbit/s
    std::optional<ChannelInfo> channel;
    FigureSource rssiSource = FigureSource::none;
    FigureSource noiseSource = FigureSource::none;
};

} // namespace ondrel
