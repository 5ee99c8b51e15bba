#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/Band.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/Security.h"
#include "wifi/SystemError.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace ondrel {

class WiFiBackend;

// The program's only way to the Wi-Fi hardware. The slow operations (scan,
// join, leave, power) run one at a time on the engine's worker thread, in
// strict submission order; each completion is posted to the main thread and
// runs there exactly once, never inside the call that started it (unless a
// note below says nothing is called). The quick reads answer on the caller's
// thread without waiting for the queue.
//
// The engine remembers the access points of the latest successful scan, by
// record id and by name (the first access point seen of each name), because
// a join needs the exact access point and not only its name.
class WiFiEngine {
public:
    // The interface's state. Without an interface: all false, absent or 0,
    // band unknown.
    struct Status {
        bool hasInterface = false;
        bool poweredOn = false;
        std::optional<QString> ssid;  // name of the current network
        std::optional<QString> bssid; // hardware address of the current access point
        int rssi = 0;                 // current signal strength, dBm
        int noise = 0;                // current noise level, dBm
        double txRate = 0.0;          // current transmit rate, Mbit/s
        int channel = 0;              // current channel; 0 when not reported
        Band band = Band::unknown;
        FigureSource rssiSource = FigureSource::none;  // where rssi came from
        FigureSource noiseSource = FigureSource::none; // where noise came from
        friend bool operator==(const Status&, const Status&) = default;
    };

    // Either the records (one per access point, unsorted, unmerged, no
    // marks) or the failure.
    using ScanCompletion =
        std::function<void(QList<ScannedNetwork> networks, std::optional<SystemError> error)>;
    // Success (no error) or the failure.
    using ResultCompletion = std::function<void(std::optional<SystemError> error)>;
    using DisconnectCompletion = std::function<void()>;

    // The process-wide engine, created on first use (main thread) with
    // createDefaultBackend(); it lives until the process ends.
    static WiFiEngine& shared();

    // The backend the shared engine uses: the simulated radios of the
    // scenario file named by ONDREL_WIFI_SIMULATION when that is set,
    // otherwise the system's (createSystemBackend()).
    static std::unique_ptr<WiFiBackend> createDefaultBackend();

    // An engine on the given backend (tests make their own). Main thread.
    explicit WiFiEngine(std::unique_ptr<WiFiBackend> backend);
    // Waits for the running job. Jobs that have not started are dropped as
    // if the engine had been released before they ran: scan, connect and
    // connectHidden call nothing, setPower completes with noInterface, disconnect
    // completes.
    ~WiFiEngine();
    WiFiEngine(const WiFiEngine&) = delete;
    WiFiEngine& operator=(const WiFiEngine&) = delete;

    // Quick reads on the caller's thread.
    Status currentStatus() const;
    // The names of the saved Wi-Fi profiles as exact SSID bytes (empty names
    // left out); a record is saved when its ssidBytes are among them.
    QSet<QByteArray> savedSsids() const;
    // The interface's system name, e.g. "wlan0"; absent without one.
    std::optional<QString> interfaceName() const;
    // Which system the engine talks to ("networkManager", "iwd",
    // "simulation"); empty when there is none.
    QString daemonName() const;

    // Scans for all networks. Fails with noInterface, powerOff (the scan is
    // not attempted) or the system's error; a failed scan keeps the
    // remembered access points of the previous one.
    void scan(ScanCompletion completion);
    // Joins the access point remembered under the record id `id`, else the
    // first one remembered under the name `ssid`; gone when neither is
    // known. The password is absent for open networks and saved profiles.
    void connect(const QString& id, const std::optional<QString>& ssid,
                 const std::optional<QString>& password, ResultCompletion completion);
    // Joins the network named exactly `ssid` (SSID bytes) by name, as for a
    // network that hides it: no scan needs to have found it. `security` is
    // the one the user says it has (enterprise is refused with
    // WiFiError::enterprise); the password is absent for open networks and
    // saved profiles. Fails with noInterface, or as the backend says.
    void connectHidden(const QByteArray& ssid, Security security, const std::optional<QString>& password,
                       ResultCompletion completion);
    // Leaves the current network. The completion is always called.
    void disconnect(DisconnectCompletion completion);
    // Switches the radio; noInterface without an interface.
    void setPower(bool on, ResultCompletion completion);

    // Waits until every job submitted so far has run, then replaces the
    // backend and forgets the remembered access points. For tests that need
    // another radio environment on the shared engine; blocks the caller.
    void setBackendForTesting(std::unique_ptr<WiFiBackend> backend);

private:
    struct Job {
        std::function<void()> run;     // on the worker thread
        std::function<void()> abandon; // when the engine goes before the job ran
    };

    void submit(Job job);
    void workerLoop();
    void waitUntilIdle();
    // Runs `task` on the main thread, later, exactly once.
    static void post(std::function<void()> task);

    std::unique_ptr<WiFiBackend> backend_;
    // Access points of the latest successful scan by record id and by name;
    // touched only by jobs on the worker thread.
    QHash<QString, AccessPoint> cache_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    QThread* worker_ = nullptr;
};

} // namespace ondrel
