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

} // namespace ondrel
