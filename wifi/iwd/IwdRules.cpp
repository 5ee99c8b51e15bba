#include "wifi/iwd/IwdRules.h"

#include "wifi/SsidText.h"
#include "wifi/iwd/IwdNames.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <algorithm>
#include <cmath>

namespace ondrel::iwd {

namespace {

using namespace iwd::dbus;

QStringList sortedPaths(const Objects& objects, const QString& interface)
{
    QStringList paths;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (it->contains(interface))
            paths << it.key();
    }
    // Numerically where the parts are numbers: /net/connman/iwd/0/9 before
    // /net/connman/iwd/0/17.
    std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        const QStringList pa = a.split(QLatin1Char('/')), pb = b.split(QLatin1Char('/'));
        for (qsizetype i = 0; i < std::min(pa.size(), pb.size()); ++i) {
            if (pa[i] == pb[i])
                continue;
            bool na = false, nb = false;
            const qulonglong ia = pa[i].toULongLong(&na), ib = pb[i].toULongLong(&nb);
            return na && nb ? ia < ib : pa[i] < pb[i];
        }
        return pa.size() < pb.size();
    });
    return paths;
}

std::optional<QString> nameOf(const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    return ssidFromBytes(name.toUtf8());
}

int dbmFromSignal(int signal)
{
    return int(std::lround(signal / 100.0));
}

} // namespace

std::optional<Device> device(const Objects& objects)
{
    for (const QString& path : sortedPaths(objects, kDevice)) {
        const QVariantMap props = objects.value(path).value(kDevice);
        if (props.value(QStringLiteral("Mode")).toString() != QLatin1String("station"))
            continue;
        Device found;
        found.path = path;
        found.name = props.value(QStringLiteral("Name")).toString();
        found.adapter = props.value(QStringLiteral("Adapter")).toString();
        found.powered = props.value(QStringLiteral("Powered")).toBool();
        found.adapterPowered =
            objects.value(found.adapter).value(kAdapter).value(QStringLiteral("Powered")).toBool();
        found.hasStation = objects.value(path).contains(kStation);
        return found;
    }
    return std::nullopt;
}

bool isPoweredOn(const std::optional<Device>& device)
{
    return device && device->powered && device->adapterPowered && device->hasStation;
}

SecurityCodes securityFromType(const QString& type)
{
    if (type == QLatin1String("open"))
        return {SecurityCode::none};
    if (type == QLatin1String("wep"))
        return {SecurityCode::wep};
    // WPA2 is the common case and asks for a passphrase as every personal
    // mode does.
    if (type == QLatin1String("psk"))
        return {SecurityCode::wpa2Personal};
    if (type == QLatin1String("8021x"))
        return {SecurityCode::wpa2Enterprise};
    return {};
}

AccessPoint accessPointFromNetwork(const QString& path, const QVariantMap& network, int signal)
{
    AccessPoint ap;
    const QString name = network.value(QStringLiteral("Name")).toString();
    ap.ssidBytes = name.toUtf8();
    ap.ssid = nameOf(name);
    ap.rssi = dbmFromSignal(signal);
    ap.security = securityFromType(network.value(QStringLiteral("Type")).toString());
    ap.handle = path;
    return ap;
}

AccessPoint hiddenAccessPoint(const QString& address, int signal, const QString& type)
{
    AccessPoint ap;
    if (!address.isEmpty())
        ap.bssid = address.toLower();
    ap.rssi = dbmFromSignal(signal);
    ap.security = securityFromType(type);
    return ap;
}

QList<KnownNetwork> knownNetworks(const Objects& objects)
{
    QList<KnownNetwork> out;
    for (const QString& path : sortedPaths(objects, kKnownNetwork)) {
        const QVariantMap props = objects.value(path).value(kKnownNetwork);
        out.append({path, props.value(QStringLiteral("Name")).toString(),
                    props.value(QStringLiteral("Type")).toString(),
                    props.value(QStringLiteral("Hidden")).toBool()});
    }
    return out;
}

std::optional<KnownNetwork> knownNetwork(const Objects& objects, const QString& name, const QString& type)
{
    for (const KnownNetwork& known : knownNetworks(objects)) {
        if (known.name == name && known.type == type)
            return known;
    }
    return std::nullopt;
}

