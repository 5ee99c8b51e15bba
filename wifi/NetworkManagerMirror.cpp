#include "wifi/NetworkManagerMirror.h"

#include "wifi/NetworkManagerMapping.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace ondrel {

namespace {

const QString kRoot = QStringLiteral("/org/freedesktop");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kAccessPoint = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString kSettings = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");

// Waits look back no further than one operation (tens of seconds), so a
// short log suffices.
constexpr std::size_t kEventLimit = 4096;
constexpr std::chrono::seconds kRetryInterval{5};

QStringList textList(const QVariant& value)
{
    QStringList out;
    for (const QVariant& item : value.toList())
        out << item.toString();
    return out;
}

// A reply's error means that nobody owns the name (as opposed to an owner
// that does not answer).
bool isAbsence(const QString& errorName)
{
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

} // namespace

NetworkManagerMirror::NetworkManagerMirror(QString connectionName, std::chrono::milliseconds callTimeout)
    : connectionName_(std::move(connectionName)), callTimeout_(callTimeout)
{
}

NetworkManagerMirror::~NetworkManagerMirror() = default;

void NetworkManagerMirror::start()
{
    QDBusConnection bus(connectionName_);
    if (!bus.isConnected()) {
        // No system bus at all: nothing will ever answer, so the copy is
        // complete (and empty) at once.
        std::lock_guard lock(mutex_);
        loaded_ = true;
        changed();
        return;
    }
    // Subscribe first: every change after this point reaches the copy, so a
    // load that races with a change cannot lose it.
    bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(onPropertiesChanged(QDBusMessage)));
    bus.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesAdded"), this,
                SLOT(onInterfacesAdded(QDBusMessage)));
    bus.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                SLOT(onInterfacesRemoved(QDBusMessage)));
    bus.connect(kService, QString(), kDevice, QStringLiteral("StateChanged"), this,
                SLOT(onDeviceStateChanged(QDBusMessage)));
    bus.connect(kService, QString(), kActive, QStringLiteral("StateChanged"), this,
                SLOT(onActiveStateChanged(QDBusMessage)));
    bus.connect(kService, QString(), kConnection, QStringLiteral("Updated"), this,
                SLOT(onConnectionUpdated(QDBusMessage)));
    bus.connect(kService, kSettingsPath, kSettings, QStringLiteral("NewConnection"), this,
                SLOT(onNewConnection(QDBusMessage)));
    bus.connect(kService, kSettingsPath, kSettings, QStringLiteral("ConnectionRemoved"), this,
                SLOT(onConnectionRemoved(QDBusMessage)));

    watcher_ = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                if (!oldOwner.isEmpty())
                    serviceLost();
                if (!newOwner.isEmpty())
                    serviceAppeared();
            });

    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    retry_->setInterval(kRetryInterval);
    connect(retry_, &QTimer::timeout, this, &NetworkManagerMirror::refresh);

    refresh();
}

void NetworkManagerMirror::refresh()
{
    quint64 generation;
    {
        std::lock_guard lock(mutex_);
        if (loading_)
            return;
        loading_ = true;
        generation = generation_;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kRoot, kObjectManager, QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(connectionName_).asyncCall(call, int(callTimeout_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* w) { onObjectsLoaded(w, generation); });
}

void NetworkManagerMirror::onObjectsLoaded(QDBusPendingCallWatcher* watcher, quint64 generation)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    QStringList connections;
    {
        std::lock_guard lock(mutex_);
        loading_ = false;
        if (generation != generation_)
            return;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            reachable_ = false;
            objects_.clear();
            settings_.clear();
            loaded_ = true;
            // An owner that does not answer may come back; an absent one
            // announces itself through the service watcher.
            if (!isAbsence(reply.errorName()))
                QMetaObject::invokeMethod(retry_, qOverload<>(&QTimer::start), Qt::QueuedConnection);
            changed();
            return;
        }
        objects_.clear();
        const QVariantMap all = nm::plainValue(reply.arguments().value(0)).toMap();
        for (auto object = all.begin(); object != all.end(); ++object) {
            Interfaces& interfaces = objects_[object.key()];
            const QVariantMap byInterface = object.value().toMap();
            for (auto it = byInterface.begin(); it != byInterface.end(); ++it)
                interfaces.insert(it.key(), it.value().toMap());
        }
        reachable_ = true;
        settings_.clear();
        for (auto it = objects_.cbegin(); it != objects_.cend(); ++it) {
            if (it.value().contains(kConnection))
                connections << it.key();
        }
        pendingSettings_ = int(connections.size());
        finishLoadLocked();
        changed();
    }
    for (const QString& path : connections)
        fetchSettings(path, generation);
}

