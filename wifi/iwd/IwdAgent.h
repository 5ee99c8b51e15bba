#pragma once

#include "wifi/BusAgent.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace ondrel {

// Ondrel as iwd's agent (net.connman.iwd.Agent): the only way a password
// typed for a join reaches iwd. iwd asks its agent for a passphrase when it
// has none stored for the network, or after the stored one was rejected; it
// writes the passphrase to its network file only once the join has worked.
//
// While no join is armed, and for other networks than the armed one, the
// agent has no passphrase and answers Canceled. For the armed network it
// answers the first request with the join's password; a later request of the
// same join (iwd asking again) is answered Canceled, so that a rejected
// password ends the join instead of being tried in a loop.
//
// The object lives on a thread with an event loop (iwd's calls arrive
// there); arm(), disarm(), wasAsked() and waitForRegistration() may be called
// from any thread.
class IwdAgent : public BusAgent {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.connman.iwd.Agent")

public:
    static inline const QString kCanceled = QStringLiteral("net.connman.iwd.Agent.Error.Canceled");

    // `connectionName` names a connection to iwd's bus that outlives this
    // object; the agent is exported there under a path of its own.
    IwdAgent(QString connectionName, std::chrono::milliseconds callTimeout);
    ~IwdAgent() override;

    QString path() const override { return path_; }

    // Answers the requests for this Network object path: the password once
    // (none: every request is answered Canceled).
    void arm(const QString& network, const std::optional<QString>& password);
    // The same for whichever network iwd asks about: a join by name, whose
    // Network object iwd makes only while joining.
    void armForAny(const std::optional<QString>& password);
    void disarm();
    // Whether iwd asked for the armed network since it was armed, and
    // whether the agent had no passphrase to give then.
    bool wasAsked() const;
    bool refusedSinceArmed() const;

    // net.connman.iwd.Agent.
public Q_SLOTS:
    QString RequestPassphrase(const QDBusObjectPath& network, const QDBusMessage& message);
    void Cancel(const QString& reason);
    void Release();

protected:
    QDBusMessage registration() const override;
    bool registeredDespite(const QString& error) const override;
    bool absence(const QString& error) const override;

private:
    QString path_;
    QString armed_;
    bool armedForAny_ = false;
    std::optional<QString> password_;
    bool asked_ = false;
    bool refused_ = false;
    bool given_ = false;
};

} // namespace ondrel
