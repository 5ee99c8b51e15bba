#include "wifi/networkmanager/NetworkManagerSecretAgent.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMetaType>

#include <atomic>

namespace ondrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kAgentManagerPath = QStringLiteral("/org/freedesktop/NetworkManager/AgentManager");
const QString kAgentManager = QStringLiteral("org.freedesktop.NetworkManager.AgentManager");
const QString kSecurity = QStringLiteral("802-11-wireless-security");
const QString kNoSecrets = QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.NoSecrets");
const QString kUserCanceled = QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.UserCanceled");

} // namespace

NetworkManagerSecretAgent::NetworkManagerSecretAgent(QString connectionName,
                                                     std::chrono::milliseconds callTimeout)
    : BusAgent(std::move(connectionName), callTimeout, kService)
{
    qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
    // NetworkManager takes one agent per identifier and user: every engine of
    // every process has its own.
    static std::atomic<int> instances{0};
    identifier_ =
        QStringLiteral("org.ondrel.Ondrel.p%1.a%2").arg(QCoreApplication::applicationPid()).arg(instances++);
}

NetworkManagerSecretAgent::~NetworkManagerSecretAgent()
{
    QDBusConnection(connectionName()).unregisterObject(kPath);
}

QDBusMessage NetworkManagerSecretAgent::registration() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kAgentManagerPath, kAgentManager,
                                                       QStringLiteral("RegisterWithCapabilities"));
    call.setArguments({identifier_, 0u});
    return call;
}

void NetworkManagerSecretAgent::arm(const QString& uuid, const std::optional<QString>& password)
{
    std::lock_guard lock(mutex_);
    armedUuid_ = uuid;
    password_ = password;
    given_ = false;
}

void NetworkManagerSecretAgent::disarm()
{
    arm(QString(), std::nullopt);
}

QMap<QString, QVariantMap> NetworkManagerSecretAgent::GetSecrets(const QMap<QString, QVariantMap>& connection,
                                                                 const QDBusObjectPath&,
                                                                 const QString& settingName,
                                                                 const QStringList&, uint flags,
                                                                 const QDBusMessage& message)
{
    const QString uuid =
        connection.value(QStringLiteral("connection")).value(QStringLiteral("uuid")).toString();
    const QString keyMgmt = connection.value(kSecurity).value(QStringLiteral("key-mgmt")).toString();
    std::optional<QString> answer;
    QString refusal = kNoSecrets;
    {
        std::lock_guard lock(mutex_);
        // Only the NetworkManager this agent registered with learns a
        // password; any other caller on the bus is told there is none.
        if (!armedUuid_.isEmpty() && uuid == armedUuid_ && message.service() == owner()) {
            if (password_ && !given_) {
                given_ = true;
                answer = password_;
            } else if (given_ || (flags & kRequestNew)) {
                refusal = kUserCanceled;
            }
        }
    }
    const bool psk = keyMgmt == QLatin1String("wpa-psk") || keyMgmt == QLatin1String("sae");
    if (answer && settingName == kSecurity && (psk || keyMgmt == QLatin1String("none"))) {
        return {{kSecurity, {{psk ? QStringLiteral("psk") : QStringLiteral("wep-key0"), *answer}}}};
    }
    message.setDelayedReply(true);
    QDBusConnection(connectionName())
        .send(message.createErrorReply(
            refusal, refusal == kUserCanceled
                         ? QStringLiteral("The secret given for this join was not accepted.")
                         : QStringLiteral("Ondrel has no secrets for this connection.")));
    return {};
}

void NetworkManagerSecretAgent::CancelGetSecrets(const QDBusObjectPath&, const QString&)
{
    // Every request is answered at once: nothing is left to cancel.
}

void NetworkManagerSecretAgent::SaveSecrets(const QMap<QString, QVariantMap>&, const QDBusObjectPath&)
{
    // Ondrel keeps no secrets; NetworkManager or the user's keyring does.
}

void NetworkManagerSecretAgent::DeleteSecrets(const QMap<QString, QVariantMap>&, const QDBusObjectPath&) {}

} // namespace ondrel
