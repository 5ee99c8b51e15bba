#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/SystemError.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

// iwd's rules as the backend applies them: which objects count, what a
// network, a hidden access point and the connected station become at the
// seam, which network a join uses and which failure it reports. Plain
// functions over plain values, without D-Bus traffic, so that every decision
// is tested on its own.
//
// What iwd 2.3 was seen to do in the lab (tests/wifi/iwd/iwd_template.py
// lists it in full): one Network object per name and type under the station
// ("psk" for WPA2, WPA3 and transition networks, "open" for open and OWE
// ones), no object per access point, signals in 100 * dBm, names that are
// not UTF-8 dropped, hidden access points only as addresses.
namespace ondrel::iwd {

using Interfaces = QHash<QString, QVariantMap>; // interface -> its properties
using Objects = QHash<QString, Interfaces>;     // object path -> its interfaces

// The Wi-Fi device the backend uses: the first station-mode device in path
// order (adapter, then interface index), with its adapter.
struct Device {
    QString path;         // the device's object path (also its station's)
    QString name;         // the interface, e.g. "wlan0"
    QString adapter;      // the adapter's object path
    bool powered = false; // Device.Powered
    bool adapterPowered = false;
    bool hasStation = false; // iwd offers the station (the device is up)
};
std::optional<Device> device(const Objects& objects);

// The radio is on: the adapter and the device are powered and the station
// is there.
bool isPoweredOn(const std::optional<Device>& device);

// The security codes the detection rules ask about, from a Network's Type.
// iwd does not tell WPA, WPA2 and WPA3 apart, nor OWE from open.
SecurityCodes securityFromType(const QString& type);

// A listed network: its Network object's properties and the signal
// GetOrderedNetworks gives (100 * dBm). The handle is the object's path.
AccessPoint accessPointFromNetwork(const QString& path, const QVariantMap& network, int signal);
// A hidden access point of GetHiddenAccessPoints: its address, signal
// (100 * dBm) and type; no name.
AccessPoint hiddenAccessPoint(const QString& address, int signal, const QString& type);

// A network iwd has stored (a KnownNetwork object).
struct KnownNetwork {
    QString path;
    QString name;
    QString type;
    bool hidden = false;
};
// Every known network, in path order.
QList<KnownNetwork> knownNetworks(const Objects& objects);
// The known network of this name and type, if iwd has one.
std::optional<KnownNetwork> knownNetwork(const Objects& objects, const QString& name, const QString& type);

// What the connected station is associated with; all absent while the
// station is not connected. `diagnostics` is StationDiagnostic's latest
// answer (address, frequency, signal, transmit rate), empty when unknown.
Association association(const Objects& objects, const QVariantMap& diagnostics);

// The Network object a join of `ap` uses: the listed one while it is still
// there with its name, else one of the same name (and the same type where
// there is one) under the device. None when neither exists.
std::optional<QString> networkToJoin(const Objects& objects, const QString& devicePath,
                                     const AccessPoint& ap);

// The codes of the backend's failures (domain kDomain); they share their
// numbers with NetworkManager's of the same meaning.
inline const QString kDomain = QStringLiteral("net.connman.iwd");
constexpr qint64 kSecretsFailed = 7; // no passphrase, or the one given or stored was rejected
constexpr qint64 kNotFound = 53;     // the network was not found
constexpr qint64 kTimedOut = -3905;  // the join did not end in time, iwd did not answer
constexpr qint64 kNotPermitted = -3930;
constexpr qint64 kOtherFailure = -1;

// What a failed call of a join was about.
struct JoinContext {
    bool secured = false;      // the network takes a passphrase
    bool agentRefused = false; // iwd asked the agent, which had no passphrase to give
};
// The failure a D-Bus error of iwd stands for.
SystemError failureFromError(const QString& errorName, const QString& errorMessage,
                             const JoinContext& context = {});
// The error means that nobody owns the name (as opposed to an owner that
// does not answer).
bool isAbsence(const QString& errorName);

} // namespace ondrel::iwd
