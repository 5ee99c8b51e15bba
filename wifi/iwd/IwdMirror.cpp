#include "wifi/iwd/IwdMirror.h"

#include "wifi/iwd/IwdNames.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace ondrel {

namespace {

using namespace iwd::dbus;

QStringList textList(const QVariant& value)
{
    QStringList out;
    for (const QVariant& item : value.toList())
        out << item.toString();
    return out;
}

bool connectedState(const QString& state)
{
    return state == QLatin1String("connected") || state == QLatin1String("roaming");
}

} // namespace

IwdMirror::IwdMirror(QString connectionName, std::chrono::milliseconds callTimeout,
                     std::chrono::milliseconds retry, std::chrono::milliseconds diagnostics)
    : connectionName_(std::move(connectionName)), callTimeout_(callTimeout), retryInterval_(retry)
{
    diagnosticsTimer_ = new QTimer(this);
    diagnosticsTimer_->setInterval(diagnostics);
    connect(diagnosticsTimer_, &QTimer::timeout, this, &IwdMirror::readDiagnostics);
}

IwdMirror::~IwdMirror() = default;

void IwdMirror::start()
{
    QDBusConnection bus(connectionName_);
    if (!bus.isConnected()) {
        // No system bus: nothing will ever answer, so the copy is complete
        // (and empty) at once.
        {
            std::lock_guard lock(mutex_);
            loaded_ = true;
        }
        log_.changed();
        return;
    }
    // Subscribe first: every change after this point reaches the copy.
    bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(onPropertiesChanged(QDBusMessage)));
    bus.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesAdded"), this,
                SLOT(onInterfacesAdded(QDBusMessage)));
    bus.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                SLOT(onInterfacesRemoved(QDBusMessage)));

    watcher_ = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                if (!oldOwner.isEmpty())
                    serviceLost();
                if (!newOwner.isEmpty())
                    serviceAppeared(newOwner);
            });

    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    retry_->setInterval(retryInterval_);
    connect(retry_, &QTimer::timeout, this, &IwdMirror::refresh);

    refresh();
}

void IwdMirror::refresh()
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
    // Never start iwd: where it is not running, another supplicant may be.
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(connectionName_).asyncCall(call, int(callTimeout_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* w) { onObjectsLoaded(w, generation); });
}

void IwdMirror::onObjectsLoaded(QDBusPendingCallWatcher* watcher, quint64 generation)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    {
        std::lock_guard lock(mutex_);
        loading_ = false;
        if (generation != generation_)
            return;
        loaded_ = true;
        objects_.clear();
        diagnostics_.clear();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            reachable_ = false;
            // An owner that does not answer may come back; an absent one
            // announces itself through the service watcher.
            if (!iwd::isAbsence(reply.errorName()))
                QMetaObject::invokeMethod(retry_, qOverload<>(&QTimer::start), Qt::QueuedConnection);
        } else {
            const QVariantMap all = nm::plainValue(reply.arguments().value(0)).toMap();
            for (auto object = all.begin(); object != all.end(); ++object) {
                iwd::Interfaces& interfaces = objects_[object.key()];
                const QVariantMap byInterface = object.value().toMap();
                for (auto it = byInterface.begin(); it != byInterface.end(); ++it)
                    interfaces.insert(it.key(), it.value().toMap());
            }
            reachable_ = true;
            owner_ = reply.service();
        }
    }
    log_.changed();
    followConnection();
}

void IwdMirror::serviceAppeared(const QString& owner)
{
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        loading_ = false;
        owner_ = owner;
    }
    refresh();
}

void IwdMirror::serviceLost()
{
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        loading_ = false;
        reachable_ = false;
        loaded_ = true;
        objects_.clear();
        diagnostics_.clear();
        owner_.clear();
    }
    retry_->stop();
    diagnosticsTimer_->stop();
    Event event;
    event.kind = Event::Kind::serviceLost;
    log_.push(std::move(event));
}

void IwdMirror::noteActivity()
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

