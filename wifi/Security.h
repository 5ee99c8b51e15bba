#pragma once

#include <QMetaType>
#include "wifi/SecurityCodes.h"

#include <QString>

#include <optional>

namespace ondrel {

// The strongest security kind a network offers. Ordered by raw value (open
// lowest, unknown highest); the raw values are stable.
enum class Security {
    open = 0,
    owe = 1,
    wep = 2,
    wpaPersonal = 3,
    wpa2Personal = 4,
    wpa2wpa3Personal = 5,
    wpa3Personal = 6,
    enterprise = 7,
    unknown = 99,
};

int rawValue(Security security);
// Exactly the nine raw values give a security kind; any other gives none.
std::optional<Security> securityFromRawValue(int raw);
// Localized label ("Open", "WPA2", "Enterprise (802.1X)" …). Main thread only.
QString label(Security security);

// Comparison by raw value.
inline bool operator<(Security a, Security b)
{
    return rawValue(a) < rawValue(b);
}
inline bool operator<=(Security a, Security b)
{
    return rawValue(a) <= rawValue(b);
}
inline bool operator>(Security a, Security b)
{
    return rawValue(a) > rawValue(b);
}
inline bool operator>=(Security a, Security b)
{
    return rawValue(a) >= rawValue(b);
}

// The detection rules: the first rule that fires on the offered codes names
// the security kind. WPA3 with WPA2 is wpa2wpa3Personal, WPA2 beside an
// enterprise mode is wpa2Personal, dynamic WEP is enterprise, and a set that
// answers none of the asked codes is unknown (not open).
Security detectSecurity(SecurityCodes offered);

} // namespace ondrel

Q_DECLARE_METATYPE(ondrel::Security)
