#include "wifi/nl80211/InformationElements.h"

#include <algorithm>
#include <cstdlib>

namespace ondrel::nl80211 {

namespace {

// Element IDs (IEEE 802.11-2020, 9.4.2).
constexpr quint8 kSsid = 0;
constexpr quint8 kCountry = 7;
constexpr quint8 kBssLoad = 11;
constexpr quint8 kHtOperation = 61;
constexpr quint8 kVhtOperation = 192;
constexpr quint8 kExtension = 255;
// Element ID extensions.
constexpr quint8 kHeOperation = 36;

// The width of a VHT Operation Information field (channel width, CCFS0,
// CCFS1), as the kernel reads it: 0 leaves the width to HT.
struct Width {
    int mhz = 0;
    bool split = false;
};

Width fromSegments(int base, int ccfs0, int ccfs1)
{
    // One 80 MHz segment, unless the second segment centre says 160 (the
    // centres 8 channels apart) or 80+80 (more than 16 apart).
    if (ccfs1 == 0)
        return {base, false};
    const int apart = std::abs(ccfs1 - ccfs0);
    if (apart == 8)
        return {160, false};
    if (apart > 16)
        return {160, true};
    return {base, false};
}

Width vhtWidth(const quint8* info)
{
    switch (info[0]) {
    case 1:
        return fromSegments(80, info[1], info[2]);
    case 2:
        return {160, false};
    case 3:
        return {160, true};
    default:
        return {};
    }
}

// HE Operation after its extension ID: parameters (3 bytes), BSS colour (1),
// basic HE-MCS and NSS set (2), then the optional parts the parameters
// announce.
Width heWidth(const quint8* data, qsizetype size)
{
    constexpr qsizetype kFixed = 6;
    if (size < kFixed)
        return {};
    const quint32 parameters = quint32(data[0]) | quint32(data[1]) << 8 | quint32(data[2]) << 16;
    const bool vhtInfo = parameters & (1u << 14);
    const bool coHosted = parameters & (1u << 15);
    const bool sixGhzInfo = parameters & (1u << 17);
    qsizetype at = kFixed;
    Width width;
    if (vhtInfo) {
        if (at + 3 > size)
            return {};
        width = vhtWidth(data + at);
        at += 3;
    }
    if (coHosted)
        at += 1;
    if (sixGhzInfo) {
        // Primary channel, control (width in bits 0-1), CCFS0, CCFS1, minimum rate.
        if (at + 5 > size)
            return width;
        const quint8* info = data + at;
        switch (info[1] & 0x3) {
        case 0:
            return {20, false};
        case 1:
            return {40, false};
        case 2:
            return {80, false};
        default:
            return fromSegments(80, info[2], info[3]);
        }
    }
    return width;
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

ElementFacts parseElements(QByteArrayView elements)
{
    ElementFacts facts;
    const auto* bytes = reinterpret_cast<const quint8*>(elements.data());
    const qsizetype size = elements.size();
    bool any = false;
    bool seenHt = false, seenVht = false, seenHe = false;
    Width widest;
    const auto widen = [&widest](Width w) {
        if (w.mhz > widest.mhz || (w.mhz == widest.mhz && w.split))
            widest = w;
    };
    for (qsizetype at = 0; at + 2 <= size;) {
        const quint8 id = bytes[at];
        const qsizetype length = bytes[at + 1];
        const quint8* data = bytes + at + 2;
        if (at + 2 + length > size)
            break;
        at += 2 + length;
        any = true;
        switch (id) {
        case kSsid:
            if (!facts.ssid)
                facts.ssid = QByteArray(reinterpret_cast<const char*>(data), length);
            break;
        case kCountry:
            if (!facts.countryCode && length >= 2 && isLetter(char(data[0])) && isLetter(char(data[1])))
                facts.countryCode = QString::fromLatin1(reinterpret_cast<const char*>(data), 2).toUpper();
            break;
        case kBssLoad:
            // Station count (2 bytes, little-endian), channel utilisation
            // (1), available admission capacity (2).
            if (!facts.stationCount && length >= 5) {
                facts.stationCount = data[0] | data[1] << 8;
                facts.channelUtilization = data[2];
            }
            break;
        case kHtOperation:
            // Primary channel, then the secondary channel offset in bits 0-1:
            // 1 above, 3 below, 0 none.
            if (!seenHt && length >= 2) {
                seenHt = true;
                const int offset = data[1] & 0x3;
                widen({offset == 1 || offset == 3 ? 40 : 20, false});
            }
            break;
        case kVhtOperation:
            if (!seenVht && length >= 3) {
                seenVht = true;
                widen(vhtWidth(data));
            }
            break;
        case kExtension:
            if (!seenHe && length >= 1 && data[0] == kHeOperation) {
                seenHe = true;
                widen(heWidth(data + 1, length - 1));
            }
            break;
        default:
            break;
        }
    }
    if (any)
        widen({20, false});
    facts.widthMHz = widest.mhz;
    facts.split80Plus80 = widest.split;
    return facts;
}

int utilizationPercent(int channelUtilization)
{
    const int v = std::clamp(channelUtilization, 0, 255);
    return (v * 100 + 127) / 255;
}

} // namespace ondrel::nl80211
