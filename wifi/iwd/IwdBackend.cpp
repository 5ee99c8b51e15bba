#include "wifi/iwd/IwdBackend.h"

#include "localization/DebugLog.h"
#include "wifi/SsidText.h"
#include "wifi/iwd/IwdAgent.h"
#include "wifi/iwd/IwdMirror.h"
#include "wifi/iwd/IwdNames.h"
#include "wifi/iwd/IwdRules.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>

#include <algorithm>

namespace ondrel {

namespace {

using namespace iwd::dbus;
using namespace std::chrono_literals;
using Event = IwdMirror::Event;

// How often a wait for a call's answer looks whether the backend was cancelled.
constexpr std::chrono::milliseconds kPoll{50};

bool ok(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool stationChanged(const Event& e, const QString& station, const QString& property)
{
    return e.kind == Event::Kind::propertiesChanged && e.path == station && e.interface == kStation &&
           e.changed.contains(property);
}

std::chrono::milliseconds left(const QDeadlineTimer& deadline)
{
    return std::max(std::chrono::milliseconds(deadline.remainingTime()), 1ms);
}

} // namespace

IwdBackend::IwdBackend() : IwdBackend(Limits{}) {}

IwdBackend::IwdBackend(Limits limits) : limits_(limits)
{
    mirror_ = daemon_.adopt(new IwdMirror(connectionName_, limits_.call, limits_.retry, limits_.diagnostics));
    agent_ = daemon_.adopt(new IwdAgent(connectionName_, limits_.call));
}

IwdBackend::~IwdBackend()
{
    daemon_.finish();
}

void IwdBackend::awaitFirstLoad() const
{
    // Only the very first read waits (bounded by one call's time-out), so that
    // a program that asks at once does not see "no interface" while the copy
    // is still being filled.
    if (firstLoadSeen_.load())
        return;
    mirror_->waitUntilLoaded(limits_.call + 500ms);
    firstLoadSeen_.store(true);
}

bool IwdBackend::isPresent() const
{
    awaitFirstLoad();
    return mirror_->isReachable();
}

bool IwdBackend::hasInterface() const
{
    awaitFirstLoad();
    return iwd::device(mirror_->objects()).has_value();
}

std::optional<QString> IwdBackend::interfaceName() const
{
    awaitFirstLoad();
    const std::optional<iwd::Device> device = iwd::device(mirror_->objects());
    if (!device)
        return std::nullopt;
    return device->name;
}

bool IwdBackend::isPoweredOn() const
{
    awaitFirstLoad();
    return iwd::isPoweredOn(iwd::device(mirror_->objects()));
}

Association IwdBackend::currentAssociation() const
{
    awaitFirstLoad();
    return iwd::association(mirror_->objects(), mirror_->diagnostics());
}

QList<QByteArray> IwdBackend::savedSsids() const
{
    awaitFirstLoad();
    QList<QByteArray> ssids;
    for (const iwd::KnownNetwork& known : iwd::knownNetworks(mirror_->objects()))
        ssids << known.name.toUtf8();
    return ssids;
}

QDBusMessage IwdBackend::call(const QString& path, const QString& interface, const QString& method,
                              const QVariantList& args, std::optional<std::chrono::milliseconds> limit) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    message.setAutoStartService(false);
    ++roundTrips_;
    const std::chrono::milliseconds timeout = limit.value_or(limits_.call);
    QDBusPendingCall pending = QDBusConnection(connectionName_).asyncCall(message, int(timeout.count()));
    // The answer is delivered on the bus's own thread; this one only looks.
    const QDeadlineTimer deadline(timeout + 500ms);
    while (!pending.isFinished()) {
        if (mirror_->log().isCancelled() || deadline.hasExpired())
            return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                                            QStringLiteral("iwd did not answer."));
        mirror_->log().waitUntil([&] { return pending.isFinished(); }, QDeadlineTimer(kPoll));
    }
    return pending.reply();
}

bool IwdBackend::awaitScanEnd(const QString& station, quint64 mark, QDeadlineTimer deadline) const
{
    for (;;) {
        const std::optional<Event> end = mirror_->log().waitForEvent(
            mark,
            [&](const Event& e) {
                return e.kind == Event::Kind::serviceLost ||
                       (stationChanged(e, station, QStringLiteral("Scanning")) &&
                        !e.changed.value(QStringLiteral("Scanning")).toBool());
            },
            deadline);
        if (!end || end->kind == Event::Kind::serviceLost)
            return false;
        // iwd runs a scan asked for during another one right after it.
        const std::optional<Event> next = mirror_->log().waitForEvent(
            mark,
            [&](const Event& e) {
                return stationChanged(e, station, QStringLiteral("Scanning")) &&
                       e.changed.value(QStringLiteral("Scanning")).toBool();
            },
            QDeadlineTimer(std::min(limits_.nextScan, left(deadline))));
        if (!next)
            return true;
    }
}

