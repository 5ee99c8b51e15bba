#include "wifi/networkmanager/NetworkManagerRules.h"

#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/networkmanager/NetworkManagerNames.h"
#include "wifi/networkmanager/NetworkManagerProfiles.h"

namespace ondrel::nm {

namespace {

using namespace nm::dbus;

constexpr uint kDeviceTypeWifi = 2;
constexpr uint kActiveReasonConnectTimeout = 6;
constexpr uint kActiveReasonNoSecrets = 9;
constexpr uint kReasonUnknown = 1;
constexpr uint kReasonNoSecrets = 7;
constexpr uint kReasonIpConfigUnavailable = 5;
// NMSettingsUpdate2Flags
constexpr uint kUpdateToDisk = 0x1;
constexpr uint kUpdateNoReapply = 0x40;

QStringList textList(const QVariant& value)
{
    QStringList out;
    for (const QVariant& item : value.toList())
        out << item.toString();
    return out;
}

QByteArray profileSsid(const Profiles& profiles, const QString& path)
{
    return profiles.value(path)
        .value(QStringLiteral("802-11-wireless"))
        .toMap()
        .value(QStringLiteral("ssid"))
        .toByteArray();
}

SystemError timedOut()
{
    return SystemError(NetworkManagerBackend::kNetworkManagerDomain, NetworkManagerBackend::kTimedOut,
                       QStringLiteral("The connection attempt timed out."));
}

} // namespace

QList<SavedWifi> savedWifi(const Profiles& profiles, QStringList order)
{
    // Connections announced before the list property caught up go last.
    for (auto it = profiles.cbegin(); it != profiles.cend(); ++it) {
        if (!order.contains(it.key()))
            order << it.key();
    }
    QList<SavedWifi> out;
    for (const QString& path : order) {
        const auto settings = profiles.constFind(path);
        if (settings == profiles.cend())
            continue;
        const QVariantMap connection = settings->value(QStringLiteral("connection")).toMap();
        const QVariantMap wifi = settings->value(QStringLiteral("802-11-wireless")).toMap();
        const QString mode = wifi.value(QStringLiteral("mode")).toString();
        if (connection.value(QStringLiteral("type")).toString() != QLatin1String("802-11-wireless") ||
            !(mode.isEmpty() || mode == QLatin1String("infrastructure")))
            continue;
        const QVariantMap security = settings->value(QStringLiteral("802-11-wireless-security")).toMap();
        SavedWifi saved;
        saved.path = path;
        saved.uuid = connection.value(QStringLiteral("uuid")).toString();
        saved.ssid = wifi.value(QStringLiteral("ssid")).toByteArray();
        saved.keyMgmt = security.value(QStringLiteral("key-mgmt")).toString();
        saved.secretFlags =
            security
                .value(saved.keyMgmt == QLatin1String("none") ? QStringLiteral("wep-key-flags")
                                                              : QStringLiteral("psk-flags"))
                .toUInt();
        saved.timestamp = connection.value(QStringLiteral("timestamp")).toLongLong();
        out << saved;
    }
    return out;
}

QString wirelessDevice(const Objects& objects)
{
    for (const QString& path :
         textList(objects.value(kManagerPath).value(kManager).value(QStringLiteral("Devices")))) {
        if (objects.value(path).value(kDevice).value(QStringLiteral("DeviceType")).toUInt() ==
            kDeviceTypeWifi)
            return path;
    }
    return {};
}

Association association(const Objects& objects, const Profiles& profiles)
{
    Association association;
    const QString device = wirelessDevice(objects);
    const QVariantMap wireless = objects.value(device).value(kWireless);
    const QString apPath = wireless.value(QStringLiteral("ActiveAccessPoint")).toString();
    const auto object = objects.constFind(apPath);
    if (device.isEmpty() || object == objects.cend() || !object->contains(kAccessPoint))
        return association;
    AccessPoint ap = accessPointFromProperties(apPath, object->value(kAccessPoint));
    if (ap.ssidBytes.isEmpty()) {
        const QString active =
            objects.value(device).value(kDevice).value(QStringLiteral("ActiveConnection")).toString();
        const QString profile =
            objects.value(active).value(kActive).value(QStringLiteral("Connection")).toString();
        ap.ssid = decodeSsid(profileSsid(profiles, profile));
    }
    association.ssid = ap.ssid;
    association.bssid = ap.bssid;
    association.rssi = ap.rssi;
    association.noise = ap.noise;
    association.channel = ap.channel;
    association.rssiSource = ap.sources.rssi;
    association.txRate = wireless.value(QStringLiteral("Bitrate")).toUInt() / 1000.0;
    return association;
}

std::optional<QString> accessPointToJoin(const QStringList& listed, const AccessPoint& ap,
                                         const std::function<QByteArray(const QString&)>& ssidOf)
{
    if (listed.contains(ap.handle))
        return ap.handle;
    if (ap.ssidBytes.isEmpty())
        return std::nullopt;
    for (const QString& path : listed) {
        if (ssidOf(path) == ap.ssidBytes)
            return path;
    }
    return QStringLiteral("/");
}

JoinSteps joinSteps(const std::optional<SavedWifi>& saved, bool hasPassword)
{
    JoinSteps steps;
    switch (joinPlan(saved, hasPassword)) {
    case JoinPlan::activateSaved:
        steps.profile = JoinSteps::Profile::saved;
        steps.needsAgent = hasPassword && !saved->keyMgmt.isEmpty();
        // A secret the keyring keeps gets the password that worked through
        // NetworkManager, which hands it to the keyring.
        if (hasPassword && (saved->secretFlags & kSecretAgentOwned))
            steps = {steps.profile, steps.needsAgent, JoinSteps::Keep::saved, true, kUpdateNoReapply};
        break;
    case JoinPlan::trySavedCopy:
        steps = {JoinSteps::Profile::savedCopy, false, JoinSteps::Keep::saved, true, kUpdateToDisk};
        break;
    case JoinPlan::addNew:
        steps = {JoinSteps::Profile::added, false, JoinSteps::Keep::added, false, kUpdateToDisk};
        break;
    }
    return steps;
}

SystemError joinFailure(const ActivationEnd& end)
{
    if (end.timedOut && end.awaitingAddress)
        return SystemError(NetworkManagerBackend::kDeviceStateReasonDomain, kReasonIpConfigUnavailable,
                           describeStateReason(kReasonIpConfigUnavailable));
    if (end.timedOut)
        return timedOut();
    if (!end.deviceReason && end.activeReason == kActiveReasonConnectTimeout)
        return timedOut();
    uint reason = end.deviceReason.value_or(kReasonUnknown);
    if (!end.deviceReason && end.activeReason == kActiveReasonNoSecrets)
        reason = kReasonNoSecrets;
    return SystemError(NetworkManagerBackend::kDeviceStateReasonDomain, reason, describeStateReason(reason));
}

bool isAbsence(const QString& errorName)
{
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

SystemError failureFromError(const QString& name, const QString& message)
{
    using B = NetworkManagerBackend;
    if (isAbsence(name))
        return SystemError(WiFiError::noInterface);
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        return SystemError(B::kNetworkManagerDomain, B::kTimedOut,
                           QStringLiteral("NetworkManager did not answer in time."));
    // NetworkManager's own refusals end in PermissionDenied whichever of its
    // interfaces refused (the manager, Settings, AgentManager, ...).
    if ((name.startsWith(QLatin1String("org.freedesktop.NetworkManager.")) &&
         name.endsWith(QLatin1String(".PermissionDenied"))) ||
        name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        name.endsWith(QLatin1String(".NotAuthorized")))
        return SystemError(B::kNetworkManagerDomain, B::kNotPermitted,
                           message.isEmpty() ? QStringLiteral("Not authorized to control networking.")
                                             : message);
    return SystemError(B::kNetworkManagerDomain, B::kOtherFailure,
                       message.isEmpty() ? QStringLiteral("NetworkManager could not complete the request.")
                                         : message);
}

QString describeStateReason(uint reason)
{
    switch (reason) {
    case 0:
        return QStringLiteral("No reason was given.");
    case 1:
        return QStringLiteral("The connection failed for an unknown reason.");
    case 4:
        return QStringLiteral("The device could not be configured.");
    case 5:
        return QStringLiteral("No network address could be obtained.");
    case 6:
        return QStringLiteral("The network address is no longer valid.");
    case 7:
        return QStringLiteral("The network needs a password, and none was given or it was wrong.");
    case 8:
        return QStringLiteral("The Wi-Fi supplicant disconnected.");
    case 9:
        return QStringLiteral("The Wi-Fi supplicant could not be configured.");
    case 10:
        return QStringLiteral("The Wi-Fi supplicant failed.");
    case 11:
        return QStringLiteral("The Wi-Fi supplicant took too long to authenticate.");
    case 15:
    case 16:
    case 17:
        return QStringLiteral("The DHCP client failed.");
    case 36:
        return QStringLiteral("The Wi-Fi device was removed.");
    case 38:
        return QStringLiteral("The connection profile was removed.");
    case 39:
        return QStringLiteral("Disconnected at the user's request.");
    case 42:
        return QStringLiteral("The Wi-Fi supplicant is now available.");
    case 53:
        return QStringLiteral("The Wi-Fi network could not be found.");
    default:
        return QStringLiteral("NetworkManager could not activate the connection (reason %1).").arg(reason);
    }
}

} // namespace ondrel::nm
