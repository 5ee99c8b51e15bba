// An access point's information elements, as anyone within radio range may
// send them: the parser reads nothing past the input (AddressSanitizer),
// its figures stay within their ranges, and merged into an access point
// they change only what the kernel's figures may change.

#include "FuzzCheck.h"

#include "wifi/ScannedNetwork.h"
#include "wifi/nl80211/InformationElements.h"
#include "wifi/nl80211/KernelFigures.h"

#include <cstring>
#include <memory>

using namespace ondrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly `size` bytes, so that a read past the end is caught.
    const std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    const QByteArrayView elements(copy.get(), qsizetype(size));
    const nl80211::ElementFacts facts = nl80211::parseElements(elements);

    FUZZ_CHECK(facts.widthMHz == 0 || facts.widthMHz == 20 || facts.widthMHz == 40 || facts.widthMHz == 80 ||
               facts.widthMHz == 160);
    FUZZ_CHECK(!facts.split80Plus80 || facts.widthMHz == 160);
    // Some complete element: a width of at least 20.
    FUZZ_CHECK((facts.widthMHz == 0) == !(size >= 2 && size_t(data[1]) + 2 <= size));
    if (facts.countryCode) {
        FUZZ_CHECK(facts.countryCode->size() == 2);
        for (const QChar c : *facts.countryCode)
            FUZZ_CHECK(c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    }
    FUZZ_CHECK(facts.stationCount.has_value() == facts.channelUtilization.has_value());
    if (facts.stationCount)
        FUZZ_CHECK(*facts.stationCount >= 0 && *facts.stationCount <= 65535 &&
                   *facts.channelUtilization >= 0 && *facts.channelUtilization <= 255);
    if (facts.ssid)
        FUZZ_CHECK(facts.ssid->size() <= 255 && elements.indexOf(QByteArrayView(*facts.ssid)) >= 0);

    // Merged: the name, the address and the security stay the daemon's.
    AccessPoint ap;
    ap.ssidBytes = facts.ssid.value_or(QByteArray("x"));
    ap.bssid = QStringLiteral("02:00:00:00:00:01");
    ap.channel = ChannelInfo{36, 2, 0, 5180};
    ap.security.insert(SecurityCode::wpa2Personal);
    QList<AccessPoint> aps{ap};
    KernelReading reading;
    reading.bsses = {{QStringLiteral("02:00:00:00:00:01"), 5180, -4200, std::chrono::milliseconds(10), false,
                      QByteArray(copy.get(), qsizetype(size))}};
    mergeKernelFigures(aps, reading);
    const AccessPoint& merged = aps.first();
    FUZZ_CHECK(merged.ssidBytes == ap.ssidBytes && merged.bssid == ap.bssid &&
               merged.security == ap.security);
    FUZZ_CHECK(merged.rssi == -42 && merged.sources.rssi == FigureSource::scanDump);
    FUZZ_CHECK(merged.channel->widthCode == ondrel::codeFromWidth(facts.widthMHz));
    if (merged.utilization)
        FUZZ_CHECK(*merged.utilization >= 0 && *merged.utilization <= 100);
    return 0;
}
