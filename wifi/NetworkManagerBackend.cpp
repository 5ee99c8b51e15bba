#include "wifi/NetworkManagerBackend.h"

#include "app/DebugLog.h"
#include "wifi/NetworkManagerMapping.h"
#include "wifi/NetworkManagerMirror.h"
#include "wifi/SsidText.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

namespace ondrel {

namespace {

using Settings = QMap<QString, QVariantMap>; // a{sa{sv}}

const QString kRoot = QStringLiteral("/org/freedesktop");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kAccessPoint = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString kConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kSecuritySetting = QStringLiteral("802-11-wireless-security");
const QString kNoObject = QStringLiteral("/");

constexpr uint kDeviceActivated = 100;
constexpr uint kDeviceFailed = 120;
constexpr uint kActiveActivated = 2;
constexpr uint kActiveDeactivated = 4;
constexpr uint kActiveReasonConnectTimeout = 6;
constexpr uint kActiveReasonNoSecrets = 9;
constexpr uint kReasonUnknown = 1;
constexpr uint kReasonNoSecrets = 7;

bool isAbsence(const QString& errorName)
{
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

bool ok(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

QString pathArgument(const QDBusMessage& reply, int index)
{
    return nm::plainValue(reply.arguments().value(index)).toString();
}

// The key management NetworkManager needs for a new profile of this access
// point; empty for a network without security.
QString keyManagementFor(const AccessPoint& ap, bool hasPassword)
{
    const SecurityCodes& s = ap.security;
    const bool psk = s.contains(SecurityCode::wpaPersonal) || s.contains(SecurityCode::wpaPersonalMixed) ||
                     s.contains(SecurityCode::wpa2Personal);
    if (s.contains(SecurityCode::wpa3Personal) && !psk)
        return QStringLiteral("sae");
    if (psk || s.contains(SecurityCode::wpa3Personal))
        return QStringLiteral("wpa-psk");
    if (s.contains(SecurityCode::wep))
        return QStringLiteral("none");
    if (s.contains(SecurityCode::owe) || s.contains(SecurityCode::oweTransition))
        return QStringLiteral("owe");
    if (s.contains(SecurityCode::none))
        return {};
    return hasPassword ? QStringLiteral("wpa-psk") : QString();
}

// WEP keys of 5 or 13 characters, or 10 or 26 hexadecimal digits, are keys;
// anything else is a passphrase that NetworkManager hashes into one.
uint wepKeyType(const QString& key)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    const qsizetype n = key.size();
    if (n == 5 || n == 13)
        return 1;
    if ((n == 10 || n == 26) && hex.match(key).hasMatch())
        return 1;
    return 2;
}

void putSecret(QVariantMap& security, const QString& keyMgmt, const QString& password)
{
    if (keyMgmt == QLatin1String("none")) {
        security.insert(QStringLiteral("wep-key0"), password);
        security.insert(QStringLiteral("wep-key-type"), wepKeyType(password));
    } else {
        security.insert(QStringLiteral("psk"), password);
    }
}

Settings newProfile(const AccessPoint& ap, const std::optional<QString>& password)
{
    Settings settings;
    QVariantMap connection{{QStringLiteral("type"), QStringLiteral("802-11-wireless")}};
    // The profile's name is shown by other programs (nmcli, the desktop's
    // settings): the name as this program shows it, never its raw bytes.
    if (ap.ssid)
        connection.insert(QStringLiteral("id"), visibleName(*ap.ssid));
    settings.insert(QStringLiteral("connection"), connection);
    QVariantMap wireless{{QStringLiteral("mode"), QStringLiteral("infrastructure")}};
    // A hidden network's name is unknown: NetworkManager takes what it knows
    // from the access point or says that it needs the name.
    if (!ap.ssidBytes.isEmpty())
        wireless.insert(QStringLiteral("ssid"), ap.ssidBytes);
    settings.insert(QStringLiteral("802-11-wireless"), wireless);
    const QString keyMgmt = keyManagementFor(ap, password.has_value());
    if (!keyMgmt.isEmpty()) {
        QVariantMap security{{QStringLiteral("key-mgmt"), keyMgmt}};
        if (keyMgmt == QLatin1String("none"))
            security.insert(QStringLiteral("auth-alg"), QStringLiteral("open"));
        if (password && keyMgmt != QLatin1String("owe"))
            putSecret(security, keyMgmt, *password);
        settings.insert(kSecuritySetting, security);
    }
    return settings;
}

Settings settingsFrom(const QDBusMessage& reply)
{
    return qdbus_cast<Settings>(reply.arguments().value(0));
}

} // namespace

NetworkManagerBackend::NetworkManagerBackend() : NetworkManagerBackend(Limits{}) {}

NetworkManagerBackend::NetworkManagerBackend(Limits limits) : limits_(limits)
{
    qDBusRegisterMetaType<Settings>();
    static std::atomic<int> instances{0};
    connectionName_ = QStringLiteral("ondrel-networkmanager-%1").arg(instances++);
    // A connection of our own (not the shared systemBus()), so that its
    // lifetime is this backend's.
    QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName_);

    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("ondrel.networkmanager"));
    mirror_ = new NetworkManagerMirror(connectionName_, limits_.call);
    mirror_->moveToThread(thread_.get());
    thread_->start();
    QMetaObject::invokeMethod(mirror_, &NetworkManagerMirror::start, Qt::QueuedConnection);
}

