#pragma once

#include "store/StrengthUnit.h"

#include <QString>

namespace ondrel {

// Number of lit signal bars (0 to 4) for a signal of `rssi` dBm.
int barsFor(int rssi);

// The signal as a percentage: 2 × (rssi + 100), clamped to 0…100.
int strengthPercent(int rssi);

// "-55 dBm" or "90%", by the unit the user chose.
QString strengthText(int rssi, StrengthUnit unit);

} // namespace ondrel
