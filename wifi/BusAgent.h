#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace ondrel {

// An object Ondrel exports on a daemon's bus and registers with that daemon
// (the agent through which a typed password reaches it): exported at path(),
// registered at start() and again whenever the daemon's name appears.
// While the daemon is starting it owns its name before it offers its agent
// manager, so a registration answered "no such object" is tried again for a
// while. The daemon that took the registration is remembered (owner()): only
// its requests are answered with a password.
//
// Lives on a thread with an event loop; waitForRegistration() may be called
// from any thread.
class BusAgent : public QObject {
    Q_OBJECT

public:
    // Waits until the latest registration has been answered (bounded); the
    // refusal when the daemon refused it, nothing when the agent is
    // registered (or, where absence() says so, the daemon is absent).
    std::optional<QDBusMessage> waitForRegistration(std::chrono::milliseconds limit) const;

    // Exports the agent and registers it, now and whenever the daemon
    // appears again. Runs on the agent's thread.
    void start();

protected:
    // `connectionName` names a connection to the daemon's bus that outlives
    // this object; `service` is the daemon's name on it.
    BusAgent(QString connectionName, std::chrono::milliseconds callTimeout, QString service);

    virtual QString path() const = 0;
    // The call that registers the agent.
    virtual QDBusMessage registration() const = 0;
    // An error that still leaves the agent registered (registered twice).
    virtual bool registeredDespite(const QString&) const { return false; }
    // An error that only says the daemon is not there: no refusal.
    virtual bool absence(const QString&) const { return false; }

    QString connectionName() const { return connectionName_; }
    // The daemon's unique name on the bus; under mutex_.
    QString owner() const { return owner_; }
    void forgetOwner() { owner_.clear(); }

    // Guards the registration's state here and the subclass's own.
    mutable std::mutex mutex_;

private:
    void registerAgent(int attempt);

    QString connectionName_;
    std::chrono::milliseconds callTimeout_;
    QString service_;
    mutable std::condition_variable answered_;
    bool pending_ = true;                 // a registration is under way
    std::optional<QDBusMessage> refusal_; // the latest registration's refusal
    QString owner_;
};

} // namespace ondrel
