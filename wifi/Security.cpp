#include "wifi/Security.h"

#include "localization/Lookup.h"

namespace ondrel {

int rawValue(Security security)
{
    return static_cast<int>(security);
}

std::optional<Security> securityFromRawValue(int raw)
{
    switch (raw) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 99:
        return static_cast<Security>(raw);
    default:
        return std::nullopt;
    }
}

QString label(Security security)
{
    switch (security) {
    case Security::open:
        return L("暗号化なし", "Open");
    case Security::owe:
        return L("暗号化あり（パスワードなし）", "Enhanced Open");
    case Security::wep:
        return QStringLiteral("WEP");
    case Security::wpaPersonal:
        return QStringLiteral("WPA");
    case Security::wpa2Personal:
        return QStringLiteral("WPA2");
    case Security::wpa2wpa3Personal:
        return QStringLiteral("WPA2/WPA3");
    case Security::wpa3Personal:
        return QStringLiteral("WPA3");
    case Security::enterprise:
        return L("企業向け（802.1X）", "Enterprise (802.1X)");
    case Security::unknown:
        break;
    }
    return L("不明", "Unknown");
}

Security detectSecurity(SecurityCodes offered)
{
    using C = SecurityCode;
    const bool wpa2 = offered.contains(C::wpa2Personal);
    if (offered.contains(C::wpa3Personal))
        return wpa2 ? Security::wpa2wpa3Personal : Security::wpa3Personal;
    if (offered.contains(C::wpa3Transition))
        return wpa2 ? Security::wpa2wpa3Personal : Security::wpa3Personal;
    if (wpa2)
        return Security::wpa2Personal;
    if (offered.contains(C::wpaPersonal) || offered.contains(C::wpaPersonalMixed))
        return Security::wpaPersonal;
    for (C code : {C::wpa3Enterprise, C::wpa2Enterprise, C::wpaEnterprise, C::wpaEnterpriseMixed,
                   C::enterprise, C::dynamicWEP}) {
        if (offered.contains(code))
            return Security::enterprise;
    }
    if (offered.contains(C::wep))
        return Security::wep;
    if (offered.contains(C::owe) || offered.contains(C::oweTransition))
        return Security::owe;
    if (offered.contains(C::none))
        return Security::open;
    return Security::unknown;
}

} // namespace ondrel
