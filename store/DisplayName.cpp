#include "store/DisplayName.h"

#include "localization/Lookup.h"

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

} // namespace ondrel