ScanResult IwdBackend::scan()
{
    awaitFirstLoad();
    const std::optional<iwd::Device> device = iwd::device(mirror_->objects());
    if (!device)
        return {{}, SystemError(WiFiError::noInterface)};
    if (!iwd::isPoweredOn(device))
        return {{}, SystemError(WiFiError::powerOff)};

    // Mark before asking: every announcement after it is seen.
    const quint64 mark = mirror_->log().mark();
    const QDBusMessage request = call(device->path, kStation, QStringLiteral("Scan"));
    const bool scanning =
        mirror_->properties(device->path, kStation).value(QStringLiteral("Scanning")).toBool();
    if (ok(request) || scanning) {
        // Refused because a scan runs (InProgress, Busy): its end serves too.
        if (!awaitScanEnd(device->path, mark, QDeadlineTimer(limits_.scan))) {
            if (!mirror_->isReachable())
                return {{}, SystemError(WiFiError::noInterface)};
            debugLog(QStringLiteral("iwd: scan did not finish in time; using the current list"));
        }
    } else {
        const SystemError failure = iwd::failureFromError(request.errorName(), request.errorMessage());
        if (failure.wifiError())
            return {{}, failure};
        debugLog(QStringLiteral("iwd: scan refused (%1); using the current list").arg(request.errorName()));
    }

    const QDBusMessage ordered = call(device->path, kStation, QStringLiteral("GetOrderedNetworks"));
    if (!ok(ordered))
        return {{}, iwd::failureFromError(ordered.errorName(), ordered.errorMessage())};
    const iwd::Objects objects = mirror_->objects();
    ScanResult result;
    for (const QVariant& row : nm::plainValue(ordered.arguments().value(0)).toList()) {
        const QVariantList fields = row.toList();
        const QString path = fields.value(0).toString();
        const QVariantMap network = objects.value(path).value(kNetwork);
        if (network.isEmpty())
            continue; // gone between the list and now
        result.accessPoints << iwd::accessPointFromNetwork(path, network, fields.value(1).toInt());
    }
    // iwd lists networks, not access points: only the connected one has an
    // address and a channel, from the station's diagnostics.
    const Association current = iwd::association(objects, mirror_->diagnostics());
    const QString connected =
        objects.value(device->path).value(kStation).value(QStringLiteral("ConnectedNetwork")).toString();
    for (AccessPoint& ap : result.accessPoints) {
        if (current.ssid && ap.handle == connected) {
            ap.bssid = current.bssid;
            ap.channel = current.channel;
        }
    }
    // Hidden access points are only addresses until joined by name (the
    // connected one is listed by its name already); a failure to list them
    // costs only those rows.
    const QDBusMessage hidden = call(device->path, kStation, QStringLiteral("GetHiddenAccessPoints"));
    for (const QVariant& row :
         ok(hidden) ? nm::plainValue(hidden.arguments().value(0)).toList() : QVariantList()) {
        const QVariantList fields = row.toList();
        AccessPoint ap = iwd::hiddenAccessPoint(fields.value(0).toString(), fields.value(1).toInt(),
                                                fields.value(2).toString());
        if (!current.bssid || ap.bssid != current.bssid)
            result.accessPoints << ap;
    }
    return result;
}

