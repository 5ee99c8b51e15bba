#include "ui/UnitText.h"

#include "localization/Lookup.h"
#include "speed/SpeedFormat.h"

namespace ondrel {

QString mbpsText(double value)
{
    return Lf("%@ Mbps", "%@ Mbps", {mbps(value)});
}

QString millisecondsText(qint64 ms)
{
    return Lf("%d ms", "%d ms", {ms});
}

QString megabytesText(qint64 bytes)
{
    return Lf("%@ MB", "%@ MB", {megabytes(bytes)});
}

QString responsivenessText(const LatencyUnderLoad& underLoad)
{
    if (!underLoad.grade || !underLoad.addedMs)
        return {};
    const qint64 added = *underLoad.addedMs;
    switch (*underLoad.grade) {
    case Responsiveness::excellent:
        return Lf("とても良い・負荷時 +%d ms", "Excellent · +%d ms under load", {added});
    case Responsiveness::good:
        return Lf("良い・負荷時 +%d ms", "Good · +%d ms under load", {added});
    case Responsiveness::fair:
        return Lf("ふつう・負荷時 +%d ms", "Fair · +%d ms under load", {added});
    case Responsiveness::poor:
        break;
    }
    return Lf("悪い・負荷時 +%d ms", "Poor · +%d ms under load", {added});
}

} // namespace ondrel
