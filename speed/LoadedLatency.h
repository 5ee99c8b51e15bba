#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

namespace ondrel {

// The latency of a link while a throughput phase keeps it busy: the median
// round trip of the small requests sent during the phase, and their spread
// (the population standard deviation, as the idle jitter), both in whole
// milliseconds.
struct LoadedLatency {
    qint64 latencyMs = 0;
    qint64 jitterMs = 0;

    // The figure of a phase's samples (ms); none without a sample, so that a
    // phase whose every request failed never passes for 0 ms.
    static std::optional<LoadedLatency> of(std::vector<double> samplesMs);

    bool operator==(const LoadedLatency&) const = default;
};

// How quickly the link answers while it is busy, in the four classes of
// round trips per minute (RPM = 60,000 / round-trip ms) that the IETF's
// "Responsiveness under Working Conditions" uses: excellent from 6000 RPM
// (10 ms or less), good from 1000 RPM (60 ms), fair from 300 RPM (200 ms),
// poor below.
enum class Responsiveness { excellent, good, fair, poor };

// The figures under load that the idle latency and the two phases' loaded
// latencies imply. Every member is none when neither phase has a figure.
struct LatencyUnderLoad {
    // The longer of the two phases' loaded latencies (the working latency).
    std::optional<qint64> workingMs;
    // How much longer than idle that is; never below 0.
    std::optional<qint64> addedMs;
    std::optional<Responsiveness> grade;

    static LatencyUnderLoad of(qint64 idleMs, const std::optional<LoadedLatency>& download,
                               const std::optional<LoadedLatency>& upload);
};

// The class of a working latency.
Responsiveness responsivenessOf(qint64 workingMs);

} // namespace ondrel