void IwdMirror::onPropertiesChanged(const QDBusMessage& message)
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
    event.interfaces = textList(nm::plainValue(args.value(2)));
    {
        std::lock_guard lock(mutex_);
        auto object = objects_.find(event.path);
        if (object != objects_.end()) {
            QVariantMap& props = (*object)[event.interface];
            for (auto it = event.changed.cbegin(); it != event.changed.cend(); ++it)
                props.insert(it.key(), it.value());
            // iwd drops an optional property (ConnectedNetwork, KnownNetwork)
            // by invalidating it.
            for (const QString& gone : std::as_const(event.interfaces))
                props.remove(gone);
        }
    }
    log_.push(std::move(event));
    followConnection();
}

void IwdMirror::onInterfacesAdded(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    Event event;
    event.kind = Event::Kind::interfacesAdded;
    event.path = nm::plainValue(args.at(0)).toString();
    const QVariantMap byInterface = nm::plainValue(args.at(1)).toMap();
    {
        std::lock_guard lock(mutex_);
        iwd::Interfaces& interfaces = objects_[event.path];
        for (auto it = byInterface.begin(); it != byInterface.end(); ++it) {
            interfaces.insert(it.key(), it.value().toMap());
            event.interfaces << it.key();
        }
    }
    log_.push(std::move(event));
    followConnection();
}

void IwdMirror::onInterfacesRemoved(const QDBusMessage& message)
{
    noteActivity();
    const QList<QVariant> args = message.arguments();
    if (args.isEmpty())
        return;
    Event event;
    event.kind = Event::Kind::interfacesRemoved;
    event.path = nm::plainValue(args.at(0)).toString();
    event.interfaces = textList(nm::plainValue(args.value(1)));
    {
        std::lock_guard lock(mutex_);
        auto object = objects_.find(event.path);
        if (object != objects_.end()) {
            for (const QString& interface : std::as_const(event.interfaces))
                object->remove(interface);
            if (object->isEmpty() || event.interfaces.isEmpty())
                objects_.erase(object);
        }
    }
    log_.push(std::move(event));
    followConnection();
}

void IwdMirror::followConnection()
{
    bool connected;
    {
        std::lock_guard lock(mutex_);
        const std::optional<iwd::Device> device = iwd::device(objects_);
        connected =
            device &&
            connectedState(
                objects_.value(device->path).value(kStation).value(QStringLiteral("State")).toString()) &&
            objects_.value(device->path).contains(kDiagnostic);
        if (!connected)
            diagnostics_.clear();
    }
    if (connected && !diagnosticsTimer_->isActive()) {
        diagnosticsTimer_->start();
        readDiagnostics();
    } else if (!connected) {
        diagnosticsTimer_->stop();
    }
}

void IwdMirror::readDiagnostics()
{
    QString path;
    quint64 generation;
    {
        std::lock_guard lock(mutex_);
        const std::optional<iwd::Device> device = iwd::device(objects_);
        if (!device)
            return;
        path = device->path;
        generation = generation_;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, path, kDiagnostic, QStringLiteral("GetDiagnostics"));
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(connectionName_).asyncCall(call, int(callTimeout_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, generation](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                {
                    std::lock_guard lock(mutex_);
                    const std::optional<iwd::Device> device = iwd::device(objects_);
                    if (generation != generation_ || !device || device->path != path)
                        return;
                    if (reply.type() == QDBusMessage::ReplyMessage)
                        diagnostics_ = nm::plainValue(reply.arguments().value(0)).toMap();
                }
                log_.changed();
            });
}

bool IwdMirror::waitUntilLoaded(std::chrono::milliseconds limit) const
{
    return log_.waitUntil(
        [this] {
            std::lock_guard lock(mutex_);
            return loaded_;
        },
        QDeadlineTimer(limit));
}

bool IwdMirror::isReachable() const
{
    std::lock_guard lock(mutex_);
    return reachable_;
}

iwd::Objects IwdMirror::objects() const
{
    std::lock_guard lock(mutex_);
    return objects_;
}

QVariantMap IwdMirror::properties(const QString& path, const QString& interface) const
{
    std::lock_guard lock(mutex_);
    return objects_.value(path).value(interface);
}

QVariantMap IwdMirror::diagnostics() const
{
    std::lock_guard lock(mutex_);
    return diagnostics_;
}

QString IwdMirror::owner() const
{
    std::lock_guard lock(mutex_);
    return owner_;
}

} // namespace ondrel
