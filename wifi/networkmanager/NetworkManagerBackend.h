#pragma once

#include "wifi/DaemonThread.h"
#include "wifi/WiFiBackend.h"
#include "wifi/nl80211/KernelRadio.h"

#include <QDBusMessage>
#include <QMap>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace ondrel {

namespace nm {
struct SavedWifi;
}

class KernelLinkCache;
class NetworkManagerMirror;
class NetworkManagerSecretAgent;

// The system's Wi-Fi through NetworkManager on the D-Bus system bus
// (DBUS_SYSTEM_BUS_ADDRESS names another bus when set).
//
// The quick reads answer from a copy of NetworkManager's state that a
// NetworkManagerMirror keeps current from its signals on a thread of its own:
// no D-Bus round trip on the caller's thread. The slow operations block the
// engine's worker thread on D-Bus calls, each bounded by `Limits::call`, and
// on waits for NetworkManager's announcements, each bounded as well.
//
// The radio figures NetworkManager reports (a signal percentage, no noise,
// width only from 1.46 on, no country) give way, where the kernel's can be
// read (KernelRadio), to the kernel's: a scan reads the kernel's scan
// results, survey and link and merges them by BSSID (mergeKernelFigures);
// the current association takes the link's signal and its channel's noise
// from a KernelLinkCache, which each read asks to refresh off the caller's
// thread. Where the kernel cannot be read, NetworkManager's figures stay.
//
// Joins never change a saved profile before they have worked, whatever
// happens to this process meanwhile. The backend is a NetworkManager secret
// agent for its whole life (NetworkManagerSecretAgent); a join activates the
// saved profile of the SSID unchanged and the password reaches NetworkManager
// only as the agent's answer, or, where NetworkManager would write an
// agent's answer into the profile at once (a secret of its own), as a
// volatile copy of the profile; a network without a profile gets a volatile
// new one. Volatile profiles vanish with their activation, so a failure or a
// killed process leaves nothing behind; after success the new profile is made
// persistent and the saved one gets the password that worked
// (nm::JoinPlan says which case is which). A join by name (joinHidden) goes
// the same way, with its saved profile or a new one marked hidden, and asks
// for no particular access point: NetworkManager probes for the name.
//
// Failures:
// - a device state reason (a join that failed) in kDeviceStateReasonDomain
//   with NetworkManager's reason number: 7 to 11 mean a missing or wrong
//   secret or a supplicant failure, 53 that the network was not found;
// - in kNetworkManagerDomain, kNotPermitted when NetworkManager or its
//   policy refused the caller, kTimedOut when a join did not finish in time or
//   NetworkManager stopped answering, kOtherFailure for anything else, with
//   NetworkManager's own sentence as the description;
// - WiFiError::noInterface when NetworkManager or its Wi-Fi device is gone,
//   WiFiError::gone when the access point to join has left the list.
class NetworkManagerBackend final : public WiFiBackend {
public:
    static inline const QString kDeviceStateReasonDomain =
        QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");
    static inline const QString kNetworkManagerDomain = QStringLiteral("org.freedesktop.NetworkManager");
    // The codes of kNetworkManagerDomain. The first two share their numbers
    // with the system codes the join messages already group ("not
    // permitted", "refused or timed out").
    static constexpr qint64 kNotPermitted = -3930;
    static constexpr qint64 kTimedOut = -3905;
    static constexpr qint64 kOtherFailure = -1;

    struct Limits {
        std::chrono::milliseconds call{3000};        // one D-Bus call
        std::chrono::milliseconds scan{10000};       // RequestScan until LastScan changes
        std::chrono::milliseconds activation{40000}; // a join until activated or failed (and a call
                                                     // waiting for the user to authenticate)
        std::chrono::milliseconds settle{1500};      // until the copy shows an operation's outcome
        std::chrono::milliseconds straggler{500};    // a failed join's device reason after its end
        std::chrono::milliseconds retry{5000};       // a load NetworkManager did not answer, again
        std::chrono::milliseconds linkRefresh{
            1000}; // the link's kernel figures, read again at most this often
    };

    // Main thread. Starts following NetworkManager at once. `kernel` reads
    // the kernel's radio figures (createKernelRadio() by default).
    NetworkManagerBackend();
    explicit NetworkManagerBackend(Limits limits, std::shared_ptr<KernelRadio> kernel = nullptr);
    ~NetworkManagerBackend() override;
    NetworkManagerBackend(const NetworkManagerBackend&) = delete;
    NetworkManagerBackend& operator=(const NetworkManagerBackend&) = delete;

    bool hasInterface() const override;
    std::optional<QString> interfaceName() const override;
    bool isPoweredOn() const override;
    Association currentAssociation() const override;
    QList<QByteArray> savedSsids() const override;
    QString daemonName() const override { return QStringLiteral("networkManager"); }

    ScanResult scan() override;
    std::optional<SystemError> join(const AccessPoint& accessPoint,
                                    const std::optional<QString>& password) override;
    std::optional<SystemError> joinHidden(const QByteArray& ssid, Security security,
                                          const std::optional<QString>& password) override;
    void disconnect() override;
    std::optional<SystemError> setPower(bool on) override;
    // Ends the waits of a slow operation in progress; a D-Bus call in flight
    // still takes up to Limits::call.
    void cancel() override;

    // D-Bus calls whose answer a slow operation waited for, since creation.
    quint64 roundTrips() const { return roundTrips_.load(); }

private:
    // One blocking call on the worker thread, bounded by Limits::call, or by
    // `limit` for a call that may wait for the user (NetworkManager asks
    // polkit, which may ask the user to authenticate first).
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {},
                      std::optional<std::chrono::milliseconds> limit = std::nullopt) const;

public:
    // The failure a D-Bus error reply of NetworkManager stands for.
    static SystemError failureFrom(const QDBusMessage& reply);

private:
    void awaitFirstLoad() const;
    // Joins on `device` asking for the access point `specific` ("/": any):
    // through `saved` (the name's saved profile, if any) as nm::JoinSteps
    // says, or through a new volatile profile that `fresh` makes for a UUID.
    std::optional<SystemError>
    activate(const QString& device, const QString& specific, const std::optional<nm::SavedWifi>& saved,
             const std::optional<QString>& password,
             const std::function<QMap<QString, QVariantMap>(const QString& uuid)>& fresh);
    // Waits for the activation `active` (announced after `mark`) to end:
    // nothing when it activated, else why not.
    std::optional<SystemError> awaitActivation(const QString& device, const QString& active, quint64 mark);
    // Update2 of a profile with these flags, with the password as its secret
    // (or unchanged without one); a failure is only logged.
    void keep(const QString& profile, const std::optional<QString>& password, uint flags);
    // Logs when the kernel's figures become unavailable or available again.
    void noteKernelReading(const KernelReading& reading);

    Limits limits_;
    DaemonThread daemon_{QStringLiteral("networkmanager")};
    QString connectionName_ = daemon_.connectionName();
    NetworkManagerMirror* mirror_ = nullptr;     // lives on daemon_'s thread
    NetworkManagerSecretAgent* agent_ = nullptr; // lives on daemon_'s thread
    std::shared_ptr<KernelRadio> kernel_;
    std::unique_ptr<KernelLinkCache> link_;
    // What the log last said of the kernel's readings: its failure and how many
    // channels its survey had (a scan under way empties the survey). Worker thread only.
    std::optional<std::pair<std::optional<KernelFailure>, qsizetype>> loggedKernelState_;
    mutable std::atomic<quint64> roundTrips_{0};
    mutable std::atomic<bool> firstLoadSeen_{false};
};

} // namespace ondrel