NetworkManagerBackend::~NetworkManagerBackend()
{
    NetworkManagerMirror* mirror = mirror_;
    QMetaObject::invokeMethod(
        mirror, [mirror] { delete mirror; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    QDBusConnection::disconnectFromBus(connectionName_);
}

void NetworkManagerBackend::awaitFirstLoad() const
{
    // Only the very first read waits (bounded by one call's time-out), so that
    // a program that asks at once does not see "no interface" while the copy
    // is still being filled.
    if (firstLoadSeen_.load())
        return;
    mirror_->waitUntilLoaded(limits_.call + std::chrono::milliseconds(500));
    firstLoadSeen_.store(true);
}

bool NetworkManagerBackend::hasInterface() const
{
    awaitFirstLoad();
    return !mirror_->wirelessDevice().isEmpty();
}

std::optional<QString> NetworkManagerBackend::interfaceName() const
{
    awaitFirstLoad();
    const QString name = mirror_->interfaceName();
    if (mirror_->wirelessDevice().isEmpty())
        return std::nullopt;
    return name;
}

bool NetworkManagerBackend::isPoweredOn() const
{
    awaitFirstLoad();
    return !mirror_->wirelessDevice().isEmpty() && mirror_->wirelessEnabled();
}

Association NetworkManagerBackend::currentAssociation() const
{
    awaitFirstLoad();
    return mirror_->association();
}

QStringList NetworkManagerBackend::savedNetworkNames() const
{
    awaitFirstLoad();
    QStringList names;
    for (const NetworkManagerMirror::SavedWifi& saved : mirror_->savedWifi())
        names << nm::decodeSsid(saved.ssid).value_or(QString());
    return names;
}

QDBusMessage NetworkManagerBackend::call(const QString& path, const QString& interface, const QString& method,
                                         const QVariantList& args) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(NetworkManagerMirror::kService, path, interface, method);
    message.setArguments(args);
    ++roundTrips_;
    return QDBusConnection(connectionName_).call(message, QDBus::Block, int(limits_.call.count()));
}

SystemError NetworkManagerBackend::failureFrom(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    if (isAbsence(name))
        return SystemError(WiFiError::noInterface);
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
        return SystemError(kNetworkManagerDomain, kTimedOut,
                           QStringLiteral("NetworkManager did not answer in time."));
    if (name == QLatin1String("org.freedesktop.NetworkManager.PermissionDenied") ||
        name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        name.endsWith(QLatin1String(".NotAuthorized")))
        return SystemError(kNetworkManagerDomain, kNotPermitted,
                           reply.errorMessage().isEmpty()
                               ? QStringLiteral("Not authorized to control networking.")
                               : reply.errorMessage());
    QString text = reply.errorMessage();
    if (text.isEmpty())
        text = QStringLiteral("NetworkManager could not complete the request.");
    return SystemError(kNetworkManagerDomain, kOtherFailure, text);
}

ScanResult NetworkManagerBackend::scan()
{
    awaitFirstLoad();
    const QString device = mirror_->wirelessDevice();
    if (device.isEmpty())
        return {{}, SystemError(WiFiError::noInterface)};

    // Subscribe before reading: every announcement after this mark is seen.
    quint64 mark = mirror_->mark();
    // The copy's LastScan is the one to compare with: a change it has not
    // seen yet comes after the mark and ends the wait (with a list at least
    // as fresh as asked for).
    const QVariantMap wireless = mirror_->properties(device, kWireless);
    const bool hasLastScan = wireless.contains(QStringLiteral("LastScan")); // NetworkManager 1.12 and later
    const qint64 before = wireless.value(QStringLiteral("LastScan")).toLongLong();

    const QDBusMessage request = call(device, kWireless, QStringLiteral("RequestScan"), {QVariantMap()});
    if (!ok(request)) {
        const SystemError failure = failureFrom(request);
        // NetworkManager refuses while a scan runs or just after one; its
        // current list is fresh then, so it serves.
        if (failure.wifiError() || failure.code() == kTimedOut)
            return {{}, failure};
    } else if (hasLastScan) {
        const auto event = mirror_->waitForEvent(
            mark,
            [&](const NetworkManagerMirror::Event& e) {
                if (e.kind == NetworkManagerMirror::Event::Kind::serviceLost)
                    return true;
                return e.kind == NetworkManagerMirror::Event::Kind::propertiesChanged && e.path == device &&
                       e.interface == kWireless && e.changed.contains(QStringLiteral("LastScan")) &&
                       e.changed.value(QStringLiteral("LastScan")).toLongLong() != before;
            },
            QDeadlineTimer(limits_.scan));
        if (event && event->kind == NetworkManagerMirror::Event::Kind::serviceLost)
            return {{}, SystemError(WiFiError::noInterface)};
        if (!event)
            debugLog(QStringLiteral("NetworkManager: scan did not finish in time; using the current list"));
    }

    // Every object with every property in one round trip, however many
    // access points there are.
    const QDBusMessage all = call(kRoot, kObjectManager, QStringLiteral("GetManagedObjects"));
    if (!ok(all))
        return {{}, failureFrom(all)};
    const QVariantMap objects = nm::plainValue(all.arguments().value(0)).toMap();
    const QVariantMap deviceObject = objects.value(device).toMap();
    if (deviceObject.isEmpty())
        return {{}, SystemError(WiFiError::noInterface)};
    ScanResult result;
    const QVariantList paths =
        deviceObject.value(kWireless).toMap().value(QStringLiteral("AccessPoints")).toList();
    result.accessPoints.reserve(paths.size());
    for (const QVariant& pathValue : paths) {
        const QString path = pathValue.toString();
        const QVariantMap properties = objects.value(path).toMap().value(kAccessPoint).toMap();
        if (properties.isEmpty())
            continue; // removed between the list and its objects
        result.accessPoints << nm::accessPointFromProperties(path, properties);
    }
    return result;
}

std::optional<SystemError> NetworkManagerBackend::join(const AccessPoint& accessPoint,
                                                       const std::optional<QString>& password)
{
    awaitFirstLoad();
    const QString device = mirror_->wirelessDevice();
    if (device.isEmpty())
        return SystemError(WiFiError::noInterface);
    if (accessPoint.ssidBytes.isEmpty() && accessPoint.handle.isEmpty())
        return SystemError(WiFiError::gone);
    return activate(device, accessPoint, password);
}

std::optional<SystemError> NetworkManagerBackend::activate(const QString& device, const AccessPoint& ap,
                                                           const std::optional<QString>& password)
{
    // The access point as listed, or another of the same name if that one
    // has left NetworkManager's list since the scan.
    QString specific = kNoObject;
    const QStringList listed = [&] {
        QStringList out;
        for (const QVariant& p :
             mirror_->properties(device, kWireless).value(QStringLiteral("AccessPoints")).toList())
            out << p.toString();
        return out;
    }();
    if (listed.contains(ap.handle)) {
        specific = ap.handle;
    } else {
        for (const QString& path : listed) {
            if (mirror_->properties(path, kAccessPoint).value(QStringLiteral("Ssid")).toByteArray() ==
                ap.ssidBytes) {
                specific = path;
                break;
            }
        }
        if (specific == kNoObject && ap.ssidBytes.isEmpty())
            return SystemError(WiFiError::gone);
    }

    // The saved profile of this name, the most recently used one first.
    std::optional<NetworkManagerMirror::SavedWifi> saved;
    for (const NetworkManagerMirror::SavedWifi& candidate : mirror_->savedWifi()) {
        if (!ap.ssidBytes.isEmpty() && candidate.ssid == ap.ssidBytes &&
            (!saved || candidate.timestamp > saved->timestamp))
            saved = candidate;
    }

    // Subscribe before acting, so that no state change of this activation can
    // slip between the call's answer and the wait.
    quint64 mark = mirror_->mark();
    QString connection;
    QString active;
    bool added = false;
    // The saved profile's secrets before a new password replaced them, to put
    // back when the join fails.
    std::optional<QVariantMap> previousSecrets;
    const auto restoreSecrets = [&] {
        if (!previousSecrets)
            return;
        // Settings are read afresh: values decoded from one reply are sent once.
        const QDBusMessage current = call(connection, kConnection, QStringLiteral("GetSettings"));
        if (!ok(current))
            return;
        Settings settings = settingsFrom(current);
        QVariantMap security = settings.value(kSecuritySetting);
        for (auto it = previousSecrets->cbegin(); it != previousSecrets->cend(); ++it)
            security.insert(it.key(), it.value());
        settings.insert(kSecuritySetting, security);
        call(connection, kConnection, QStringLiteral("Update"), {QVariant::fromValue(settings)});
    };

    if (saved) {
        connection = saved->path;
        if (password) {
            const QDBusMessage current = call(connection, kConnection, QStringLiteral("GetSettings"));
            if (!ok(current))
                return failureFrom(current);
            Settings settings = settingsFrom(current);
            const QDBusMessage secrets =
                call(connection, kConnection, QStringLiteral("GetSecrets"), {kSecuritySetting});
            if (ok(secrets))
                previousSecrets =
                    nm::plainValue(secrets.arguments().value(0)).toMap().value(kSecuritySetting).toMap();
            QVariantMap security = settings.value(kSecuritySetting);
            QString keyMgmt = security.value(QStringLiteral("key-mgmt")).toString();
            if (keyMgmt.isEmpty()) {
                keyMgmt = keyManagementFor(ap, true);
                if (keyMgmt.isEmpty() || keyMgmt == QLatin1String("owe"))
                    keyMgmt = QStringLiteral("wpa-psk");
                security.insert(QStringLiteral("key-mgmt"), keyMgmt);
            }
            putSecret(security, keyMgmt, *password);
            settings.insert(kSecuritySetting, security);
            const QDBusMessage updated =
                call(connection, kConnection, QStringLiteral("Update"), {QVariant::fromValue(settings)});
            if (!ok(updated))
                return failureFrom(updated);
        }
        const QDBusMessage reply = call(kManagerPath, kManager, QStringLiteral("ActivateConnection"),
                                        {QVariant::fromValue(QDBusObjectPath(connection)),
                                         QVariant::fromValue(QDBusObjectPath(device)),
                                         QVariant::fromValue(QDBusObjectPath(specific))});
        if (!ok(reply)) {
            restoreSecrets();
            return failureFrom(reply);
        }
        active = pathArgument(reply, 0);
    } else {
        // Kept in memory until it has worked: a failed join leaves nothing.
        const QVariantMap options{{QStringLiteral("persist"), QStringLiteral("memory")}};
        const QDBusMessage reply =
            call(kManagerPath, kManager, QStringLiteral("AddAndActivateConnection2"),
                 {QVariant::fromValue(newProfile(ap, password)), QVariant::fromValue(QDBusObjectPath(device)),
                  QVariant::fromValue(QDBusObjectPath(specific)), options});
        if (!ok(reply))
            return failureFrom(reply);
        connection = pathArgument(reply, 0);
        active = pathArgument(reply, 1);
        added = true;
    }

    using Kind = NetworkManagerMirror::Event::Kind;
    std::optional<uint> deviceReason;
    const auto outcome = mirror_->waitForEvent(
        mark,
        [&](const NetworkManagerMirror::Event& e) {
            if (e.kind == Kind::serviceLost)
                return true;
            if (e.kind == Kind::deviceStateChanged && e.path == device && e.state == kDeviceFailed)
                deviceReason = e.reason;
            return e.kind == Kind::activeStateChanged && e.path == active &&
                   (e.state == kActiveActivated || e.state == kActiveDeactivated);
        },
        QDeadlineTimer(limits_.activation));

    if (outcome && outcome->kind == Kind::serviceLost)
        return SystemError(WiFiError::noInterface);

    if (outcome && outcome->state == kActiveActivated) {
        if (added) {
            // It worked: keep it, so that the system reconnects by itself later.
            const QDBusMessage savedReply = call(connection, kConnection, QStringLiteral("Save"));
            if (!ok(savedReply))
                debugLog(QStringLiteral("NetworkManager: the new connection could not be saved: ") +
                         visibleText(savedReply.errorMessage()));
        }
        mirror_->waitUntil(
            [&] {
                return mirror_->properties(device, kWireless)
                           .value(QStringLiteral("ActiveAccessPoint"))
                           .toString() != kNoObject;
            },
            QDeadlineTimer(limits_.settle));
        return std::nullopt;
    }

    // Failed or timed out: leave nothing half-done behind.
    SystemError failure;
    if (!outcome) {
        call(kManagerPath, kManager, QStringLiteral("DeactivateConnection"),
             {QVariant::fromValue(QDBusObjectPath(active))});
        failure = SystemError(kNetworkManagerDomain, kTimedOut,
                              QStringLiteral("The connection attempt timed out."));
    } else {
        if (!deviceReason) {
            // The device's own announcement may trail the active connection's.
            mirror_->waitForEvent(
                mark,
                [&](const NetworkManagerMirror::Event& e) {
                    if (e.kind == Kind::deviceStateChanged && e.path == device && e.state == kDeviceFailed)
                        deviceReason = e.reason;
                    return deviceReason.has_value();
                },
                QDeadlineTimer(std::chrono::milliseconds(500)));
        }
        uint reason = deviceReason.value_or(kReasonUnknown);
        if (!deviceReason && outcome->reason == kActiveReasonNoSecrets)
            reason = kReasonNoSecrets;
        if (!deviceReason && outcome->reason == kActiveReasonConnectTimeout)
            failure = SystemError(kNetworkManagerDomain, kTimedOut,
                                  QStringLiteral("The connection attempt timed out."));
        else
            failure = SystemError(kDeviceStateReasonDomain, reason, describeStateReason(reason));
    }
    if (added)
        call(connection, kConnection, QStringLiteral("Delete"));
    else
        restoreSecrets();
    return failure;
}

void NetworkManagerBackend::disconnect()
{
    awaitFirstLoad();
    const QString device = mirror_->wirelessDevice();
    if (device.isEmpty())
        return;
    const QDBusMessage reply = call(device, kDevice, QStringLiteral("Disconnect"));
    if (!ok(reply))
        return; // not connected, or not allowed: nothing to report
    mirror_->waitUntil(
        [&] {
            return mirror_->properties(device, kWireless)
                       .value(QStringLiteral("ActiveAccessPoint"))
                       .toString() == kNoObject;
        },
        QDeadlineTimer(limits_.settle));
}

std::optional<SystemError> NetworkManagerBackend::setPower(bool on)
{
    awaitFirstLoad();
    const QDBusMessage reply =
        call(kManagerPath, kProperties, QStringLiteral("Set"),
             {kManager, QStringLiteral("WirelessEnabled"), QVariant::fromValue(QDBusVariant(on))});
    if (!ok(reply))
        return failureFrom(reply);
    mirror_->waitUntil([&] { return mirror_->wirelessEnabled() == on; }, QDeadlineTimer(limits_.settle));
    return std::nullopt;
}

void NetworkManagerBackend::cancel()
{
    mirror_->cancelWaits();
}

QString NetworkManagerBackend::describeStateReason(uint reason)
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
        return QStringLiteral("The Wi-Fi supplicant is not available.");
    case 53:
        return QStringLiteral("The Wi-Fi network could not be found.");
    default:
        return QStringLiteral("NetworkManager could not activate the connection (reason %1).").arg(reason);
    }
}

} // namespace ondrel
