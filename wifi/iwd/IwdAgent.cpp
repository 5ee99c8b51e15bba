#include "wifi/iwd/IwdAgent.h"

#include "wifi/iwd/IwdNames.h"
#include "wifi/iwd/IwdRules.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <atomic>

namespace ondrel {

namespace {

using namespace iwd::dbus;

} // namespace

IwdAgent::IwdAgent(QString connectionName, std::chrono::milliseconds callTimeout)
    : BusAgent(std::move(connectionName), callTimeout, kService)
{
    // One agent per engine: every engine of every process has a path of its own.
    static std::atomic<int> instances{0};
    path_ = QStringLiteral("/org/ondrel/Ondrel/iwd/agent%1").arg(instances++);
}

IwdAgent::~IwdAgent()
{
    QDBusConnection bus(connectionName());
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kDaemonPath, kAgentManager,
                                                           QStringLiteral("UnregisterAgent"));
        call.setArguments({QVariant::fromValue(QDBusObjectPath(path_))});
        call.setAutoStartService(false);
        bus.send(call);
    }
    bus.unregisterObject(path_);
}

QDBusMessage IwdAgent::registration() const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kDaemonPath, kAgentManager, QStringLiteral("RegisterAgent"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(path_))});
    call.setAutoStartService(false);
    return call;
}

bool IwdAgent::registeredDespite(const QString& error) const
{
    // The watcher and a retry both asked.
    return error == QLatin1String("net.connman.iwd.AlreadyExists");
}

bool IwdAgent::absence(const QString& error) const
{
    return iwd::isAbsence(error);
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
            (armedForAny_ || (!armed_.isEmpty() && network.path() == armed_)) && message.service() == owner();
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
    QDBusConnection(connectionName())
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
    forgetOwner();
}

} // namespace ondrel
