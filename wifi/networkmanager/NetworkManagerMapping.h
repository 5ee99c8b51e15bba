#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/SecurityCodes.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

// How NetworkManager's D-Bus values become the backend seam's values. Plain
// functions without D-Bus traffic, so that each rule is tested on its own.
namespace ondrel::nm {

// NetworkManager's access point security flags (NM80211ApSecurityFlags) and
// access point flags (NM80211ApFlags).
enum ApSecurityFlag : uint {
    keyMgmtPsk = 0x100,
    keyMgmt8021x = 0x200,
    keyMgmtSae = 0x400,
    keyMgmtOwe = 0x800,
    keyMgmtOweTransition = 0x1000,
    keyMgmtSuiteB192 = 0x2000,
};
constexpr uint kApFlagPrivacy = 0x1;

// The signal strength in whole dBm for NetworkManager's percentage, the
// inverse of its 100 - 100 * (-40 - clamp(dBm, -100, -40)) / 60: 100 % is
// -40 dBm, 0 % is -100 dBm. Percentages beyond 0..100 are clamped.
int dbmFromStrength(int percent);

// Channel, band and width from an access point's centre frequency (MHz) and
// its channel width (MHz, 0 when NetworkManager does not know it). Absent for
// frequency 0; a frequency outside the Wi-Fi bands gives channel 0 and band 0.
std::optional<ChannelInfo> channelFromFrequency(uint frequencyMHz, uint bandwidthMHz);

// The security codes the detection rules ask about, from the access point's
// Flags, WpaFlags and RsnFlags.
SecurityCodes securityFromFlags(uint flags, uint wpaFlags, uint rsnFlags);

// The name as text, byte for byte (ssidFromBytes); absent for empty bytes (a
// hidden network).
std::optional<QString> decodeSsid(const QByteArray& ssid);

// A value received over D-Bus as plain Qt values: variants unwrapped,
// object paths as text, byte arrays as QByteArray, other arrays as
// QVariantList (of text for object paths), structures as QVariantList and
// dictionaries as QVariantMap. A value that is already plain is returned as is.
QVariant plainValue(const QVariant& value);

// An access point from the properties of its
// org.freedesktop.NetworkManager.AccessPoint interface; `path` becomes the
// handle.
AccessPoint accessPointFromProperties(const QString& path, const QVariantMap& properties);

// Drops the twins of a hidden network's access point: each nameless entry
// (its beacons) that has a named twin, the same BSSID on the same frequency,
// and each named entry after the first of the same name there. Once a probe
// for its name was answered (a join by name), the supplicant keeps the beacons
// and the answer as two entries; NetworkManager lists both, and names the
// beacons' entry too once a profile of that name has seen the BSSID. The
// named one stands for the access point. The order of the others is kept.
void dropNamelessTwins(QList<AccessPoint>& accessPoints);

} // namespace ondrel::nm
