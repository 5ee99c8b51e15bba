#pragma once

#include "tests/wifi/PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <QVariantMap>

#include <csignal>
#include <memory>

namespace ondrel::test {

// A private system bus (DBUS_SYSTEM_BUS_ADDRESS names it) with python-dbusmock's NetworkManager
// (tests/wifi/networkmanager/nm_template.py) or the real daemon on it, which dies with the test.
class MockNetworkManager {
public:
    static constexpr auto service = "org.freedesktop.NetworkManager";

    // An access point for AddAccessPoint2; Privacy is set when it has WPA or RSN flags.
    struct Ap {
        QByteArray ssid;
        QString bssid = QStringLiteral("02:00:00:00:00:01");
        uint frequency = 2437;
        uchar strength = 70;
        uint wpa = 0, rsn = 0;
        uint bandwidth = 20, bitrate = 54000;
        uint flags = wpa || rsn ? 1u : 0u;
    };

    MockNetworkManager();
    ~MockNetworkManager();

    bool busRunning() const { return bus_.running(); }
    QString busAddress() const { return bus_.address(); }
    QDBusConnection connection() const { return bus_.connection(); }
    // Starts the mock and waits until it owns its name.
    bool start(const QVariantMap& parameters = {});
    // The mock as just started (its parameters kept), started again if it is not running.
    bool reset();
    // Starts Debian's NetworkManager in mount and network namespaces of its own, its files in the test's
    // folder; empty once it owns its name, else why not.
    QString startDaemon();
    QString daemonPath(const QString& name) const { return dir_->filePath(QStringLiteral("daemon/") + name); }
    void stop() { nm_.stop(); }       // the name leaves the bus
    void pause() { signal(SIGSTOP); } // the name stays, nothing answers
    void resume() { signal(SIGCONT); }

    // A call to NetworkManager (or the mock), answered within 10 s.
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {});
    QVariant property(const QString& path, const QString& interface, const QString& name);
    // A call to the mock's org.freedesktop.DBus.Mock interface; its first output as plain values, or invalid
    // (with a warning) on an error.
    QVariant mock(const QString& method, const QVariantList& args = {});
    QString addWirelessDevice(const QString& name = QStringLiteral("wlan0"))
    {
        return mock(QStringLiteral("AddWirelessDevice"), {name, name}).toString();
    }
    QString addAccessPoint(const QString& device, const Ap& ap);
    // The name a hidden access point (Ssid "") answers a probe for.
    void setHiddenSsid(const QString& ap, const QByteArray& ssid)
    {
        mock(QStringLiteral("SetHiddenSsid"), {ap, ssid});
    }
    // `extra`: "secret-flags", "timestamp", "hidden".
    QString addSavedWifi(const QByteArray& ssid, const QString& keyMgmt = {}, const QString& secret = {},
                         const QVariantMap& extra = {})
    {
        return mock(QStringLiteral("AddSavedWifi"), {ssid, keyMgmt, secret, extra}).toString();
    }
    // outcome: "secret" (activates with this secret), "fail" (with reason), "stall" or "no-address"
    // (authenticates, then no DHCP answer).
    void setNetworkBehaviour(const QByteArray& ssid, const QString& secret,
                             const QString& outcome = QStringLiteral("secret"), uint reason = 0)
    {
        mock(QStringLiteral("SetNetworkBehaviour"), {ssid, secret, outcome, reason});
    }
    QStringList savedConnections()
    {
        return property(QStringLiteral("/org/freedesktop/NetworkManager/Settings"),
                        QStringLiteral("org.freedesktop.NetworkManager.Settings"),
                        QStringLiteral("Connections"))
            .toStringList();
    }
    uint counter(const QString& name)
    {
        return mock(QStringLiteral("Counters")).toMap().value(name).toUInt();
    }
    // A profile's stored secrets, "persist" (disk, memory, volatile), "keyring" (the keyring's secret) and
    // "ipv4" (its settings).
    QVariantMap connectionSecrets(const QString& path)
    {
        return mock(QStringLiteral("ConnectionSecrets"), {path}).toMap();
    }

private:
    void signal(int number);

    std::unique_ptr<QTemporaryDir> dir_ = std::make_unique<QTemporaryDir>();
    PrivateBus bus_;
    BusService nm_;
    QVariantMap parameters_;
};

} // namespace ondrel::test
