#include "wifi/nl80211/KernelFigures.h"

#include "wifi/ScannedNetwork.h"
#include "wifi/nl80211/InformationElements.h"

#include <QHash>

#include <cmath>

namespace ondrel {

namespace {

int dbmFromMbm(int mbm)
{
    return int(std::lround(mbm / 100.0));
}

// The survey's noise floor at `frequencyMHz`, if it has one.
std::optional<int> noiseAt(const QList<ChannelSurvey>& surveys, int frequencyMHz)
{
    for (const ChannelSurvey& survey : surveys) {
        if (survey.frequencyMHz == frequencyMHz && frequencyMHz != 0)
            return survey.noiseDbm;
    }
    return std::nullopt;
}

const KernelStation* stationOf(const QList<KernelStation>& stations, const QString& bssid)
{
    for (const KernelStation& station : stations) {
        if (station.bssid == bssid)
            return &station;
    }
    return nullptr;
}

// An SSID element that names a network, not a hidden one's blank (empty or
// all zero bytes).
bool namesNetwork(const QByteArray& ssid)
{
    return std::any_of(ssid.cbegin(), ssid.cend(), [](char c) { return c != 0; });
}

} // namespace

void mergeKernelFigures(QList<AccessPoint>& accessPoints, const KernelReading& reading,
                        std::chrono::milliseconds staleAfter)
{
    if (reading.failure)
        return;
    QMultiHash<QString, const KernelBss*> byBssid;
    for (const KernelBss& bss : reading.bsses)
        byBssid.insert(bss.bssid, &bss);

    for (AccessPoint& ap : accessPoints) {
        if (!ap.bssid)
            continue;
        const QString bssid = ap.bssid->toLower();
        const int frequency = ap.channel ? ap.channel->frequencyMHz : 0;
        const KernelBss* match = nullptr;
        for (auto it = byBssid.constFind(bssid); it != byBssid.cend() && it.key() == bssid; ++it) {
            const KernelBss* bss = it.value();
            if ((frequency == 0 || bss->frequencyMHz == frequency) && bss->seenAgo <= staleAfter)
                match = bss;
        }
        const KernelStation* station = stationOf(reading.stations, bssid);

        if (match) {
            const nl80211::ElementFacts facts = nl80211::parseElements(match->elements);
            if (facts.ssid && namesNetwork(*facts.ssid) && !ap.ssidBytes.isEmpty() &&
                *facts.ssid != ap.ssidBytes)
                match = nullptr; // another network under this address
            else {
                if (match->signalMbm) {
                    ap.rssi = dbmFromMbm(*match->signalMbm);
                    ap.sources.rssi = FigureSource::scanDump;
                }
                if (facts.widthMHz > 0 && ap.channel) {
                    ap.channel->widthCode = codeFromWidth(facts.widthMHz);
                    ap.sources.width = FigureSource::elements;
                }
                if (facts.countryCode) {
                    ap.countryCode = facts.countryCode;
                    ap.sources.country = FigureSource::elements;
                }
                if (facts.stationCount) {
                    ap.stationCount = facts.stationCount;
                    ap.utilization = nl80211::utilizationPercent(*facts.channelUtilization);
                    ap.sources.load = FigureSource::elements;
                }
            }
        }
        if (station && station->signalDbm) {
            ap.rssi = *station->signalDbm;
            ap.sources.rssi = FigureSource::station;
        }
        if (match || (station && station->signalDbm)) {
            if (const std::optional<int> noise =
                    noiseAt(reading.surveys, match ? match->frequencyMHz : frequency)) {
                ap.noise = *noise;
                ap.sources.noise = FigureSource::survey;
            }
        }
    }
}

Association withLinkFigures(Association association, const KernelReading& reading)
{
    if (reading.failure || !association.bssid)
        return association;
    const KernelStation* station = stationOf(reading.stations, association.bssid->toLower());
    if (!station)
        return association;
    if (station->signalDbm) {
        association.rssi = *station->signalDbm;
        association.rssiSource = FigureSource::station;
    }
    std::optional<int> noise =
        noiseAt(reading.surveys, association.channel ? association.channel->frequencyMHz : 0);
    if (!noise) {
        for (const ChannelSurvey& survey : reading.surveys) {
            if (survey.inUse)
                noise = survey.noiseDbm;
        }
    }
    if (noise) {
        association.noise = *noise;
        association.noiseSource = FigureSource::survey;
    }
    return association;
}

} // namespace ondrel
