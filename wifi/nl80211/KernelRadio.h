#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace ondrel {

// The kernel's own radio figures of one Wi-Fi interface, as an unprivileged
// reader gets them: the scan results the daemon's last scans left, the
// survey of the channels and the station of the current link. Backends
// (NetworkManager, iwd) stay the authority for the list and merge these
// figures into their access points by BSSID (mergeKernelFigures).

// One BSS of the kernel's scan results.
struct KernelBss {
    QString bssid;                  // "aa:bb:cc:dd:ee:ff", lower case
    int frequencyMHz = 0;           // centre of the primary channel
    std::optional<int> signalMbm{}; // received signal, mBm (dBm × 100); absent when the driver gives none
    std::chrono::milliseconds seenAgo{0}; // age of the entry
    bool associated = false;              // the interface is associated with it
    QByteArray elements{};                // the information elements of its latest beacon or probe response
    friend bool operator==(const KernelBss&, const KernelBss&) = default;
};

// One channel of the survey.
struct ChannelSurvey {
    int frequencyMHz = 0;
    std::optional<int> noiseDbm{};    // noise floor, dBm; absent when the driver gives none
    bool inUse = false;               // the channel the interface is on
    std::optional<qint64> activeMs{}; // time the radio spent on the channel, ms
    std::optional<qint64> busyMs{};   // of which the channel was sensed busy, ms
    friend bool operator==(const ChannelSurvey&, const ChannelSurvey&) = default;
};

// One station of the interface: for a client, the access point of its link.
struct KernelStation {
    QString bssid;                         // the peer's address, lower case
    std::optional<int> signalDbm{};        // signal of the last frames received, dBm
    std::optional<int> signalAverageDbm{}; // its running average, dBm
    std::optional<double> txBitrateMbps{}; // the last transmit rate
    friend bool operator==(const KernelStation&, const KernelStation&) = default;
};

// Why the kernel's figures could not be read.
enum class KernelFailure {
    notSupported, // not Linux, or built without nl80211
    noFamily,     // the kernel has no nl80211 (no Wi-Fi driver loaded)
    noPermission, // a sandbox or policy refused the netlink socket or the request
    noInterface,  // no interface of that name here (another network namespace, say)
    failed,       // anything else: the request failed or timed out
};

// One reading; `failure` set when nothing could be read (the lists are
// then empty).
struct KernelReading {
    std::optional<KernelFailure> failure{};
    QList<KernelBss> bsses{}; // empty unless the scan results were asked for
    QList<ChannelSurvey> surveys{};
    QList<KernelStation> stations{};
    std::chrono::steady_clock::time_point readAt{}; // when it was read
};

// The reader. Thread-safe: every call is independent. A call blocks its
// thread on the kernel's answer (well under a millisecond normally),
// bounded by a receive time-out.
class KernelRadio {
public:
    virtual ~KernelRadio() = default;
    // The figures of the interface of that system name: the survey and the
    // stations, and the scan results too when `withScanResults`.
    virtual KernelReading read(const QString& interface, bool withScanResults) = 0;
};

// nl80211 through libnl-genl-3 on Linux; elsewhere a reader that answers
// notSupported.
std::unique_ptr<KernelRadio> createKernelRadio();

// "notSupported", "noFamily", "noPermission", "noInterface" or "failed".
QString failureToken(KernelFailure failure);

} // namespace ondrel
