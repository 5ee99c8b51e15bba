#pragma once

#include <QString>

// NetworkManager's D-Bus object paths and interface names, and the standard
// interfaces it offers, shared by the backend, its copy of the state and the
// join rules.
namespace ondrel::nm::dbus {

inline const QString kRoot = QStringLiteral("/org/freedesktop");
inline const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
inline const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
inline const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
inline const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
inline const QString kWireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
inline const QString kAccessPoint = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
inline const QString kSettings = QStringLiteral("org.freedesktop.NetworkManager.Settings");
inline const QString kConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
inline const QString kActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");

} // namespace ondrel::nm::dbus
