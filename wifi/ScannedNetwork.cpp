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

} // namespace ondrel
