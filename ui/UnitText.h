#pragma once

#include "speed/LoadedLatency.h"

#include <QString>

namespace ondrel {

// Figures with their units as the windows show them, in the applied
// language, so that each language writes a unit the same way everywhere
// ("317 Mbit/s" under the big figure, in the rows and in the history).
QString mbpsText(double mbps);
QString millisecondsText(qint64 ms);
QString megabytesText(qint64 bytes);
// The responsiveness grade with the latency added under load ("Fair · +98 ms
// under load"); empty without a grade.
QString responsivenessText(const LatencyUnderLoad& underLoad);

} // namespace ondrel
