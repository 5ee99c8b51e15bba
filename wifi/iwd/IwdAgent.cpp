#include "wifi/iwd/IwdAgent.h"

#include "wifi/iwd/IwdNames.h"
#include "wifi/iwd/IwdRules.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>

#include <atomic>

namespace ondrel {

namespace {

using namespace iwd::dbus;

// iwd takes its name before it offers the agent manager: while starting it
// answers that the object is not there yet.
constexpr int kStartingAttempts = 40;
constexpr std::chrono::milliseconds kStartingRetry{250};

} // namespace

IwdAgent::IwdAgent(QString connectionName, std::chrono::milliseconds callTimeout)
    : connectionName_(std::move(connectionName)), callTimeout_(callTimeout)
{
    // One agent per engine: every engine of every process has a path of its own.
    static std::atomic<int> instances{0};
    path_ = QStringLiteral("/org/ondrel/Ondrel/iwd/agent%1").arg(instances++);
}

IwdAgent::~IwdAgent()
{
    QDBusConnection bus(connectionName_);
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kDaemonPath, kAgentManager,
                                                           QStringLiteral("UnregisterAgent"));
        call.setArguments({QVariant::fromValue(QDBusObjectPath(path_))});
        call.setAutoStartService(false);
        bus.send(call);
    }
    bus.unregisterObject(path_);
}

void IwdAgent::start()
{
    QDBusConnection bus(connectionName_);
    if (!bus.isConnected()) {
        std::lock_guard lock(mutex_);
        pending_ = false;
        answered_.notify_all();
        return;
    }
    bus.registerObject(path_, this, QDBusConnection::ExportAllSlots);
    watcher_ = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { registerAgent(0); });
    registerAgent(0);
}

void IwdAgent::registerAgent(int attempt)
{
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kDaemonPath, kAgentManager, QStringLiteral("RegisterAgent"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(path_))});
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection(connectionName_).asyncCall(call, int(callTimeout_.count())), this);
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
        // Registered already (the watcher and a retry both asked): success.
        if (reply.type() == QDBusMessage::ReplyMessage ||
            error == QLatin1String("net.connman.iwd.AlreadyExists"))
            iwd_ = reply.service();
        else if (!iwd::isAbsence(error))
            refusal_ = reply;
        answered_.notify_all();
    });
}

std::optional<QDBusMessage> IwdAgent::waitForRegistration(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    answered_.wait_for(lock, limit, [this] { return !pending_; });
    return refusal_;
}

void IwdAgent::arm(const QString& network, const std::optional<QString>& password)
{
    std::lock_guard lock(mutex_);
    armed_ = network;
    armedForAny_ = false;
    password_ = password;
    asked_ = false;
    refused_ = false;
    given_ = false;
}

void IwdAgent::armForAny(const std::optional<QString>& password)
{
    arm(QString(), password);
    std::lock_guard lock(mutex_);
    armedForAny_ = true;
}

void IwdAgent::disarm()
{
    arm(QString(), std::nullopt);
}

bool IwdAgent::wasAsked() const
{
    std::lock_guard lock(mutex_);
    return asked_;
}

bool IwdAgent::refusedSinceArmed() const
{
    std::lock_guard lock(mutex_);
    return refused_;
}

QString IwdAgent::RequestPassphrase(const QDBusObjectPath& network, const QDBusMessage& message)
{
    std::optional<QString> answer;
    {
        std::lock_guard lock(mutex_);
        // Only the iwd this agent registered with learns a password; any
        // other caller on the bus is told there is none.
        const bool ours =
            (armedForAny_ || (!armed_.isEmpty() && network.path() == armed_)) && message.service() == iwd_;
        if (ours) {
            asked_ = true;
            if (password_ && !given_) {
                given_ = true;
                answer = password_;
            } else {
                refused_ = true;
            }
        }
    }
    if (answer)
        return *answer;
    message.setDelayedReply(true);
    QDBusConnection(connectionName_)
        .send(message.createErrorReply(kCanceled,
                                       QStringLiteral("Ondrel has no passphrase for this network.")));
    return {};
}

void IwdAgent::Cancel(const QString&)
{
    // Every request is answered at once: nothing is left to cancel.
}

void IwdAgent::Release()
{
    // iwd dropped the agent (it is stopping); it registers again when iwd
    // comes back.
    std::lock_guard lock(mutex_);
    iwd_.clear();
}

} // namespace ondrel
