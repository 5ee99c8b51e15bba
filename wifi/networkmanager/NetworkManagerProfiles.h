#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/Security.h"
#include "wifi/networkmanager/NetworkManagerRules.h"

#include <QMap>
#include <QString>
#include <QVariantMap>

#include <optional>

// Which NetworkManager profile a join activates and what a new one holds.
// Plain functions without D-Bus traffic.
namespace ondrel::nm {

using Settings = QMap<QString, QVariantMap>; // a{sa{sv}}

inline const QString kSecuritySetting = QStringLiteral("802-11-wireless-security");
// NMSettingSecretFlags: the secret is kept by a secret agent (the user's
// keyring), or never kept at all.
constexpr uint kSecretAgentOwned = 0x1;
constexpr uint kSecretNotSaved = 0x2;

// How a join goes about its profile.
enum class JoinPlan {
    // Activate the saved profile unchanged; a password reaches NetworkManager
    // only through the secret agent. Used when no password was typed, for
    // open networks, and when the secret is the user's keyring's (or never
    // kept): NetworkManager then stores nothing the agent gives.
    activateSaved,
    // The saved profile keeps its secret in NetworkManager itself, which
    // would write any secret an agent gives into the profile at once, before
    // the join has worked. So a copy of the profile with the typed password
    // is tried as a volatile profile, and the saved one gets the password
    // only once the copy has connected.
    trySavedCopy,
    // No saved profile: a new volatile one, kept once it has connected.
    addNew,
};

// The saved profile a join of these SSID bytes uses: the one used most
// recently of those with exactly these bytes. None for a hidden network.
std::optional<SavedWifi> savedProfileFor(const QList<SavedWifi>& saved, const QByteArray& ssid);

JoinPlan joinPlan(const std::optional<SavedWifi>& saved, bool hasPassword);

// A new infrastructure profile for this access point, with the password as a
// secret of NetworkManager's own where the network takes one.
Settings newProfile(const AccessPoint& ap, const std::optional<QString>& password, const QString& uuid);

// A new infrastructure profile for a network that hides its name: the SSID
// bytes, `802-11-wireless.hidden` (NetworkManager then probes for the name
// instead of waiting to see it in a scan) and the key management of the
// security the user chose: none for open, owe, a WEP key (key-mgmt none),
// wpa-psk for WPA, WPA2 and the WPA2/WPA3 transition, sae for WPA3. The
// password is NetworkManager's own secret where the security takes one.
// Enterprise has no profile here: the program never joins it.
Settings hiddenProfile(const QByteArray& ssid, Security security, const std::optional<QString>& password,
                       const QString& uuid);

// `saved` (its settings without secrets) as a copy under another UUID that
// holds the password as NetworkManager's own secret.
Settings profileCopy(Settings saved, const QString& password, const QString& uuid);

// `settings` with the password as the secret its key management takes.
Settings withSecret(Settings settings, const QString& password);

} // namespace ondrel::nm
