#include "store/DisplayName.h"

#include "localization/Lookup.h"
#include "wifi/SsidText.h"

namespace ondrel {

QString hiddenNetworkName()
{
    return L("非公開ネットワーク", "Hidden network");
}

QString displayName(const ScannedNetwork& network)
{
    if (network.ssid && !network.ssid->isEmpty())
        return *network.ssid;
    return hiddenNetworkName();
}

QString shownName(const ScannedNetwork& network)
{
    if (network.ssid && !network.ssid->isEmpty())
        return screenName(*network.ssid);
    return hiddenNetworkName();
}

QString nameBytesLine(const QString& ssid)
{
    if (isPlainName(ssid))
        return QString();
    // Left to right in every language: the pairs must not turn round in an
    // Arabic or Hebrew sentence.
    const QString hex = QChar(0x2066) + nameBytesHex(ssid) + QChar(0x2069);
    return Lf("名前のバイト列: %@", "Name bytes: %@", {hex});
}

} // namespace ondrel
