#pragma once

#include "wifi/BusAgent.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <optional>

namespace ondrel {

// Ondrel as a NetworkManager secret agent: the only way a password typed for
// a join reaches a saved profile's activation, so that the profile itself
// never changes before the join has worked.
//
// While no join is armed, and for profiles other than the armed one, the
// agent has no secrets: NetworkManager asks the next agent (a desktop's
// keyring agent, say). For the armed profile it answers the first request
// with the join's password; a request for new secrets after that (the
// password, or the stored secret, was rejected) is cancelled, so the join
// ends with "no secrets" and the program asks the user itself, without a
// second dialog from another agent.
//
// The object lives on a thread with an event loop (NetworkManager's calls
// arrive there); arm(), disarm() and waitForRegistration() may be called
// from any thread.
class NetworkManagerSecretAgent : public BusAgent {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager.SecretAgent")

public:
    static inline const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager/SecretAgent");
    // NMSecretAgentGetSecretsFlags: the secrets tried before were wrong.
    static constexpr uint kRequestNew = 0x2;

    // `connectionName` names a connection to NetworkManager's bus that
    // outlives this object; the agent is exported there.
    explicit NetworkManagerSecretAgent(QString connectionName, std::chrono::milliseconds callTimeout);
    ~NetworkManagerSecretAgent() override;

    // Answers the requests for the profile with this UUID: the password
    // once, as described above (none: new secrets are cancelled, stored ones
    // are left to other agents).
    void arm(const QString& uuid, const std::optional<QString>& password);
    void disarm();

    // org.freedesktop.NetworkManager.SecretAgent. (QtDBus matches the
    // parameters by their type names, hence no alias for a{sa{sv}} here.)
public Q_SLOTS:
    QMap<QString, QVariantMap> GetSecrets(const QMap<QString, QVariantMap>& connection,
                                          const QDBusObjectPath& connectionPath, const QString& settingName,
                                          const QStringList& hints, uint flags, const QDBusMessage& message);
    void CancelGetSecrets(const QDBusObjectPath& connectionPath, const QString& settingName);
    void SaveSecrets(const QMap<QString, QVariantMap>& connection, const QDBusObjectPath& connectionPath);
    void DeleteSecrets(const QMap<QString, QVariantMap>& connection, const QDBusObjectPath& connectionPath);

protected:
    QString path() const override { return kPath; }
    QDBusMessage registration() const override;

private:
    QString identifier_;
    QString armedUuid_;
    std::optional<QString> password_;
    bool given_ = false;
};

} // namespace ondrel
