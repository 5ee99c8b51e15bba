#include "wifi/ScannedNetwork.h"

#include "localization/Lookup.h"
#include "wifi/AccessPoint.h"
#include "wifi/SsidText.h"

namespace ondrel {

namespace {

const QChar kSeparator(0x0001);

} // namespace

int widthFromCode(int widthCode)
{
    switch (widthCode) {
    case 1:
        return 20;
    case 2:
        return 40;
    case 3:
        return 80;
    case 4:
        return 160;
    default:
        return 0;
    }
}

int codeFromWidth(int widthMHz)
{
    for (int code = 1; code <= 4; ++code) {
        if (widthFromCode(code) == widthMHz)
            return code;
    }
    return 0;
}

ScannedNetwork ScannedNetwork::fromAccessPoint(const AccessPoint& accessPoint)
{
    ScannedNetwork network;
    network.ssid = accessPoint.ssid;
    network.bssid = accessPoint.bssid;
    network.rssi = accessPoint.rssi;
    network.noise = accessPoint.noise;
    if (accessPoint.channel) {
        network.channel = accessPoint.channel->number;
        network.widthMHz = widthFromCode(accessPoint.channel->widthCode);
        network.band = bandFromCode(accessPoint.channel->bandCode);
    }
    network.security = detectSecurity(accessPoint.security);
    network.countryCode = accessPoint.countryCode;
    network.stationCount = accessPoint.stationCount;
    network.utilization = accessPoint.utilization;
    network.sources = accessPoint.sources;
    return network;
}

QByteArray ScannedNetwork::ssidBytes() const
{
    return ssid ? ssidToBytes(*ssid) : QByteArray();
}

QString ScannedNetwork::id() const
{
    QString result = ssid ? *ssid : kSeparator + QStringLiteral("hidden");
    result += kSeparator;
    if (bssid)
        result += *bssid;
    result += kSeparator;
    result += QString::number(channel);
    return result;
}

QString ScannedNetwork::strengthLabel() const
{
    if (rssi >= -50)
        return L("非常に強い", "Excellent");
    if (rssi >= -60)
        return L("強い", "Good");
    if (rssi >= -70)
        return L("普通", "Fair");
    if (rssi >= -80)
        return L("弱い", "Weak");
    return L("非常に弱い", "Very weak");
}

size_t qHash(const ScannedNetwork& n, size_t seed) noexcept
{
    // An absent text hashes apart from an empty one, as they compare apart.
    const auto text = [](const std::optional<QString>& value) { return value ? value->size() + 1 : 0; };
    QtPrivate::QHashCombine combine;
    seed = combine(seed, n.ssid.value_or(QString()));
    seed = combine(seed, text(n.ssid));
    seed = combine(seed, n.bssid.value_or(QString()));
    seed = combine(seed, text(n.bssid));
    seed = combine(seed, n.rssi);
    seed = combine(seed, n.noise);
    seed = combine(seed, n.channel);
    seed = combine(seed, rawValue(n.band));
    seed = combine(seed, n.widthMHz);
    seed = combine(seed, rawValue(n.security));
    seed = combine(seed, n.countryCode.value_or(QString()));
    seed = combine(seed, text(n.countryCode));
    seed = combine(seed, n.apCount);
    seed = combine(seed, n.isCurrent);
    seed = combine(seed, n.isSaved);
    seed = combine(seed, n.isFavorite);
    seed = combine(seed, n.stationCount.value_or(-1));
    seed = combine(seed, n.utilization.value_or(-1));
    for (const FigureSource source :
         {n.sources.rssi, n.sources.noise, n.sources.width, n.sources.country, n.sources.load})
        seed = combine(seed, int(source));
    return seed;
}

} // namespace ondrel
