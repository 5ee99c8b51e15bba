#pragma once

#include "wifi/EventLog.h"
#include "wifi/iwd/IwdRules.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <mutex>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;

namespace ondrel {

// A copy of iwd's D-Bus objects (every object with its properties, as its
// ObjectManager at "/" lists them), kept current from iwd's signals, plus the
// connected station's diagnostics and a log of the changes that the
// backend's scans and joins wait for.
//
// iwd is never started by this copy: every call goes out without D-Bus
// activation, since iwd's service file would start it beside another
// supplicant. Threads: the object lives on a thread of its own, where the
// signals arrive; every public read is safe from any thread and never makes a
// D-Bus round trip.
class IwdMirror : public QObject {
    Q_OBJECT

public:
    // A change iwd announced, in the order it arrived.
    struct Event {
        enum class Kind {
            propertiesChanged, // `path`, `interface`, `changed`, `invalidated`
            interfacesAdded,   // `path`, `interfaces`
            interfacesRemoved, // `path`, `interfaces`
            serviceLost,       // iwd left the bus
        };
        quint64 sequence = 0;
        Kind kind = Kind::propertiesChanged;
        QString path;
        QString interface;
        QVariantMap changed;
        QStringList interfaces; // added or removed; invalidated properties
    };

    // `connectionName` names a QDBusConnection to the system bus that
    // outlives this object. A load iwd did not answer is tried again after
    // `retry`; the diagnostics of a connected station are read every
    // `diagnostics`.
    IwdMirror(QString connectionName, std::chrono::milliseconds callTimeout, std::chrono::milliseconds retry,
              std::chrono::milliseconds diagnostics);
    ~IwdMirror() override;

    // Waits until the first load has ended, successfully or not; false when
    // `limit` passed first.
    bool waitUntilLoaded(std::chrono::milliseconds limit) const;
    // Whether iwd owns its name and answered the latest load.
    bool isReachable() const;
    // The objects as they are now.
    iwd::Objects objects() const;
    QVariantMap properties(const QString& path, const QString& interface) const;
    // The connected station's latest GetDiagnostics answer (empty when not
    // connected or not read yet).
    QVariantMap diagnostics() const;
    // iwd's unique name on the bus (empty while it is away).
    QString owner() const;

    const EventLog<Event>& log() const { return log_; }
    void cancelWaits() { log_.cancel(); }

public Q_SLOTS:
    // Subscribes to iwd's signals, then loads everything. Runs on the
    // mirror's thread.
    void start();

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);

private:
    void refresh();
    void onObjectsLoaded(QDBusPendingCallWatcher* watcher, quint64 generation);
    void serviceAppeared(const QString& owner);
    void serviceLost();
    void noteActivity();
    void readDiagnostics();
    // Starts or stops the diagnostics timer as the station's state says.
    void followConnection();

    QString connectionName_;
    std::chrono::milliseconds callTimeout_;
    std::chrono::milliseconds retryInterval_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer* retry_ = nullptr;
    QTimer* diagnosticsTimer_ = nullptr;

    mutable std::mutex mutex_;
    iwd::Objects objects_;
    QVariantMap diagnostics_;
    QString owner_;
    bool reachable_ = false;
    bool loaded_ = false;
    bool loading_ = false;
    quint64 generation_ = 0; // bumped when iwd leaves or comes back, to drop stale replies
    EventLog<Event> log_;
};

} // namespace ondrel