void NetworkManagerMirror::fetchSettings(const QString& path, quint64 generation)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, path, kConnection, QStringLiteral("GetSettings"));
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(connectionName_).asyncCall(call, int(callTimeout_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, generation](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                std::lock_guard lock(mutex_);
                if (generation != generation_)
                    return;
                if (reply.type() == QDBusMessage::ReplyMessage && objects_.contains(path))
                    settings_.insert(path, nm::plainValue(reply.arguments().value(0)).toMap());
                if (pendingSettings_ > 0)
                    --pendingSettings_;
                finishLoadLocked();
                changed();
            });
}

bool NetworkManagerMirror::finishLoadLocked()
{
    if (pendingSettings_ == 0)
        loaded_ = true;
    return loaded_;
}

void NetworkManagerMirror::serviceAppeared()
{
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        loading_ = false;
    }
    refresh();
}

void NetworkManagerMirror::serviceLost()
{
    std::lock_guard lock(mutex_);
    ++generation_;
    loading_ = false;
    reachable_ = false;
    objects_.clear();
    settings_.clear();
    pendingSettings_ = 0;
    loaded_ = true;
    Event event;
    event.kind = Event::Kind::serviceLost;
    push(std::move(event));
    changed();
}

void NetworkManagerMirror::noteActivity()
{
    // A signal from an owner that did not answer the last load: it is back.
    bool stale;
    {
        std::lock_guard lock(mutex_);
        stale = !reachable_ && !loading_;
    }
    if (stale) {
        retry_->stop();
        refresh();
    }
}

void NetworkManagerMirror::onPropertiesChanged(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    Event event;
    event.kind = Event::Kind::propertiesChanged;
    event.path = message.path();
    event.interface = args.at(0).toString();
    event.changed = nm::plainValue(args.at(1)).toMap();
    std::lock_guard lock(mutex_);
    auto object = objects_.find(event.path);
    if (object != objects_.end()) {
        QVariantMap& props = (*object)[event.interface];
        for (auto it = event.changed.cbegin(); it != event.changed.cend(); ++it)
            props.insert(it.key(), it.value());
    }
    // Only the end of a scan is waited for; other changes (such as a long
    // access point list) stay out of the log.
    const auto lastScan = event.changed.constFind(QStringLiteral("LastScan"));
    if (lastScan != event.changed.cend()) {
        event.changed = QVariantMap{{lastScan.key(), lastScan.value()}};
        push(std::move(event));
    }
    changed();
}

void NetworkManagerMirror::onInterfacesAdded(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    const QString path = nm::plainValue(args.at(0)).toString();
    const QVariantMap byInterface = nm::plainValue(args.at(1)).toMap();
    bool isConnection = false;
    quint64 generation;
    {
        std::lock_guard lock(mutex_);
        Interfaces& interfaces = objects_[path];
        for (auto it = byInterface.begin(); it != byInterface.end(); ++it)
            interfaces.insert(it.key(), it.value().toMap());
        isConnection = byInterface.contains(kConnection) && !settings_.contains(path);
        generation = generation_;
        changed();
    }
    if (isConnection)
        fetchSettings(path, generation);
}

