#include "store/StrengthUnit.h"

#include "localization/Lookup.h"

namespace ondrel {

const QList<StrengthUnit>& allStrengthUnits()
{
    static const QList<StrengthUnit> all{StrengthUnit::dbm, StrengthUnit::percent};
    return all;
}

QString rawValue(StrengthUnit unit)
{
    return unit == StrengthUnit::percent ? QStringLiteral("percent") : QStringLiteral("dbm");
}

QString label(StrengthUnit unit)
{
    return unit == StrengthUnit::percent ? L("パーセント", "Percentage") : L("dBm", "dBm");
}

} // namespace ondrel