Association association(const Objects& objects, const QVariantMap& diagnostics)
{
    Association association;
    const std::optional<Device> found = device(objects);
    if (!found || !found->hasStation)
        return association;
    const QVariantMap station = objects.value(found->path).value(kStation);
    const QString state = station.value(QStringLiteral("State")).toString();
    if (state != QLatin1String("connected") && state != QLatin1String("roaming"))
        return association;
    const QString network = station.value(QStringLiteral("ConnectedNetwork")).toString();
    association.ssid =
        nameOf(objects.value(network).value(kNetwork).value(QStringLiteral("Name")).toString());
    if (!association.ssid)
        return association;
    const QString bssid = diagnostics.value(QStringLiteral("ConnectedBss")).toString();
    if (!bssid.isEmpty())
        association.bssid = bssid.toLower();
    association.rssi = diagnostics.value(QStringLiteral("RSSI")).toInt();
    association.channel =
        nm::channelFromFrequency(diagnostics.value(QStringLiteral("Frequency")).toUInt(), 0);
    // TxBitrate in 100 kbit/s (iwd 2.3's name; its documentation says TxRate).
    association.txRate = diagnostics.value(QStringLiteral("TxBitrate")).toUInt() / 10.0;
    return association;
}

std::optional<QString> networkToJoin(const Objects& objects, const QString& devicePath, const AccessPoint& ap)
{
    const auto named = [&](const QString& path) {
        const QVariantMap network = objects.value(path).value(kNetwork);
        return !network.isEmpty() &&
               network.value(QStringLiteral("Name")).toString().toUtf8() == ap.ssidBytes &&
               network.value(QStringLiteral("Device")).toString() == devicePath;
    };
    if (ap.ssidBytes.isEmpty())
        return std::nullopt;
    if (!ap.handle.isEmpty() && named(ap.handle))
        return ap.handle;
    std::optional<QString> any;
    for (const QString& path : sortedPaths(objects, kNetwork)) {
        if (!named(path))
            continue;
        const QString type = objects.value(path).value(kNetwork).value(QStringLiteral("Type")).toString();
        if (securityFromType(type) == ap.security)
            return path;
        if (!any)
            any = path;
    }
    return any;
}

bool isAbsence(const QString& errorName)
{
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

SystemError failureFromError(const QString& name, const QString& message, const JoinContext& context)
{
    const auto failure = [&](qint64 code, const QString& fallback) {
        return SystemError(kDomain, code, fallback);
    };
    if (isAbsence(name) || name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        return SystemError(WiFiError::noInterface);
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut") ||
        name == QLatin1String("net.connman.iwd.Timeout"))
        return failure(kTimedOut, QStringLiteral("iwd did not finish in time."));
    if (name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        name == QLatin1String("net.connman.iwd.PermissionDenied") ||
        name == QLatin1String("net.connman.iwd.NotAuthorized"))
        return failure(kNotPermitted, QStringLiteral("Not allowed to control iwd."));
    if (name == QLatin1String("net.connman.iwd.NoAgent") ||
        (name == QLatin1String("net.connman.iwd.Aborted") && context.agentRefused))
        return failure(kSecretsFailed, QStringLiteral("The network needs a passphrase, and none was given."));
    if (name == QLatin1String("net.connman.iwd.InvalidFormat"))
        return failure(kSecretsFailed, QStringLiteral("The passphrase is too short or too long."));
    // iwd reports a rejected passphrase as a plain failure of the join.
    if (name == QLatin1String("net.connman.iwd.Failed") && context.secured)
        return failure(kSecretsFailed, QStringLiteral("The passphrase was not accepted."));
    if (name == QLatin1String("net.connman.iwd.Failed"))
        return failure(kTimedOut, QStringLiteral("The network did not accept the connection."));
    if (name == QLatin1String("net.connman.iwd.NotFound"))
        return failure(kNotFound, QStringLiteral("The Wi-Fi network could not be found."));
    if (name == QLatin1String("net.connman.iwd.NotConfigured"))
        return failure(kOtherFailure,
                       QStringLiteral("iwd has no settings for this network (an enterprise network is set "
                                      "up in the system's settings)."));
    if (name == QLatin1String("net.connman.iwd.InProgress") || name == QLatin1String("net.connman.iwd.Busy"))
        return failure(kOtherFailure, QStringLiteral("iwd is busy with another operation."));
    if (name == QLatin1String("net.connman.iwd.Aborted"))
        return failure(kOtherFailure, QStringLiteral("The join was interrupted."));
    return failure(kOtherFailure,
                   message.isEmpty() ? QStringLiteral("iwd could not complete the request.") : message);
}

} // namespace ondrel::iwd
