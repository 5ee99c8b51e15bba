#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/SystemError.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

// NetworkManager's rules as the backend applies them: which objects count,
// which profile and access point a join uses, what it keeps afterwards and
// which failure it reports. Plain functions over plain values, without D-Bus
// traffic, so that every decision is tested on its own.
namespace ondrel::nm {

using Interfaces = QHash<QString, QVariantMap>; // interface -> its properties
using Objects = QHash<QString, Interfaces>;     // object path -> its interfaces
using Profiles = QHash<QString, QVariantMap>;   // connection path -> a{sa{sv}} as nested maps

// A saved Wi-Fi profile of infrastructure mode (type 802-11-wireless, mode
// absent or "infrastructure"); hotspot, ad-hoc and mesh profiles are no
// saved networks.
struct SavedWifi {
    QString path;         // the connection's object path
    QString uuid;         // connection.uuid
    QByteArray ssid;      // the network name as bytes
    QString keyMgmt;      // 802-11-wireless-security.key-mgmt; empty for an open network
    uint secretFlags = 0; // flags of its secret (psk-flags, or wep-key-flags for WEP)
    qint64 timestamp = 0; // last successful activation, seconds since 1970; 0 never
};

// The saved Wi-Fi profiles among `profiles`, in `order` (the Settings
// object's Connections); profiles missing from `order` go last.
QList<SavedWifi> savedWifi(const Profiles& profiles, QStringList order);

// The first device of type Wi-Fi in the manager's device order; empty
// without one.
QString wirelessDevice(const Objects& objects);

// What the Wi-Fi device is associated with. A hidden network's access point
// does not say its name; the profile the device is activated with does.
Association association(const Objects& objects, const Profiles& profiles);

// The access point a join asks for: the one listed (`ap.handle`) while the
// device still lists it, else another of the same name, else "/" (any).
// None when the listed one has gone and it has no name to look for.
std::optional<QString> accessPointToJoin(const QStringList& listed, const AccessPoint& ap,
                                         const std::function<QByteArray(const QString&)>& ssidOf);

// What a join does with its profiles, from the saved profile (if any) and
// whether a password was typed.
struct JoinSteps {
    enum class Profile { saved, savedCopy, added }; // activated: the saved one, a volatile copy, a new one
    enum class Keep { nothing, added, saved };      // stored after success
    Profile profile = Profile::added;
    // The typed password reaches NetworkManager only through the secret
    // agent, so the join fails when NetworkManager refused the agent.
    bool needsAgent = false;
    Keep keep = Keep::nothing;
    bool keepPassword = false; // the kept profile gets the password that worked
    uint keepFlags = 0;        // NMSettingsUpdate2Flags of that update
};
JoinSteps joinSteps(const std::optional<SavedWifi>& saved, bool hasPassword);

// How an activation ended, as the backend saw it.
struct ActivationEnd {
    bool timedOut = false;            // neither activated nor deactivated in time
    uint activeReason = 0;            // NMActiveConnectionStateReason of the deactivation
    std::optional<uint> deviceReason; // NMDeviceStateReason of the device's failure, if announced
    // The time ran out while the device waited for an address (NetworkManager's
    // IP configuration state): the network answers no DHCP. NetworkManager's own
    // wait for DHCP (45 s) is longer than a join's.
    bool awaitingAddress = false;
};
// The failure a join that did not activate reports.
SystemError joinFailure(const ActivationEnd& end);

// The failure a D-Bus error of NetworkManager stands for.
SystemError failureFromError(const QString& errorName, const QString& errorMessage);
// The error means that nobody owns the name (as opposed to an owner that
// does not answer).
bool isAbsence(const QString& errorName);

// The human description of a device state reason (English, as
// NetworkManager's own tools word them).
QString describeStateReason(uint reason);

} // namespace ondrel::nm
