#pragma once

#include "wifi/DaemonThread.h"
#include "wifi/WiFiBackend.h"

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QDeadlineTimer;

namespace ondrel {

class IwdAgent;
class IwdMirror;

// The system's Wi-Fi through iwd (net.connman.iwd) on the D-Bus system bus,
// where iwd runs without NetworkManager (DBUS_SYSTEM_BUS_ADDRESS names
// another bus when set). iwd is never started by the backend.
//
// The quick reads answer from a copy of iwd's objects that an IwdMirror keeps
// current from its signals on a thread of its own. The slow operations block
// the engine's worker thread on D-Bus calls and on waits for iwd's
// announcements, each bounded.
//
// Joins keep the saved-first promises with iwd's own storage: iwd writes a
// network's file (/var/lib/iwd/NAME.psk, .open) only once a join has worked,
// and asks its agent (IwdAgent) for a passphrase only when it has none or the
// stored one was just rejected. So a known network is joined with what iwd
// has stored, and a typed password reaches iwd only as the agent's answer:
// for a known network it is tried when the stored passphrase fails, and
// replaces it only by working. A join that fails after iwd already stored a
// network that was new to it (an address never came, the join timed out)
// forgets that network again. AutoConnect is never touched.
//
// Failures are in iwd::kDomain with the codes of IwdRules.h (wrong or missing
// passphrase 7, not found 53, timed out, not permitted, other), or
// WiFiError::noInterface when iwd or its device is gone, WiFiError::gone when
// the network to join has left the list; a hidden access point, which iwd
// joins only by its name (joinHidden), is an "other" failure; an enterprise
// network is refused with WiFiError::enterprise before iwd is asked.
class IwdBackend final : public WiFiBackend {
public:
    struct Limits {
        std::chrono::milliseconds call{3000};        // one D-Bus call
        std::chrono::milliseconds scan{20000};       // Scan until Scanning is false again
        std::chrono::milliseconds join{40000};       // Connect until connected or failed
        std::chrono::milliseconds settle{1500};      // until the copy shows an operation's outcome
        std::chrono::milliseconds retry{5000};       // a load iwd did not answer, again
        std::chrono::milliseconds diagnostics{3000}; // the connected station's figures, read again
        // After a scan ends, how long one asked for during it may take to
        // start (iwd starts it at once).
        std::chrono::milliseconds nextScan{300};
    };

    // Main thread. Starts following iwd at once.
    IwdBackend();
    explicit IwdBackend(Limits limits);
    ~IwdBackend() override;
    IwdBackend(const IwdBackend&) = delete;
    IwdBackend& operator=(const IwdBackend&) = delete;

    // iwd owns its name on the bus and answered (its device may still be
    // missing). The first call waits, bounded, for the first load.
    bool isPresent() const;

    bool hasInterface() const override;
    std::optional<QString> interfaceName() const override;
    bool isPoweredOn() const override;
    Association currentAssociation() const override;
    QList<QByteArray> savedSsids() const override;
    QString daemonName() const override { return QStringLiteral("iwd"); }

    ScanResult scan() override;
    std::optional<SystemError> join(const AccessPoint& accessPoint,
                                    const std::optional<QString>& password) override;
    // iwd's ConnectHiddenNetwork, unless iwd lists a network of the name
    // already (then that network is joined). iwd learns the security from
    // the access point: `security` only tells whether a passphrase may be
    // asked for, and enterprise is refused.
    std::optional<SystemError> joinHidden(const QByteArray& ssid, Security security,
                                          const std::optional<QString>& password) override;
    void disconnect() override;
    std::optional<SystemError> setPower(bool on) override;
    // Ends the waits of a slow operation in progress at once.
    void cancel() override;

    // D-Bus calls whose answer a slow operation waited for, since creation.
    quint64 roundTrips() const { return roundTrips_.load(); }

private:
    void awaitFirstLoad() const;
    // One call on the worker thread, never starting iwd, answered within
    // `limit` (Limits::call without one) or given up when the backend is
    // cancelled.
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {},
                      std::optional<std::chrono::milliseconds> limit = std::nullopt) const;
    // Waits for the end of the station's scan that is running or about to.
    bool awaitScanEnd(const QString& station, quint64 mark, QDeadlineTimer deadline) const;
    // A Network object to Connect, or (no object) a name for the station's
    // ConnectHiddenNetwork.
    struct JoinTarget {
        QString network;
        QString hiddenName;
    };
    // One join with the agent armed, and the wait for the station to be
    // connected to the target.
    std::optional<SystemError> connectOnce(const QString& station, const JoinTarget& target, bool secured,
                                           const std::optional<QString>& password, QDeadlineTimer deadline);
    // Forgets the known network of this name and type (a failed join's
    // leftover), if iwd has one.
    void forget(const QString& name, const QString& type);

    Limits limits_;
    DaemonThread daemon_{QStringLiteral("iwd")};
    QString connectionName_ = daemon_.connectionName();
    IwdMirror* mirror_ = nullptr; // lives on daemon_'s thread
    IwdAgent* agent_ = nullptr;   // lives on daemon_'s thread
    mutable std::atomic<quint64> roundTrips_{0};
    mutable std::atomic<bool> firstLoadSeen_{false};
};

} // namespace ondrel