std::optional<SystemError> IwdBackend::join(const AccessPoint& accessPoint,
                                            const std::optional<QString>& password)
{
    awaitFirstLoad();
    const iwd::Objects objects = mirror_->objects();
    const std::optional<iwd::Device> device = iwd::device(objects);
    if (!device)
        return SystemError(WiFiError::noInterface);
    // A hidden access point is only an address to iwd until it is given the name.
    if (accessPoint.ssidBytes.isEmpty())
        return SystemError(iwd::kDomain, iwd::kOtherFailure,
                           QStringLiteral("iwd joins a hidden network only by its name."));
    const std::optional<QString> network = iwd::networkToJoin(objects, device->path, accessPoint);
    if (!network)
        return SystemError(WiFiError::gone);
    const QVariantMap properties = objects.value(*network).value(kNetwork);
    const QString name = properties.value(QStringLiteral("Name")).toString();
    const QString type = properties.value(QStringLiteral("Type")).toString();
    // Refused before iwd is asked: the program never joins an enterprise
    // network (the system's settings do).
    if (type == QLatin1String("8021x"))
        return SystemError(WiFiError::enterprise);
    const bool secured = type == QLatin1String("psk") || type == QLatin1String("wep");
    const bool known = iwd::knownNetwork(objects, name, type).has_value();

    if (secured) {
        const std::optional<QDBusMessage> refusal = agent_->waitForRegistration(limits_.call);
        if (refusal)
            return iwd::failureFromError(refusal->errorName(), refusal->errorMessage());
    }
    const QDeadlineTimer deadline(limits_.join);
    std::optional<SystemError> failure =
        connectOnce(device->path, {*network, {}}, secured, password, deadline);
    // iwd tries its stored passphrase first and asks the agent only once that
    // was rejected: then the typed one gets its turn.
    if (failure && known && secured && password && !agent_->wasAsked() && failure->domain() == iwd::kDomain &&
        failure->code() == iwd::kSecretsFailed && !deadline.hasExpired())
        failure = connectOnce(device->path, {*network, {}}, secured, password, deadline);
    // iwd stores a network once it is associated; a join that failed after
    // that (no address, timed out) must not leave a new one behind.
    if (failure && !known)
        forget(name, type);
    return failure;
}

std::optional<SystemError> IwdBackend::joinHidden(const QByteArray& ssid, Security security,
                                                  const std::optional<QString>& password)
{
    if (security == Security::enterprise)
        return SystemError(WiFiError::enterprise);
    awaitFirstLoad();
    const iwd::Objects objects = mirror_->objects();
    const std::optional<iwd::Device> device = iwd::device(objects);
    if (!device)
        return SystemError(WiFiError::noInterface);
    // iwd names networks by UTF-8 text only.
    const QString name = QString::fromUtf8(ssid);
    if (ssid.isEmpty() || ssid.size() > 32 || name.toUtf8() != ssid)
        return SystemError(iwd::kDomain, iwd::kOtherFailure,
                           QStringLiteral("iwd joins a network by a name of 1 to 32 bytes of UTF-8 text."));
    // A network of the name that iwd lists already (it broadcasts the name,
    // or iwd found the saved hidden one) is joined like any other: iwd
    // refuses ConnectHiddenNetwork for it.
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        const QVariantMap network = it.value().value(kNetwork);
        if (!network.isEmpty() && network.value(QStringLiteral("Name")).toString() == name &&
            network.value(QStringLiteral("Device")).toString() == device->path)
            return join(iwd::accessPointFromNetwork(it.key(), network, 0), password);
    }
    // Otherwise iwd scans for it and asks the agent for the passphrase under
    // the Network object it makes for it then.
    if (security != Security::open && security != Security::owe) {
        const std::optional<QDBusMessage> refusal = agent_->waitForRegistration(limits_.call);
        if (refusal)
            return iwd::failureFromError(refusal->errorName(), refusal->errorMessage());
    }
    const std::optional<SystemError> failure = connectOnce(
        device->path, {QString(), name}, password.has_value(), password, QDeadlineTimer(limits_.join));
    // A name iwd did not know before is not left stored by a failed join.
    if (failure) {
        const QString type = security == Security::wep ? QStringLiteral("wep")
                             : security == Security::open || security == Security::owe
                                 ? QStringLiteral("open")
                                 : QStringLiteral("psk");
        if (!iwd::knownNetwork(objects, name, type))
            forget(name, type);
    }
    return failure;
}

