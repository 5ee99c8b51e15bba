#pragma once

#include <QString>

namespace ondrel {

// Number texts shared by every speed display, in the current locale
// (QLocale()), ties rounded to the even neighbour.

// Megabits per second: one fraction digit below 100 (judged before rounding,
// so 99.96 gives "100.0"), none from 100 up.
QString mbps(double value);

// A byte count as whole megabytes (1 MB = 1,000,000 bytes).
QString megabytes(qint64 bytes);

} // namespace ondrel