void NetworkManagerMirror::onInterfacesRemoved(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.isEmpty())
        return;
    const QString path = nm::plainValue(args.at(0)).toString();
    const QStringList gone = textList(nm::plainValue(args.value(1)));
    std::lock_guard lock(mutex_);
    auto object = objects_.find(path);
    if (object == objects_.end())
        return;
    for (const QString& interface : gone)
        object->remove(interface);
    if (object->isEmpty() || gone.isEmpty())
        objects_.erase(object);
    if (!objects_.contains(path) || !objects_.value(path).contains(kConnection))
        settings_.remove(path);
    changed();
}

void NetworkManagerMirror::onDeviceStateChanged(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.size() < 3)
        return;
    Event event;
    event.kind = Event::Kind::deviceStateChanged;
    event.path = message.path();
    event.state = args.at(0).toUInt();
    event.oldState = args.at(1).toUInt();
    event.reason = args.at(2).toUInt();
    std::lock_guard lock(mutex_);
    auto object = objects_.find(event.path);
    if (object != objects_.end() && object->contains(kDevice)) {
        QVariantMap& props = (*object)[kDevice];
        props.insert(QStringLiteral("State"), event.state);
        props.insert(QStringLiteral("StateReason"), QVariantList{event.state, event.reason});
    }
    push(std::move(event));
    changed();
}

void NetworkManagerMirror::onActiveStateChanged(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    Event event;
    event.kind = Event::Kind::activeStateChanged;
    event.path = message.path();
    event.state = args.at(0).toUInt();
    event.reason = args.at(1).toUInt();
    std::lock_guard lock(mutex_);
    push(std::move(event));
    changed();
}

void NetworkManagerMirror::onConnectionUpdated(const QDBusMessage& message)
{
    noteActivity();
    quint64 generation;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    fetchSettings(message.path(), generation);
}

void NetworkManagerMirror::onNewConnection(const QDBusMessage& message)
{
    noteActivity();
    const QString path = nm::plainValue(message.arguments().value(0)).toString();
    quint64 generation;
    {
        std::lock_guard lock(mutex_);
        if (settings_.contains(path))
            return;
        generation = generation_;
        objects_[path][kConnection];
    }
    fetchSettings(path, generation);
}

void NetworkManagerMirror::onConnectionRemoved(const QDBusMessage& message)
{
    noteActivity();
    const QString path = nm::plainValue(message.arguments().value(0)).toString();
    std::lock_guard lock(mutex_);
    settings_.remove(path);
    objects_.remove(path);
    changed();
}

void NetworkManagerMirror::push(Event event)
{
    event.sequence = ++sequence_;
    events_.push_back(std::move(event));
    if (events_.size() > kEventLimit)
        events_.pop_front();
}

void NetworkManagerMirror::changed()
{
    ++changeCount_;
    changedCondition_.notify_all();
}

void NetworkManagerMirror::cancelWaits()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    changedCondition_.notify_all();
}

bool NetworkManagerMirror::waitUntilLoaded(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    return changedCondition_.wait_for(lock, limit, [this] { return loaded_ || cancelled_; }) && loaded_;
}

bool NetworkManagerMirror::isReachable() const
{
    std::lock_guard lock(mutex_);
    return reachable_;
}

QString NetworkManagerMirror::wirelessDeviceLocked() const
{
    const QStringList devices =
        textList(objects_.value(kManagerPath).value(kManager).value(QStringLiteral("Devices")));
    for (const QString& path : devices) {
        const QVariantMap device = objects_.value(path).value(kDevice);
        if (device.value(QStringLiteral("DeviceType")).toUInt() == 2)
            return path;
    }
    return {};
}

QString NetworkManagerMirror::wirelessDevice() const
{
    std::lock_guard lock(mutex_);
    return wirelessDeviceLocked();
}

QString NetworkManagerMirror::interfaceName() const
{
    std::lock_guard lock(mutex_);
    const QString device = wirelessDeviceLocked();
    if (device.isEmpty())
        return {};
    return objects_.value(device).value(kDevice).value(QStringLiteral("Interface")).toString();
}

bool NetworkManagerMirror::wirelessEnabled() const
{
    std::lock_guard lock(mutex_);
    return objects_.value(kManagerPath).value(kManager).value(QStringLiteral("WirelessEnabled")).toBool();
}

