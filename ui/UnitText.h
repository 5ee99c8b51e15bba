#pragma once

#include <QString>

namespace ondrel {

// Figures with their units as the windows show them, in the applied
// language, so that each language writes a unit the same way everywhere
// ("317 Mbit/s" under the big figure, in the rows and in the history).
QString mbpsText(double mbps);
QString millisecondsText(qint64 ms);
QString megabytesText(qint64 bytes);

} // namespace ondrel
