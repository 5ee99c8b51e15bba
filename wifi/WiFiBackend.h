#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/Security.h"
#include "wifi/SystemError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace ondrel {

// What a scan found: the access points (order carries no meaning), or the
// system's failure.
struct ScanResult {
    QList<AccessPoint> accessPoints;
    std::optional<SystemError> error;
};

// The seam between WiFiEngine and the system's Wi-Fi. One implementation
// talks to NetworkManager, one plays a simulated radio environment; the
// engine above never knows which it has. The backend sees only the default
// Wi-Fi interface.
//
// Threads: the engine creates and destroys the backend on the main thread.
// The slow operations run on the engine's worker thread, one at a time. The
// quick reads are called on the main thread, and on the worker thread by the
// engine's own checks, possibly while a slow operation runs: they must be
// safe to call concurrently and answer from state the backend keeps current,
// never from a blocking round trip.
class WiFiBackend {
public:
    virtual ~WiFiBackend() = default;

    // Quick reads.

    // Whether the computer has a Wi-Fi interface.
    virtual bool hasInterface() const = 0;
    // The interface's system name (e.g. "wlan0"); absent without one.
    virtual std::optional<QString> interfaceName() const = 0;
    // Whether the radio is on; false without an interface.
    virtual bool isPoweredOn() const = 0;
    // The current association; all fields absent or 0 when not associated.
    virtual Association currentAssociation() const = 0;
    // The names (exact SSID bytes) of the saved Wi-Fi profiles, in the
    // system's order; may hold empty names (the engine drops them).
    virtual QList<QByteArray> savedSsids() const = 0;
    // Which system stands behind the backend: "networkManager", "iwd",
    // "simulation"; empty when there is none.
    virtual QString daemonName() const { return {}; }

    // Slow operations (worker thread; may block, but bounded).

    // A fresh scan of all networks. The engine checks interface and power
    // before it asks.
    virtual ScanResult scan() = 0;
    // Joins exactly `accessPoint` (from this backend's latest scans) with the
    // password, absent for open networks and saved profiles. An enterprise
    // access point is refused with WiFiError::enterprise, unasked.
    virtual std::optional<SystemError> join(const AccessPoint& accessPoint,
                                            const std::optional<QString>& password) = 0;
    // Joins the network named `ssid` (1 to 32 bytes) that need not be in any
    // scan, as for a network that hides its name: its saved profile when the
    // system has one, else a new profile for a hidden network of that
    // security (kept only once the join worked). Enterprise is refused with
    // WiFiError::enterprise before the system is asked anything; a network
    // that does not answer to the name fails as "not found".
    virtual std::optional<SystemError> joinHidden(const QByteArray& ssid, Security security,
                                                  const std::optional<QString>& password) = 0;
    // Leaves the current network; reports nothing.
    virtual void disconnect() = 0;
    // Switches the radio on or off.
    virtual std::optional<SystemError> setPower(bool on) = 0;

    // Called on the main thread while the engine is being destroyed, after
    // the jobs that had not started were dropped: a slow operation in
    // progress should give up and return soon.
    virtual void cancel() {}
};

// The backend for the real system: NetworkManager where it manages a Wi-Fi
// device, else iwd where it runs, else none (no interface), chosen again
// whenever a daemon comes or goes. Defined in wifi/SystemBackend.cpp.
std::unique_ptr<WiFiBackend> createSystemBackend();

} // namespace ondrel
