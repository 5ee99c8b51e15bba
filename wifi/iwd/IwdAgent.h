#pragma once

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

class QDBusServiceWatcher;

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
class IwdAgent : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.connman.iwd.Agent")

public:
    static inline const QString kCanceled = QStringLiteral("net.connman.iwd.Agent.Error.Canceled");

    // `connectionName` names a connection to iwd's bus that outlives this
    // object; the agent is exported there under a path of its own.
    IwdAgent(QString connectionName, std::chrono::milliseconds callTimeout);
    ~IwdAgent() override;

    QString path() const { return path_; }

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

    // Waits until the latest registration has been answered (bounded); the
    // refusal when iwd refused it, nothing when the agent is registered or
    // iwd is absent.
    std::optional<QDBusMessage> waitForRegistration(std::chrono::milliseconds limit) const;

    // Exports the agent and registers it, now and whenever iwd appears again.
    // Runs on the agent's thread.
    void start();

    // net.connman.iwd.Agent.
public Q_SLOTS:
    QString RequestPassphrase(const QDBusObjectPath& network, const QDBusMessage& message);
    void Cancel(const QString& reason);
    void Release();

private:
    void registerAgent(int attempt);

    QString connectionName_;
    std::chrono::milliseconds callTimeout_;
    QString path_;
    QDBusServiceWatcher* watcher_ = nullptr;

    mutable std::mutex mutex_;
    mutable std::condition_variable answered_;
    bool pending_ = true;                 // a registration is under way
    std::optional<QDBusMessage> refusal_; // the latest registration's refusal
    QString iwd_;                         // iwd's unique name on the bus
    QString armed_;
    bool armedForAny_ = false;
    std::optional<QString> password_;
    bool asked_ = false;
    bool refused_ = false;
    bool given_ = false;
};

} // namespace ondrel
