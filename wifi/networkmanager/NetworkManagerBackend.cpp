#include "wifi/networkmanager/NetworkManagerBackend.h"

#include "localization/DebugLog.h"
#include "wifi/SsidText.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/networkmanager/NetworkManagerMirror.h"
#include "wifi/networkmanager/NetworkManagerNames.h"
#include "wifi/networkmanager/NetworkManagerProfiles.h"
#include "wifi/networkmanager/NetworkManagerRules.h"
#include "wifi/networkmanager/NetworkManagerSecretAgent.h"
#include "wifi/nl80211/KernelFigures.h"
#include "wifi/nl80211/KernelLinkCache.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QUuid>

#include <algorithm>

namespace ondrel {

namespace {

using namespace nm::dbus;

using nm::Settings;

const QString kNoObject = QStringLiteral("/");

constexpr uint kDeviceIpConfig = 70;
constexpr uint kDeviceFailed = 120;
constexpr uint kActiveActivated = 2;
constexpr uint kActiveDeactivated = 4;

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

NetworkManagerBackend::NetworkManagerBackend(Limits limits, std::shared_ptr<KernelRadio> kernel)
    : limits_(limits), kernel_(kernel ? std::move(kernel) : std::shared_ptr<KernelRadio>(createKernelRadio()))
{
    link_ = std::make_unique<KernelLinkCache>(
        kernel_, KernelLinkCache::Limits{limits_.linkRefresh, 10 * limits_.linkRefresh});
    qDBusRegisterMetaType<Settings>();
    mirror_ = daemon_.adopt(new NetworkManagerMirror(connectionName_, limits_.call, limits_.retry));
    agent_ = daemon_.adopt(new NetworkManagerSecretAgent(connectionName_, limits_.call));
}

NetworkManagerBackend::~NetworkManagerBackend()
{
    daemon_.finish();
}

void NetworkManagerBackend::awaitFirstLoad() const
{
    // Only the very first read waits (bounded by one call's time-out), so that
    // a program that asks at once does not see "no interface" while the copy
    // is still being filled.
    if (firstLoadSeen_.load())
        return;
    mirror_->waitUntilLoaded(limits_.call + std::chrono::milliseconds(500));
    // And the link's kernel figures, so that the first status has them.
    if (const QString interface = mirror_->interfaceName(); !interface.isEmpty())
        link_->refreshAndWait(interface, std::chrono::milliseconds(500));
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
    const Association association = mirror_->association();
    const QString interface = mirror_->interfaceName();
    if (!association.bssid || interface.isEmpty())
        return association;
    // The kept figures now, fresh ones for the next read.
    link_->refreshSoon(interface);
    const std::optional<KernelReading> link = link_->latest(interface);
    return link ? withLinkFigures(association, *link) : association;
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
    return nm::failureFromError(reply.errorName(), reply.errorMessage());
}

ScanResult NetworkManagerBackend::scan()
{
    awaitFirstLoad();
    const QString device = mirror_->wirelessDevice();
    if (device.isEmpty())
        return {{}, SystemError(WiFiError::noInterface)};

    // Subscribe before reading: every announcement after this mark is seen.
    quint64 mark = mirror_->log().mark();
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
        const auto event = mirror_->log().waitForEvent(
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
    nm::dropNamelessTwins(result.accessPoints);
    // The kernel's figures of the access points NetworkManager lists.
    const QString interface =
        deviceObject.value(kDevice).toMap().value(QStringLiteral("Interface")).toString();
    const KernelReading reading = kernel_->read(interface, true);
    noteKernelReading(reading);
    mergeKernelFigures(result.accessPoints, reading);
    if (!reading.failure)
        link_->keep(interface, reading);
    return result;
}

void NetworkManagerBackend::noteKernelReading(const KernelReading& reading)
{
    const auto state = std::pair(reading.failure, reading.surveys.size()); // a failure has no survey
    if (loggedKernelState_ == state)
        return;
    loggedKernelState_ = state;
    if (reading.failure)
        debugLog(QStringLiteral("nl80211: the kernel's radio figures cannot be read (%1); "
                                "NetworkManager's serve")
                     .arg(failureToken(*reading.failure)));
    else
        debugLog(QStringLiteral("nl80211: radio figures from the kernel (%1 BSS, %2 channels surveyed)")
                     .arg(reading.bsses.size())
                     .arg(reading.surveys.size()));
}

std::optional<SystemError> NetworkManagerBackend::join(const AccessPoint& accessPoint,
                                                       const std::optional<QString>& password)
{
    if (detectSecurity(accessPoint.security) == Security::enterprise)
        return SystemError(WiFiError::enterprise);
    awaitFirstLoad();
    const QString device = mirror_->wirelessDevice();
    if (device.isEmpty())
        return SystemError(WiFiError::noInterface);
    if (accessPoint.ssidBytes.isEmpty() && accessPoint.handle.isEmpty())
        return SystemError(WiFiError::gone);
    QStringList listed;
    for (const QVariant& p :
         mirror_->properties(device, kWireless).value(QStringLiteral("AccessPoints")).toList())
        listed << p.toString();
    const std::optional<QString> specific =
        nm::accessPointToJoin(listed, accessPoint, [&](const QString& path) {
            return mirror_->properties(path, kAccessPoint).value(QStringLiteral("Ssid")).toByteArray();
        });
    if (!specific)
        return SystemError(WiFiError::gone);
    return activate(device, *specific, nm::savedProfileFor(mirror_->savedWifi(), accessPoint.ssidBytes),
                    password,
                    [&](const QString& uuid) { return nm::newProfile(accessPoint, password, uuid); });
}

std::optional<SystemError> NetworkManagerBackend::joinHidden(const QByteArray& ssid, Security security,
                                                             const std::optional<QString>& password)
{
    // Refused before anything is asked: the program never joins an
    // enterprise network (the system's settings do).
    if (security == Security::enterprise)
        return SystemError(WiFiError::enterprise);
    awaitFirstLoad();
    const QString device = mirror_->wirelessDevice();
    if (device.isEmpty())
        return SystemError(WiFiError::noInterface);
    if (ssid.isEmpty() || ssid.size() > 32)
        return SystemError(kNetworkManagerDomain, kOtherFailure,
                           QStringLiteral("A network name has 1 to 32 bytes."));
    return activate(device, kNoObject, nm::savedProfileFor(mirror_->savedWifi(), ssid), password,
                    [&](const QString& uuid) { return nm::hiddenProfile(ssid, security, password, uuid); });
}

std::optional<SystemError> NetworkManagerBackend::activate(
    const QString& device, const QString& specific, const std::optional<nm::SavedWifi>& saved,
    const std::optional<QString>& password, const std::function<Settings(const QString& uuid)>& fresh)
{
    const nm::JoinSteps steps = nm::joinSteps(saved, password.has_value());
    using Profile = nm::JoinSteps::Profile;
    if (steps.needsAgent) {
        const std::optional<QDBusMessage> refusal = agent_->waitForRegistration(limits_.call);
        if (refusal && !nm::isAbsence(refusal->errorName()))
            return failureFrom(*refusal);
    }
    const bool activateSaved = steps.profile == Profile::saved;
    const QString uuid = activateSaved ? saved->uuid : QUuid::createUuid().toString(QUuid::WithoutBraces);
    // New and copied profiles carry their secret themselves: the agent only
    // cancels a request for another one.
    agent_->arm(uuid, activateSaved ? password : std::nullopt);
    const std::unique_ptr<NetworkManagerSecretAgent, void (*)(NetworkManagerSecretAgent*)> disarm(
        agent_, [](NetworkManagerSecretAgent* agent) { agent->disarm(); });

    // Subscribe before acting, so that no state change of this activation can
    // slip between the call's answer and the wait.
    quint64 mark = mirror_->log().mark();
    const QVariant deviceArg = QVariant::fromValue(QDBusObjectPath(device));
    const QVariant specificArg = QVariant::fromValue(QDBusObjectPath(specific));
    QString connection;
    QString active;
    if (activateSaved) {
        connection = saved->path;
        const QDBusMessage reply = call(
            kManagerPath, kManager, QStringLiteral("ActivateConnection"),
            {QVariant::fromValue(QDBusObjectPath(connection)), deviceArg, specificArg}, limits_.activation);
        if (!ok(reply))
            return failureFrom(reply);
        active = pathArgument(reply, 0);
    } else {
        Settings settings;
        if (steps.profile == Profile::savedCopy) {
            const QDBusMessage current = call(saved->path, kConnection, QStringLiteral("GetSettings"));
            if (!ok(current))
                return failureFrom(current);
            settings = nm::profileCopy(settingsFrom(current), *password, uuid);
        } else {
            settings = fresh(uuid);
        }
        // Volatile: NetworkManager deletes it when its activation fails or
        // ends, also when this process is gone by then.
        const QVariantMap options{{QStringLiteral("persist"), QStringLiteral("volatile")}};
        const QDBusMessage reply =
            call(kManagerPath, kManager, QStringLiteral("AddAndActivateConnection2"),
                 {QVariant::fromValue(settings), deviceArg, specificArg, options}, limits_.activation);
        if (!ok(reply))
            return failureFrom(reply);
        connection = pathArgument(reply, 0);
        active = pathArgument(reply, 1);
    }

    if (const std::optional<SystemError> failure = awaitActivation(device, active, mark))
        return failure;
    // The new link's figures for the status right after the join.
    if (const QString interface = mirror_->interfaceName(); !interface.isEmpty())
        link_->keep(interface, kernel_->read(interface, false));
    // It worked: the profile is kept as the join's steps say, so that the
    // system reconnects by itself later.
    if (steps.keep != nm::JoinSteps::Keep::nothing)
        keep(steps.keep == nm::JoinSteps::Keep::added ? connection : saved->path,
             steps.keepPassword ? password : std::nullopt, steps.keepFlags);
    mirror_->log().waitUntil(
        [&] {
            return mirror_->properties(device, kWireless)
                       .value(QStringLiteral("ActiveAccessPoint"))
                       .toString() != kNoObject;
        },
        QDeadlineTimer(limits_.settle));
    return std::nullopt;
}

std::optional<SystemError> NetworkManagerBackend::awaitActivation(const QString& device,
                                                                  const QString& active, quint64 mark)
{
    using Kind = NetworkManagerMirror::Event::Kind;
    nm::ActivationEnd end;
    const auto noteDevice = [&](const NetworkManagerMirror::Event& e) {
        if (e.kind == Kind::deviceStateChanged && e.path == device && e.state == kDeviceFailed)
            end.deviceReason = e.reason;
    };
    const auto outcome = mirror_->log().waitForEvent(
        mark,
        [&](const NetworkManagerMirror::Event& e) {
            noteDevice(e);
            return e.kind == Kind::serviceLost ||
                   (e.kind == Kind::activeStateChanged && e.path == active &&
                    (e.state == kActiveActivated || e.state == kActiveDeactivated));
        },
        QDeadlineTimer(limits_.activation));
    if (outcome && outcome->kind == Kind::serviceLost)
        return SystemError(WiFiError::noInterface);
    if (outcome && outcome->state == kActiveActivated)
        return std::nullopt;

    // Failed or timed out: leave nothing half-done behind.
    end.timedOut = !outcome;
    if (end.timedOut) {
        end.awaitingAddress =
            mirror_->properties(device, kDevice).value(QStringLiteral("State")).toUInt() == kDeviceIpConfig;
        call(kManagerPath, kManager, QStringLiteral("DeactivateConnection"),
             {QVariant::fromValue(QDBusObjectPath(active))});
    } else {
        end.activeReason = outcome->reason;
        // The device's own announcement may trail the active connection's.
        if (!end.deviceReason)
            mirror_->log().waitForEvent(
                mark,
                [&](const NetworkManagerMirror::Event& e) {
                    noteDevice(e);
                    return end.deviceReason.has_value();
                },
                QDeadlineTimer(limits_.straggler));
    }
    return nm::joinFailure(end);
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
    mirror_->log().waitUntil(
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
    mirror_->log().waitUntil([&] { return mirror_->wirelessEnabled() == on; },
                             QDeadlineTimer(limits_.settle));
    return std::nullopt;
}

void NetworkManagerBackend::cancel()
{
    mirror_->cancelWaits();
}

} // namespace ondrel
