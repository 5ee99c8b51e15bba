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
    return Lf("名前のバイト列: %@", "Name bytes: %@", {nameBytesHex(ssid)});
}

} // namespace ondrel
