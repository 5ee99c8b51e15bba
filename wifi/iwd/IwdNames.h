#pragma once

#include <QString>

// iwd's D-Bus service, object paths and interface names, shared by the
// backend, its copy of the state, its agent and the rules.
namespace ondrel::iwd::dbus {

inline const QString kService = QStringLiteral("net.connman.iwd");
inline const QString kRoot = QStringLiteral("/");
inline const QString kDaemonPath = QStringLiteral("/net/connman/iwd");
inline const QString kAgentManager = QStringLiteral("net.connman.iwd.AgentManager");
inline const QString kAgent = QStringLiteral("net.connman.iwd.Agent");
inline const QString kAdapter = QStringLiteral("net.connman.iwd.Adapter");
inline const QString kDevice = QStringLiteral("net.connman.iwd.Device");
inline const QString kStation = QStringLiteral("net.connman.iwd.Station");
inline const QString kDiagnostic = QStringLiteral("net.connman.iwd.StationDiagnostic");
inline const QString kNetwork = QStringLiteral("net.connman.iwd.Network");
inline const QString kKnownNetwork = QStringLiteral("net.connman.iwd.KnownNetwork");
inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");

} // namespace ondrel::iwd::dbus
