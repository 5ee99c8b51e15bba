#include "ui/Strength.h"

#include "localization/Lookup.h"

#include <algorithm>

namespace ondrel {

int barsFor(int rssi)
{
    if (rssi >= -50)
        return 4;
    if (rssi >= -60)
        return 3;
    if (rssi >= -70)
        return 2;
    if (rssi >= -80)
        return 1;
    return 0;
}

int strengthPercent(int rssi)
{
    // Widened so that absurd readings cannot overflow.
    const qint64 percent = 2 * (qint64(rssi) + 100);
    return int(std::clamp<qint64>(percent, 0, 100));
}

QString strengthText(int rssi, StrengthUnit unit)
{
    if (unit == StrengthUnit::percent)
        return Lf("%d%%", "%d%%", {strengthPercent(rssi)});
    return Lf("%d dBm", "%d dBm", {rssi});
}

} // namespace ondrel
