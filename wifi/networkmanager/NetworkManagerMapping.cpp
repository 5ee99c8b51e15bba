#include "wifi/networkmanager/NetworkManagerMapping.h"

#include "wifi/ScannedNetwork.h"
#include "wifi/SsidText.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>

#include <algorithm>
#include <cmath>

namespace ondrel::nm {

int dbmFromStrength(int percent)
{
    const int p = std::clamp(percent, 0, 100);
    return int(std::lround(-100.0 + 0.6 * p));
}

std::optional<ChannelInfo> channelFromFrequency(uint frequencyMHz, uint bandwidthMHz)
{
    if (frequencyMHz == 0)
        return std::nullopt;
    ChannelInfo info;
    info.widthCode = codeFromWidth(int(bandwidthMHz));
    info.frequencyMHz = int(frequencyMHz);
    const int f = int(frequencyMHz);
    // The channel whose centre lies `base` + 5 MHz times its number; 0 when
    // the frequency is no channel's centre.
    const auto centre = [f](int base, int first, int last) {
        const int n = (f - base) / 5;
        return (f - base) % 5 == 0 && n >= first && n <= last ? n : 0;
    };
    if (f == 2484) {
        info.number = 14;
        info.bandCode = 1;
    } else if (f > 2407 && f < 2484) {
        info.number = centre(2407, 1, 13);
        info.bandCode = 1;
    } else if (f >= 5925 && f <= 7125) {
        // 6 GHz: channel 2 sits at 5935 MHz, the others at 5950 + 5 * n.
        info.number = f == 5935 ? 2 : centre(5950, 1, 233);
        info.bandCode = 3;
    } else if (f >= 4900 && f < 5925) {
        // 4.9 GHz public-safety channels count from 4000 MHz.
        info.number = f >= 5000 ? centre(5000, 1, 196) : centre(4000, 180, 199);
        info.bandCode = 2;
    }
    return info;
}

SecurityCodes securityFromFlags(uint flags, uint wpaFlags, uint rsnFlags)
{
    SecurityCodes codes;
    const uint any = wpaFlags | rsnFlags;
    if ((flags & kApFlagPrivacy) && wpaFlags == 0 && rsnFlags == 0)
        codes.insert(SecurityCode::wep);
    if (wpaFlags & keyMgmtPsk)
        codes.insert(SecurityCode::wpaPersonal);
    if (rsnFlags & keyMgmtPsk)
        codes.insert(SecurityCode::wpa2Personal);
    if (any & keyMgmtSae)
        codes.insert(SecurityCode::wpa3Personal);
    if (wpaFlags & keyMgmt8021x)
        codes.insert(SecurityCode::wpaEnterprise);
    if (rsnFlags & keyMgmt8021x)
        codes.insert(SecurityCode::wpa2Enterprise);
    if (any & keyMgmtSuiteB192)
        codes.insert(SecurityCode::wpa3Enterprise);
    if (any & keyMgmtOwe)
        codes.insert(SecurityCode::owe);
    if (any & keyMgmtOweTransition)
        codes.insert(SecurityCode::oweTransition);
    if (!(flags & kApFlagPrivacy) && wpaFlags == 0 && rsnFlags == 0)
        codes.insert(SecurityCode::none);
    return codes;
}

std::optional<QString> decodeSsid(const QByteArray& ssid)
{
    if (ssid.isEmpty())
        return std::nullopt;
    return ssidFromBytes(ssid);
}

namespace {

QVariant fromArgument(const QDBusArgument& arg)
{
    switch (arg.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plainValue(arg.asVariant());
    case QDBusArgument::ArrayType: {
        if (arg.currentSignature() == QLatin1String("ay")) {
            QByteArray bytes;
            arg >> bytes;
            return bytes;
        }
        QVariantList list;
        arg.beginArray();
        while (!arg.atEnd())
            list << fromArgument(arg);
        arg.endArray();
        return list;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        arg.beginMap();
        while (!arg.atEnd()) {
            arg.beginMapEntry();
            const QString key = plainValue(arg.asVariant()).toString();
            map.insert(key, fromArgument(arg));
            arg.endMapEntry();
        }
        arg.endMap();
        return map;
    }
    case QDBusArgument::StructureType: {
        QVariantList fields;
        arg.beginStructure();
        while (!arg.atEnd())
            fields << fromArgument(arg);
        arg.endStructure();
        return fields;
    }
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
        break;
    }
    return {};
}

} // namespace

QVariant plainValue(const QVariant& value)
{
    const int type = value.userType();
    if (type == qMetaTypeId<QDBusArgument>())
        return fromArgument(value.value<QDBusArgument>());
    if (type == qMetaTypeId<QDBusVariant>())
        return plainValue(value.value<QDBusVariant>().variant());
    if (type == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (type == qMetaTypeId<QDBusSignature>())
        return value.value<QDBusSignature>().signature();
    if (type == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant& item : list)
            item = plainValue(item);
        return list;
    }
    if (type == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = plainValue(it.value());
        return map;
    }
    return value;
}

AccessPoint accessPointFromProperties(const QString& path, const QVariantMap& properties)
{
    AccessPoint ap;
    ap.ssidBytes = properties.value(QStringLiteral("Ssid")).toByteArray();
    ap.ssid = decodeSsid(ap.ssidBytes);
    const QString bssid = properties.value(QStringLiteral("HwAddress")).toString();
    if (!bssid.isEmpty())
        ap.bssid = bssid;
    ap.rssi = dbmFromStrength(properties.value(QStringLiteral("Strength")).toInt());
    ap.noise = 0;
    ap.channel = channelFromFrequency(properties.value(QStringLiteral("Frequency")).toUInt(),
                                      properties.value(QStringLiteral("Bandwidth")).toUInt());
    ap.security = securityFromFlags(properties.value(QStringLiteral("Flags")).toUInt(),
                                    properties.value(QStringLiteral("WpaFlags")).toUInt(),
                                    properties.value(QStringLiteral("RsnFlags")).toUInt());
    ap.sources.rssi = FigureSource::networkManager;
    if (ap.channel && ap.channel->widthCode != 0)
        ap.sources.width = FigureSource::networkManager;
    ap.handle = path;
    return ap;
}

void dropNamelessTwins(QList<AccessPoint>& accessPoints)
{
    const auto nameless = [](const AccessPoint& ap) {
        return std::all_of(ap.ssidBytes.cbegin(), ap.ssidBytes.cend(), [](char c) { return c == 0; });
    };
    const auto frequency = [](const AccessPoint& ap) { return ap.channel ? ap.channel->frequencyMHz : 0; };
    const auto sameRadio = [&](const AccessPoint& a, const AccessPoint& b) {
        return a.bssid && b.bssid && a.bssid->compare(*b.bssid, Qt::CaseInsensitive) == 0 &&
               frequency(a) == frequency(b);
    };
    QList<AccessPoint> kept;
    kept.reserve(accessPoints.size());
    for (qsizetype i = 0; i < accessPoints.size(); ++i) {
        const AccessPoint& ap = accessPoints.at(i);
        bool twin = false;
        for (qsizetype j = 0; j < accessPoints.size() && !twin; ++j) {
            const AccessPoint& other = accessPoints.at(j);
            if (j == i || nameless(other) || !sameRadio(ap, other))
                continue;
            // A nameless one gives way to any named twin; of named twins with
            // the same name the first stands.
            twin = nameless(ap) || (j < i && other.ssidBytes == ap.ssidBytes);
        }
        if (!twin)
            kept << ap;
    }
    accessPoints = std::move(kept);
}

} // namespace ondrel::nm
