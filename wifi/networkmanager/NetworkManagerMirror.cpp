#include "wifi/networkmanager/NetworkManagerMirror.h"

#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/networkmanager/NetworkManagerNames.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace ondrel {

namespace {

using namespace nm::dbus;

QStringList textList(const QVariant& value)
{
    QStringList out;
    for (const QVariant& item : value.toList())
        out << item.toString();
    return out;
}

} // namespace

NetworkManagerMirror::NetworkManagerMirror(QString connectionName, std::chrono::milliseconds callTimeout,
                                           std::chrono::milliseconds retry)
    : connectionName_(std::move(connectionName)), callTimeout_(callTimeout), retryInterval_(retry)
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
        log_.changed();
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
    retry_->setInterval(retryInterval_);
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
            if (!nm::isAbsence(reply.errorName()))
                QMetaObject::invokeMethod(retry_, qOverload<>(&QTimer::start), Qt::QueuedConnection);
            log_.changed();
            return;
        }
        objects_.clear();
        const QVariantMap all = nm::plainValue(reply.arguments().value(0)).toMap();
        for (auto object = all.begin(); object != all.end(); ++object) {
            nm::Interfaces& interfaces = objects_[object.key()];
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
        log_.changed();
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
                log_.changed();
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
    log_.push(std::move(event));
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
        log_.push(std::move(event));
    } else {
        log_.changed();
    }
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
        nm::Interfaces& interfaces = objects_[path];
        for (auto it = byInterface.begin(); it != byInterface.end(); ++it)
            interfaces.insert(it.key(), it.value().toMap());
        isConnection = byInterface.contains(kConnection) && !settings_.contains(path);
        generation = generation_;
        log_.changed();
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
    log_.changed();
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
    log_.push(std::move(event));
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
    log_.push(std::move(event));
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
    log_.changed();
}

bool NetworkManagerMirror::waitUntilLoaded(std::chrono::milliseconds limit) const
{
    return log_.waitUntil(
        [this] {
            std::lock_guard lock(mutex_);
            return loaded_;
        },
        QDeadlineTimer(limit));
}

bool NetworkManagerMirror::isReachable() const
{
    std::lock_guard lock(mutex_);
    return reachable_;
}

QString NetworkManagerMirror::wirelessDevice() const
{
    std::lock_guard lock(mutex_);
    return nm::wirelessDevice(objects_);
}

QString NetworkManagerMirror::interfaceName() const
{
    std::lock_guard lock(mutex_);
    return objects_.value(nm::wirelessDevice(objects_))
        .value(kDevice)
        .value(QStringLiteral("Interface"))
        .toString();
}

bool NetworkManagerMirror::wirelessEnabled() const
{
    std::lock_guard lock(mutex_);
    return objects_.value(kManagerPath).value(kManager).value(QStringLiteral("WirelessEnabled")).toBool();
}

Association NetworkManagerMirror::association() const
{
    std::lock_guard lock(mutex_);
    return nm::association(objects_, settings_);
}

QList<NetworkManagerMirror::SavedWifi> NetworkManagerMirror::savedWifi() const
{
    std::lock_guard lock(mutex_);
    return nm::savedWifi(
        settings_,
        textList(objects_.value(kSettingsPath).value(kSettings).value(QStringLiteral("Connections"))));
}

QVariantMap NetworkManagerMirror::properties(const QString& path, const QString& interface) const
{
    std::lock_guard lock(mutex_);
    return objects_.value(path).value(interface);
}

} // namespace ondrel
