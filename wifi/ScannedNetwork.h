#pragma once

#include "wifi/Band.h"
#include "wifi/FigureSources.h"
#include "wifi/Security.h"
#include <QMetaType>

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <optional>

namespace ondrel {

struct AccessPoint;

// One access point seen in one scan, plus the marks the network list adds
// (merged access points, current, saved, favourite), and the radio's load
// figures with the source of every figure. A plain value: copied, compared
// and hashed over all fields.
struct ScannedNetwork {
    std::optional<QString> ssid;           // name, byte for byte (ssidFromBytes); absent for a hidden network
    std::optional<QString> bssid;          // hardware address; absent when withheld
    int rssi = 0;                          // received signal strength, dBm
    int noise = 0;                         // noise level, dBm
    int channel = 0;                       // channel number; 0 when not reported
    Band band = Band::unknown;             // radio band
    int widthMHz = 0;                      // channel width, MHz: 20, 40, 80, 160; 0 when not reported
    Security security = Security::unknown; // strongest security offered
    std::optional<QString> countryCode;    // advertised country code
    int apCount = 1;                       // access points this record stands for
    bool isCurrent = false;                // the computer is associated with it
    bool isSaved = false;                  // the system has a saved profile of this name
    bool isFavorite = false;               // the user marked the name a favourite
    std::optional<int> stationCount;       // stations associated with the access point (its BSS Load)
    std::optional<int> utilization;        // how busy it finds its channel, percent (its BSS Load)
    FigureSources sources;                 // where rssi, noise, widthMHz, countryCode and the load came from

    // The name exactly as broadcast (ssidToBytes of the name); empty for a
    // hidden network.
    QByteArray ssidBytes() const;

    // The record built from one scan result: apCount 1, no marks.
    static ScannedNetwork fromAccessPoint(const AccessPoint& accessPoint);

    // Name (or U+0001 "hidden" when absent), U+0001, hardware address (or
    // nothing), U+0001, channel in decimal. The engine remembers access
    // points for a later join under this key.
    QString id() const;

    // "Excellent" (-50 dBm and above), "Good" (-60 to -51), "Fair" (-70 to
    // -61), "Weak" (-80 to -71), "Very weak" (-81 and below). Main thread only.
    QString strengthLabel() const;

    friend bool operator==(const ScannedNetwork&, const ScannedNetwork&) = default;
};

// The channel width in MHz of a backend's width code: 1 = 20, 2 = 40,
// 3 = 80, 4 = 160; anything else 0.
int widthFromCode(int widthCode);
// The width code of a channel width in MHz; 0 for widths without a code.
int codeFromWidth(int widthMHz);

} // namespace ondrel

Q_DECLARE_METATYPE(ondrel::ScannedNetwork)
