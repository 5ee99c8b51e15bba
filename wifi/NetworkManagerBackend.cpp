#include "wifi/NetworkManagerBackend.h"

#include "localization/DebugLog.h"
#include "wifi/NetworkManagerMapping.h"
#include "wifi/NetworkManagerMirror.h"
#include "wifi/NetworkManagerProfiles.h"
#include "wifi/NetworkManagerSecretAgent.h"
#include "wifi/SsidText.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QThread>
#include <QUuid>

#include <algorithm>

namespace ondrel {

namespace {

using nm::Settings;

const QString kRoot = QStringLiteral("/org/freedesktop");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kAccessPoint = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString kConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kNoObject = QStringLiteral("/");

constexpr uint kDeviceActivated = 100;
constexpr uint kDeviceFailed = 120;
constexpr uint kActiveActivated = 2;
constexpr uint kActiveDeactivated = 4;
constexpr uint kActiveReasonConnectTimeout = 6;
constexpr uint kActiveReasonNoSecrets = 9;
constexpr uint kReasonUnknown = 1;
constexpr uint kReasonNoSecrets = 7;
// NMSettingsUpdate2Flags
constexpr uint kUpdateToDisk = 0x1;
constexpr uint kUpdateNoReapply = 0x40;

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
    agent_ = new NetworkManagerSecretAgent(connectionName_, limits_.call);
    agent_->moveToThread(thread_.get());
    thread_->start();
    QMetaObject::invokeMethod(mirror_, &NetworkManagerMirror::start, Qt::QueuedConnection);
    QMetaObject::invokeMethod(agent_, &NetworkManagerSecretAgent::start, Qt::QueuedConnection);
}

NetworkManagerBackend::~NetworkManagerBackend()
{
    NetworkManagerMirror* mirror = mirror_;
    NetworkManagerSecretAgent* agent = agent_;
    QMetaObject::invokeMethod(
        mirror,
        [mirror, agent] {
            delete agent;
            delete mirror;
        },
        Qt::BlockingQueuedConnection);
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

QList<QByteArray> NetworkManagerBackend::savedSsids() const
{
    awaitFirstLoad();
    QList<QByteArray> ssids;
    for (const NetworkManagerMirror::SavedWifi& saved : mirror_->savedWifi())
        ssids << saved.ssid;
    return ssids;
}

QDBusMessage NetworkManagerBackend::call(const QString& path, const QString& interface, const QString& method,
                                         const QVariantList& args,
                                         std::optional<std::chrono::milliseconds> limit) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(NetworkManagerMirror::kService, path, interface, method);
    message.setArguments(args);
    ++roundTrips_;
    return QDBusConnection(connectionName_)
        .call(message, QDBus::Block, int(limit.value_or(limits_.call).count()));
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
    // NetworkManager's own refusals end in PermissionDenied whichever of its
    // interfaces refused (the manager, Settings, AgentManager, ...).
    if ((name.startsWith(QLatin1String("org.freedesktop.NetworkManager.")) &&
         name.endsWith(QLatin1String(".PermissionDenied"))) ||
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

    const std::optional<NetworkManagerMirror::SavedWifi> saved =
        nm::savedProfileFor(mirror_->savedWifi(), ap.ssidBytes);
    const nm::JoinPlan plan = nm::joinPlan(saved, password.has_value());
    const bool activateSaved = plan == nm::JoinPlan::activateSaved;
    // A password for a saved profile can reach NetworkManager only through
    // the agent, so a join that needs it fails when NetworkManager refused it.
    if (activateSaved && password && !saved->keyMgmt.isEmpty()) {
        const std::optional<QDBusMessage> refusal = agent_->waitForRegistration(limits_.call);
        if (refusal && !isAbsence(refusal->errorName()))
            return failureFrom(*refusal);
    }
    const QString uuid = activateSaved ? saved->uuid : QUuid::createUuid().toString(QUuid::WithoutBraces);
    // New and copied profiles carry their secret themselves: the agent only
    // cancels a request for another one.
    agent_->arm(uuid, activateSaved ? password : std::nullopt);
    const std::unique_ptr<NetworkManagerSecretAgent, void (*)(NetworkManagerSecretAgent*)> disarm(
        agent_, [](NetworkManagerSecretAgent* agent) { agent->disarm(); });

    // Subscribe before acting, so that no state change of this activation can
    // slip between the call's answer and the wait.
    quint64 mark = mirror_->mark();
    QString connection;
    QString active;
    if (activateSaved) {
        connection = saved->path;
        const QDBusMessage reply = call(kManagerPath, kManager, QStringLiteral("ActivateConnection"),
                                        {QVariant::fromValue(QDBusObjectPath(connection)),
                                         QVariant::fromValue(QDBusObjectPath(device)),
                                         QVariant::fromValue(QDBusObjectPath(specific))},
                                        limits_.activation);
        if (!ok(reply))
            return failureFrom(reply);
        active = pathArgument(reply, 0);
    } else {
        Settings settings;
        if (plan == nm::JoinPlan::trySavedCopy) {
            const QDBusMessage current = call(saved->path, kConnection, QStringLiteral("GetSettings"));
            if (!ok(current))
                return failureFrom(current);
            settings = nm::profileCopy(settingsFrom(current), *password, uuid);
        } else {
            settings = nm::newProfile(ap, password, uuid);
        }
        // Volatile: NetworkManager deletes it when its activation fails or
        // ends, also when this process is gone by then.
        const QVariantMap options{{QStringLiteral("persist"), QStringLiteral("volatile")}};
        const QDBusMessage reply =
            call(kManagerPath, kManager, QStringLiteral("AddAndActivateConnection2"),
                 {QVariant::fromValue(settings), QVariant::fromValue(QDBusObjectPath(device)),
                  QVariant::fromValue(QDBusObjectPath(specific)), options},
                 limits_.activation);
        if (!ok(reply))
            return failureFrom(reply);
        connection = pathArgument(reply, 0);
        active = pathArgument(reply, 1);
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
        // It worked: a new profile is kept on disk, so that the system
        // reconnects by itself later; a saved profile gets the password that
        // worked, on disk when NetworkManager keeps its secret, else through
        // NetworkManager in the user's keyring.
        if (plan == nm::JoinPlan::addNew)
            keep(connection, std::nullopt, kUpdateToDisk);
        else if (plan == nm::JoinPlan::trySavedCopy)
            keep(saved->path, password, kUpdateToDisk);
        else if (password && (saved->secretFlags & nm::kSecretAgentOwned))
            keep(saved->path, password, kUpdateNoReapply);
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
    return failure;
}

void NetworkManagerBackend::keep(const QString& profile, const std::optional<QString>& password, uint flags)
{
    Settings settings; // none: the profile as it is
    if (password) {
        // The rest of the profile goes back as it was read.
        const QDBusMessage current = call(profile, kConnection, QStringLiteral("GetSettings"));
        if (!ok(current))
            return;
        settings = nm::withSecret(settingsFrom(current), *password);
    }
    const QDBusMessage reply =
        call(profile, kConnection, QStringLiteral("Update2"),
             {QVariant::fromValue(settings), flags, QVariantMap()}, limits_.activation);
    if (!ok(reply))
        debugLog(QStringLiteral("NetworkManager: the profile that worked could not be kept: ") +
                 visibleText(reply.errorMessage()));
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
        return QStringLiteral("The Wi-Fi supplicant is now available.");
    case 53:
        return QStringLiteral("The Wi-Fi network could not be found.");
    default:
        return QStringLiteral("NetworkManager could not activate the connection (reason %1).").arg(reason);
    }
}

} // namespace ondrel
