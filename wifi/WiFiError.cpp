#include "wifi/WiFiError.h"

#include "localization/Lookup.h"

namespace ondrel {

QString description(WiFiError error)
{
    switch (error) {
    case WiFiError::noInterface:
        return L("Wi-Fi インターフェースが見つかりません。", "No Wi-Fi interface was found.");
    case WiFiError::powerOff:
        return L("Wi-Fi がオフになっています。", "Wi-Fi is turned off.");
    case WiFiError::gone:
        return L("このネットワークは見つからなくなりました。もう一度スキャンしてください。",
                 "This network is no longer in range. Scan again.");
    case WiFiError::enterprise:
        return L("企業向け（802.1X）のネットワークは、システム設定の Wi-Fi から接続してください。",
                 "Join enterprise (802.1X) networks from Wi-Fi in System Settings.");
    case WiFiError::needsLocation:
        break;
    }
    return L("位置情報の使用を許可すると、周囲のネットワーク名が読めるようになります。",
             "Allow location access to read the names of nearby networks.");
}

} // namespace ondrel
