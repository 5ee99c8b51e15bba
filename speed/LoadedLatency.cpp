#include "speed/LoadedLatency.h"

#include <algorithm>
#include <cmath>

namespace ondrel {

std::optional<LoadedLatency> LoadedLatency::of(std::vector<double> samplesMs)
{
    if (samplesMs.empty())
        return std::nullopt;
    const size_t n = samplesMs.size();
    std::sort(samplesMs.begin(), samplesMs.end());
    const double median = n % 2 ? samplesMs[n / 2] : (samplesMs[n / 2 - 1] + samplesMs[n / 2]) / 2;
    double sum = 0;
    for (double sample : samplesMs)
        sum += sample;
    const double mean = sum / double(n);
    double squares = 0;
    for (double sample : samplesMs)
        squares += (sample - mean) * (sample - mean);
    return LoadedLatency{std::llround(median), std::llround(std::sqrt(squares / double(n)))};
}

Responsiveness responsivenessOf(qint64 workingMs)
{
    // 6000, 1000 and 300 round trips per minute.
    if (workingMs <= 10)
        return Responsiveness::excellent;
    if (workingMs <= 60)
        return Responsiveness::good;
    if (workingMs <= 200)
        return Responsiveness::fair;
    return Responsiveness::poor;
}

LatencyUnderLoad LatencyUnderLoad::of(qint64 idleMs, const std::optional<LoadedLatency>& download,
                                      const std::optional<LoadedLatency>& upload)
{
    LatencyUnderLoad figures;
    for (const std::optional<LoadedLatency>& phase : {download, upload}) {
        if (phase)
            figures.workingMs = std::max(figures.workingMs.value_or(0), phase->latencyMs);
    }
    if (figures.workingMs) {
        figures.addedMs = std::max<qint64>(0, *figures.workingMs - idleMs);
        figures.grade = responsivenessOf(*figures.workingMs);
    }
    return figures;
}

} // namespace ondrel
