#include "wifi/Band.h"

#include "localization/Lookup.h"

namespace ondrel {

int rawValue(Band band)
{
    return static_cast<int>(band);
}

std::optional<Band> bandFromRawValue(int raw)
{
    switch (raw) {
    case 24:
        return Band::ghz2_4;
    case 50:
        return Band::ghz5;
    case 60:
        return Band::ghz6;
    case 0:
        return Band::unknown;
    default:
        return std::nullopt;
    }
}

QString label(Band band)
{
    switch (band) {
    case Band::ghz2_4:
        return QStringLiteral("2.4 GHz");
    case Band::ghz5:
        return QStringLiteral("5 GHz");
    case Band::ghz6:
        return QStringLiteral("6 GHz");
    case Band::unknown:
        break;
    }
    return L("不明", "Unknown");
}

Band bandFromCode(int bandCode)
{
    switch (bandCode) {
    case 1:
        return Band::ghz2_4;
    case 2:
        return Band::ghz5;
    case 3:
        return Band::ghz6;
    default:
        return Band::unknown;
    }
}

int bandCode(Band band)
{
    switch (band) {
    case Band::ghz2_4:
        return 1;
    case Band::ghz5:
        return 2;
    case Band::ghz6:
        return 3;
    case Band::unknown:
        break;
    }
    return 0;
}

} // namespace ondrel
