#include "wifi/BusAgent.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace ondrel {

namespace {

constexpr int kStartingAttempts = 40;
constexpr std::chrono::milliseconds kStartingRetry{250};

} // namespace

BusAgent::BusAgent(QString connectionName, std::chrono::milliseconds callTimeout, QString service)
    : connectionName_(std::move(connectionName)), callTimeout_(callTimeout), service_(std::move(service))
{
}

void BusAgent::start()
{
    QDBusConnection bus(connectionName_);
    if (!bus.isConnected()) {
        std::lock_guard lock(mutex_);
        pending_ = false;
        answered_.notify_all();
        return;
    }
    bus.registerObject(path(), this, QDBusConnection::ExportAllSlots);
    auto* watcher = new QDBusServiceWatcher(service_, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { registerAgent(0); });
    registerAgent(0);
}

void BusAgent::registerAgent(int attempt)
{
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
    }
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(connectionName_).asyncCall(registration(), int(callTimeout_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        const QString error = reply.errorName();
        if ((error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
             error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")) &&
            attempt < kStartingAttempts) {
            QTimer::singleShot(kStartingRetry, this, [this, attempt] { registerAgent(attempt + 1); });
            return;
        }
        std::lock_guard lock(mutex_);
        pending_ = false;
        refusal_.reset();
        if (reply.type() == QDBusMessage::ReplyMessage || registeredDespite(error))
            owner_ = reply.service();
        else if (!absence(error))
            refusal_ = reply;
        answered_.notify_all();
    });
}

std::optional<QDBusMessage> BusAgent::waitForRegistration(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    answered_.wait_for(lock, limit, [this] { return !pending_; });
    return refusal_;
}

} // namespace ondrel
