#include "wifi/networkmanager/NetworkManagerProfiles.h"

#include "wifi/SsidText.h"

#include <QRegularExpression>

namespace ondrel::nm {

namespace {

// The key management NetworkManager needs for a new profile of this access
// point; empty for a network without security.
QString keyManagementFor(const AccessPoint& ap, bool hasPassword)
{
    const SecurityCodes& s = ap.security;
    const bool psk = s.contains(SecurityCode::wpaPersonal) || s.contains(SecurityCode::wpaPersonalMixed) ||
                     s.contains(SecurityCode::wpa2Personal);
    if (s.contains(SecurityCode::wpa3Personal) && !psk)
        return QStringLiteral("sae");
    if (psk || s.contains(SecurityCode::wpa3Personal))
        return QStringLiteral("wpa-psk");
    if (s.contains(SecurityCode::wep))
        return QStringLiteral("none");
    if (s.contains(SecurityCode::owe) || s.contains(SecurityCode::oweTransition))
        return QStringLiteral("owe");
    if (s.contains(SecurityCode::none))
        return {};
    return hasPassword ? QStringLiteral("wpa-psk") : QString();
}

// WEP keys of 5 or 13 characters, or 10 or 26 hexadecimal digits, are keys;
// anything else is a passphrase that NetworkManager hashes into one.
uint wepKeyType(const QString& key)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    const qsizetype n = key.size();
    if (n == 5 || n == 13)
        return 1;
    if ((n == 10 || n == 26) && hex.match(key).hasMatch())
        return 1;
    return 2;
}

} // namespace

std::optional<SavedWifi> savedProfileFor(const QList<SavedWifi>& saved, const QByteArray& ssid)
{
    std::optional<SavedWifi> best;
    for (const SavedWifi& candidate : saved) {
        if (!ssid.isEmpty() && candidate.ssid == ssid && (!best || candidate.timestamp > best->timestamp))
            best = candidate;
    }
    return best;
}

JoinPlan joinPlan(const std::optional<SavedWifi>& saved, bool hasPassword)
{
    if (!saved)
        return JoinPlan::addNew;
    const bool ownSecret = !saved->keyMgmt.isEmpty() && saved->keyMgmt != QLatin1String("owe") &&
                           !(saved->secretFlags & (kSecretAgentOwned | kSecretNotSaved));
    return hasPassword && ownSecret ? JoinPlan::trySavedCopy : JoinPlan::activateSaved;
}

Settings withSecret(Settings settings, const QString& password)
{
    QVariantMap security = settings.value(kSecuritySetting);
    const QString keyMgmt = security.value(QStringLiteral("key-mgmt")).toString();
    if (keyMgmt == QLatin1String("none")) {
        security.insert(QStringLiteral("wep-key0"), password);
        if (!security.contains(QStringLiteral("wep-key-type")))
            security.insert(QStringLiteral("wep-key-type"), wepKeyType(password));
    } else if (keyMgmt == QLatin1String("wpa-psk") || keyMgmt == QLatin1String("sae")) {
        security.insert(QStringLiteral("psk"), password);
    } else {
        return settings;
    }
    settings.insert(kSecuritySetting, security);
    return settings;
}

namespace {

// A profile of this name (none for a name not known) and key management
// (empty: no security), with the password as its secret.
Settings profileOf(const std::optional<QString>& name, const QByteArray& ssid, bool hidden,
                   const QString& keyMgmt, const std::optional<QString>& password, const QString& uuid)
{
    Settings settings;
    QVariantMap connection{{QStringLiteral("type"), QStringLiteral("802-11-wireless")},
                           {QStringLiteral("uuid"), uuid}};
    // The profile's name is shown by other programs (nmcli, the desktop's
    // settings) and names its file: the name as this program shows it,
    // never its raw bytes.
    if (name)
        connection.insert(QStringLiteral("id"), visibleName(*name));
    settings.insert(QStringLiteral("connection"), connection);
    QVariantMap wireless{{QStringLiteral("mode"), QStringLiteral("infrastructure")}};
    // A hidden network's name is unknown: NetworkManager takes what it knows
    // from the access point or says that it needs the name.
    if (!ssid.isEmpty())
        wireless.insert(QStringLiteral("ssid"), ssid);
    if (hidden)
        wireless.insert(QStringLiteral("hidden"), true);
    settings.insert(QStringLiteral("802-11-wireless"), wireless);
    if (keyMgmt.isEmpty())
        return settings;
    QVariantMap security{{QStringLiteral("key-mgmt"), keyMgmt}};
    if (keyMgmt == QLatin1String("none"))
        security.insert(QStringLiteral("auth-alg"), QStringLiteral("open"));
    settings.insert(kSecuritySetting, security);
    return password ? withSecret(settings, *password) : settings;
}

} // namespace

Settings newProfile(const AccessPoint& ap, const std::optional<QString>& password, const QString& uuid)
{
    return profileOf(ap.ssid, ap.ssidBytes, false, keyManagementFor(ap, password.has_value()), password,
                     uuid);
}

Settings hiddenProfile(const QByteArray& ssid, Security security, const std::optional<QString>& password,
                       const QString& uuid)
{
    QString keyMgmt;
    switch (security) {
    case Security::open:
    case Security::enterprise:
        break;
    case Security::owe:
        keyMgmt = QStringLiteral("owe");
        break;
    case Security::wep:
        keyMgmt = QStringLiteral("none");
        break;
    case Security::wpaPersonal:
    case Security::wpa2Personal:
    case Security::wpa2wpa3Personal: // WPA2's key management joins a transition network too
        keyMgmt = QStringLiteral("wpa-psk");
        break;
    case Security::wpa3Personal:
        keyMgmt = QStringLiteral("sae");
        break;
    case Security::unknown:
        keyMgmt = password ? QStringLiteral("wpa-psk") : QString();
        break;
    }
    // Without a key management (open) or with one that takes no secret
    // (owe) the password is left out.
    return profileOf(ssidFromBytes(ssid), ssid, true, keyMgmt, password, uuid);
}

Settings profileCopy(Settings saved, const QString& password, const QString& uuid)
{
    QVariantMap connection = saved.value(QStringLiteral("connection"));
    connection.insert(QStringLiteral("uuid"), uuid);
    saved.insert(QStringLiteral("connection"), connection);
    return withSecret(saved, password);
}

} // namespace ondrel::nm
