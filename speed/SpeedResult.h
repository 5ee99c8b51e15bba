#pragma once

#include "speed/LoadedLatency.h"

#include <QDateTime>
#include <QtGlobal>

#include <optional>

namespace ondrel {

// The figures of one speed test. Speeds are in megabits per second
// (1 Mbps = 1,000,000 bit/s).
struct SpeedResult {
    double downloadMbps = 0;
    double uploadMbps = 0;
    qint64 latencyMs = 0;
    qint64 jitterMs = 0;
    // Body bytes received and sent during the whole test, both directions.
    qint64 bytes = 0;
    // When the test finished; distantPast() while no test has finished.
    QDateTime date = distantPast();
    // The latency while each throughput phase ran; none until the phase has
    // ended, and none for a phase in which no latency request succeeded.
    std::optional<LoadedLatency> downloadLatency;
    std::optional<LoadedLatency> uploadLatency;

    LatencyUnderLoad underLoad() const
    {
        return LatencyUnderLoad::of(latencyMs, downloadLatency, uploadLatency);
    }

    // A fixed point in time far before any real measurement (0001-01-01 UTC).
    static QDateTime distantPast() { return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC); }

    bool operator==(const SpeedResult&) const = default;
};

} // namespace ondrel