std::optional<SystemError> IwdBackend::connectOnce(const QString& station, const JoinTarget& target,
                                                   bool secured, const std::optional<QString>& password,
                                                   QDeadlineTimer deadline)
{
    const bool byName = target.network.isEmpty();
    if (byName)
        agent_->armForAny(password);
    else
        agent_->arm(target.network, password);
    const std::unique_ptr<IwdAgent, void (*)(IwdAgent*)> disarm(agent_, [](IwdAgent* a) { a->disarm(); });
    // The network joined is the target's object, or for a join by name the
    // object iwd made for that name.
    const auto isTarget = [&](const QString& path) {
        return byName ? mirror_->properties(path, kNetwork).value(QStringLiteral("Name")).toString() ==
                            target.hiddenName
                      : path == target.network;
    };
    // Mark before acting: every state of this join is announced after it.
    quint64 mark = mirror_->log().mark();
    const QDBusMessage reply =
        byName ? call(station, kStation, QStringLiteral("ConnectHiddenNetwork"), {target.hiddenName},
                      left(deadline))
               : call(target.network, kNetwork, QStringLiteral("Connect"), {}, left(deadline));
    if (!ok(reply)) {
        const bool unanswered = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
        // iwd leaving ends its open calls before the copy hears that its name
        // went: the bus itself knows at once.
        if (!mirror_->isReachable() ||
            (unanswered && !mirror_->log().isCancelled() &&
             !QDBusConnection(connectionName_).interface()->isServiceRegistered(kService).value()))
            return SystemError(WiFiError::noInterface);
        // A join still under way when its time is up is called off.
        if (unanswered)
            call(station, kStation, QStringLiteral("Disconnect"));
        return iwd::failureFromError(reply.errorName(), reply.errorMessage(),
                                     {secured, agent_->refusedSinceArmed()});
    }
    // Connect answers once the link is up; with iwd's own network
    // configuration the station is "connected" only once it has an address.
    // The announcements tell, in order, whether this join got there or was
    // dropped (the copy's current state may still lag behind the answer).
    const auto connected = [&] {
        const QVariantMap props = mirror_->properties(station, kStation);
        return props.value(QStringLiteral("State")).toString() == QLatin1String("connected") &&
               isTarget(props.value(QStringLiteral("ConnectedNetwork")).toString());
    };
    bool ours = false;
    QString last;
    const std::optional<Event> end =
        connected()
            ? std::nullopt
            : mirror_->log().waitForEvent(
                  mark,
                  [&](const Event& e) {
                      if (e.kind == Event::Kind::serviceLost)
                          return true;
                      if (e.kind != Event::Kind::propertiesChanged || e.path != station ||
                          e.interface != kStation)
                          return false;
                      if (e.changed.contains(QStringLiteral("ConnectedNetwork")))
                          ours = isTarget(e.changed.value(QStringLiteral("ConnectedNetwork")).toString());
                      last = e.changed.value(QStringLiteral("State"), last).toString();
                      return ours &&
                             (last == QLatin1String("connected") || last == QLatin1String("disconnected"));
                  },
                  deadline);
    if (connected() || (end && end->kind != Event::Kind::serviceLost && last == QLatin1String("connected")))
        return std::nullopt;
    if (!mirror_->isReachable())
        return SystemError(WiFiError::noInterface);
    // Not connected in time, or dropped again: leave nothing half-done.
    if (!end)
        call(station, kStation, QStringLiteral("Disconnect"));
    return SystemError(iwd::kDomain, iwd::kTimedOut,
                       end ? QStringLiteral("The connection was dropped right after it was made.")
                           : QStringLiteral("The network gave no address in time."));
}

void IwdBackend::forget(const QString& name, const QString& type)
{
    const std::optional<iwd::KnownNetwork> known = iwd::knownNetwork(mirror_->objects(), name, type);
    if (!known)
        return;
    const QDBusMessage reply = call(known->path, kKnownNetwork, QStringLiteral("Forget"));
    if (!ok(reply))
        debugLog(QStringLiteral("iwd: the failed join's network could not be forgotten: ") +
                 visibleText(reply.errorMessage()));
}

void IwdBackend::disconnect()
{
    awaitFirstLoad();
    const std::optional<iwd::Device> device = iwd::device(mirror_->objects());
    if (!device || !device->hasStation)
        return;
    const QDBusMessage reply = call(device->path, kStation, QStringLiteral("Disconnect"));
    if (!ok(reply))
        return; // not connected, or not allowed: nothing to report
    mirror_->log().waitUntil(
        [&] {
            return mirror_->properties(device->path, kStation).value(QStringLiteral("State")).toString() ==
                   QLatin1String("disconnected");
        },
        QDeadlineTimer(limits_.settle));
}

std::optional<SystemError> IwdBackend::setPower(bool on)
{
    awaitFirstLoad();
    const std::optional<iwd::Device> device = iwd::device(mirror_->objects());
    if (!device)
        return SystemError(WiFiError::noInterface);
    const QDBusMessage reply =
        call(device->path, kProperties, QStringLiteral("Set"),
             {kDevice, QStringLiteral("Powered"), QVariant::fromValue(QDBusVariant(on))});
    if (!ok(reply))
        return iwd::failureFromError(reply.errorName(), reply.errorMessage());
    mirror_->log().waitUntil([&] { return iwd::isPoweredOn(iwd::device(mirror_->objects())) == on; },
                             QDeadlineTimer(limits_.settle));
    return std::nullopt;
}

void IwdBackend::cancel()
{
    mirror_->cancelWaits();
}

} // namespace ondrel
