#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace ondrel::nl80211 {

// What an access point's information elements (the body of its beacon or
// probe response after the fixed fields) say about its channel, country and
// load. The elements come from anyone within radio range: every byte
// sequence is accepted, nothing is read past the end of an element or of the
// whole, and a figure whose element is missing, too short or malformed stays
// unknown.
struct ElementFacts {
    // SSID (element 0), as broadcast: empty for a hidden network. Absent
    // without the element.
    std::optional<QByteArray> ssid;
    // The width the access point operates at, MHz: 20, 40, 80 or 160; 0 when
    // no element tells. 20 for any BSS with elements but no wider
    // operation element (802.11a/b/g, or HT without a secondary channel).
    // The largest of: HT Operation (a secondary channel above or below: 40),
    // VHT Operation (80, 160, 80+80), HE Operation's VHT information (5 GHz)
    // and its 6 GHz Operation Information (20 to 160, 80+80).
    int widthMHz = 0;
    // The width is two separate 80 MHz segments (counted as 160 above).
    bool split80Plus80 = false;
    // The country string's two letters (element 7), upper case; absent
    // without the element or when they are not two ASCII letters.
    std::optional<QString> countryCode;
    // BSS Load (element 11): the stations associated with the access point,
    // and the share of time it found the channel busy (0 to 255 for 0 to 100
    // percent). Absent without the element.
    std::optional<int> stationCount;
    std::optional<int> channelUtilization;

    friend bool operator==(const ElementFacts&, const ElementFacts&) = default;
};

// The facts of a sequence of elements. The first occurrence of an element
// counts; parsing stops at an element whose length runs past the end (the
// elements before it still count).
ElementFacts parseElements(QByteArrayView elements);

// Channel utilisation 0..255 as a percentage 0..100, rounded to the nearest.
int utilizationPercent(int channelUtilization);

} // namespace ondrel::nl80211