Association NetworkManagerMirror::association() const
{
    std::lock_guard lock(mutex_);
    Association association;
    const QString device = wirelessDeviceLocked();
    if (device.isEmpty())
        return association;
    const QVariantMap wireless = objects_.value(device).value(kWireless);
    const QString apPath = wireless.value(QStringLiteral("ActiveAccessPoint")).toString();
    if (apPath.isEmpty() || apPath == QLatin1String("/"))
        return association;
    const auto object = objects_.constFind(apPath);
    if (object == objects_.cend() || !object->contains(kAccessPoint))
        return association;
    AccessPoint ap = nm::accessPointFromProperties(apPath, object->value(kAccessPoint));
    if (ap.ssidBytes.isEmpty()) {
        // A hidden network's access point does not say its name; the profile
        // the device is activated with does.
        const QString active =
            objects_.value(device).value(kDevice).value(QStringLiteral("ActiveConnection")).toString();
        const QString profile =
            objects_.value(active).value(kActive).value(QStringLiteral("Connection")).toString();
        ap.ssid = nm::decodeSsid(profileSsidLocked(profile));
    }
    association.ssid = ap.ssid;
    association.bssid = ap.bssid;
    association.rssi = ap.rssi;
    association.noise = ap.noise;
    association.channel = ap.channel;
    association.txRate = wireless.value(QStringLiteral("Bitrate")).toUInt() / 1000.0;
    return association;
}

QByteArray NetworkManagerMirror::profileSsidLocked(const QString& path) const
{
    return settings_.value(path)
        .value(QStringLiteral("802-11-wireless"))
        .toMap()
        .value(QStringLiteral("ssid"))
        .toByteArray();
}

QByteArray NetworkManagerMirror::profileSsid(const QString& path) const
{
    std::lock_guard lock(mutex_);
    return profileSsidLocked(path);
}

QList<NetworkManagerMirror::SavedWifi> NetworkManagerMirror::savedWifi() const
{
    std::lock_guard lock(mutex_);
    QList<SavedWifi> out;
    QStringList order =
        textList(objects_.value(kSettingsPath).value(kSettings).value(QStringLiteral("Connections")));
    // Connections announced before the list property caught up go last.
    for (auto it = settings_.cbegin(); it != settings_.cend(); ++it) {
        if (!order.contains(it.key()))
            order << it.key();
    }
    for (const QString& path : order) {
        const auto settings = settings_.constFind(path);
        if (settings == settings_.cend())
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

QVariantMap NetworkManagerMirror::properties(const QString& path, const QString& interface) const
{
    std::lock_guard lock(mutex_);
    return objects_.value(path).value(interface);
}

quint64 NetworkManagerMirror::mark() const
{
    std::lock_guard lock(mutex_);
    return sequence_;
}

std::optional<NetworkManagerMirror::Event>
NetworkManagerMirror::waitForEvent(quint64& after, const std::function<bool(const Event&)>& accept,
                                   QDeadlineTimer deadline) const
{
    std::unique_lock lock(mutex_);
    for (;;) {
        for (const Event& event : events_) {
            if (event.sequence <= after)
                continue;
            after = event.sequence;
            if (accept(event))
                return event;
        }
        if (deadline.hasExpired() || cancelled_)
            return std::nullopt;
        const quint64 seen = sequence_;
        changedCondition_.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(),
                                     [&] { return sequence_ != seen || cancelled_; });
    }
}

bool NetworkManagerMirror::waitUntil(const std::function<bool()>& holds, QDeadlineTimer deadline) const
{
    for (;;) {
        quint64 seen;
        {
            std::lock_guard lock(mutex_);
            seen = changeCount_;
        }
        if (holds())
            return true;
        std::unique_lock lock(mutex_);
        if (deadline.hasExpired() || cancelled_)
            return false;
        changedCondition_.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(),
                                     [&] { return changeCount_ != seen || cancelled_; });
    }
}

} // namespace ondrel
