#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/EventLog.h"
#include "wifi/networkmanager/NetworkManagerRules.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;

namespace ondrel {

// A copy of NetworkManager's D-Bus objects (every object under
// /org/freedesktop with its properties, and the settings of every saved
// connection), kept current from NetworkManager's signals, plus a log of the
// state changes that the backend's joins and scans wait for.
//
// Threads: the object lives on a thread of its own (the backend's), where
// the signals arrive, so the copy stays current whatever the main thread is
// doing. Every public read is safe from any thread and never makes a D-Bus
// round trip.
class NetworkManagerMirror : public QObject {
    Q_OBJECT

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.NetworkManager");

    // A change that NetworkManager announced, in the order it arrived.
    struct Event {
        enum class Kind {
            propertiesChanged,  // `path`, `interface`, `changed` (only LastScan is logged)
            deviceStateChanged, // `path`, `state`, `oldState`, `reason` (NMDeviceState, NMDeviceStateReason)
            activeStateChanged, // `path`, `state`, `reason` (NMActiveConnectionState and its reason)
            serviceLost,        // NetworkManager left the bus
        };
        quint64 sequence = 0;
        Kind kind = Kind::propertiesChanged;
        QString path;
        QString interface;
        QVariantMap changed;
        uint state = 0;
        uint oldState = 0;
        uint reason = 0;
    };

    using SavedWifi = nm::SavedWifi;

    // `connectionName` names a QDBusConnection to the system bus that
    // outlives this object.
    // A load that NetworkManager did not answer is tried again after `retry`.
    NetworkManagerMirror(QString connectionName, std::chrono::milliseconds callTimeout,
                         std::chrono::milliseconds retry);
    ~NetworkManagerMirror() override;

    // Waits until the first load (objects and saved settings) has ended,
    // successfully or not; false when `limit` passed first.
    bool waitUntilLoaded(std::chrono::milliseconds limit) const;

    // Whether NetworkManager answered the latest load and is still on the bus.
    bool isReachable() const;
    // The first device of type Wi-Fi in NetworkManager's device order; empty
    // without one.
    QString wirelessDevice() const;
    QString interfaceName() const;
    bool wirelessEnabled() const;
    Association association() const;
    // Saved Wi-Fi profiles in NetworkManager's order.
    QList<SavedWifi> savedWifi() const;
    // The properties of one interface of one object (empty when unknown).
    QVariantMap properties(const QString& path, const QString& interface) const;

    // The announcements, for the waits of the slow operations: `accept` of
    // waitForEvent() must not call the reads above (it runs under the log's
    // lock); `holds` of waitUntil() may. cancelWaits() ends every wait: the
    // backend is going away.
    const EventLog<Event>& log() const { return log_; }
    void cancelWaits() { log_.cancel(); }

public Q_SLOTS:
    // Subscribes to NetworkManager's signals, then loads everything. Runs on
    // the mirror's thread.
    void start();

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);
    void onDeviceStateChanged(const QDBusMessage& message);
    void onActiveStateChanged(const QDBusMessage& message);
    void onConnectionUpdated(const QDBusMessage& message);
    void onNewConnection(const QDBusMessage& message);
    void onConnectionRemoved(const QDBusMessage& message);

private:
    void refresh();
    void onObjectsLoaded(QDBusPendingCallWatcher* watcher, quint64 generation);
    void fetchSettings(const QString& path, quint64 generation);
    void serviceAppeared();
    void serviceLost();
    void noteActivity();
    bool finishLoadLocked();

    QString connectionName_;
    std::chrono::milliseconds callTimeout_;
    std::chrono::milliseconds retryInterval_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer* retry_ = nullptr;

    mutable std::mutex mutex_;
    nm::Objects objects_;
    nm::Profiles settings_;
    int pendingSettings_ = 0;
    bool reachable_ = false;
    bool loaded_ = false;
    bool loading_ = false;
    quint64 generation_ = 0; // bumped when NetworkManager leaves, to drop stale replies
    EventLog<Event> log_;    // locked after mutex_, never before
};

} // namespace ondrel
