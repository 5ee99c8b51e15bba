#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>

namespace ondrel::test {

// A private system-like D-Bus daemon with python-dbusmock's NetworkManager
// (tests/wifi/nm_template.py) on it, or the real NetworkManager. The
// constructor starts the bus and points DBUS_SYSTEM_BUS_ADDRESS at it, so the
// machine's own system bus is never touched; NetworkManager itself is started,
// stopped, paused and resumed by the test, and dies with the test process.
// Control calls go to the mock's org.freedesktop.DBus.Mock interface.
class MockNetworkManager {
public:
    static constexpr auto service = "org.freedesktop.NetworkManager";

    MockNetworkManager();
    ~MockNetworkManager();
    MockNetworkManager(const MockNetworkManager&) = delete;
    MockNetworkManager& operator=(const MockNetworkManager&) = delete;

    bool busRunning() const { return !address_.isEmpty(); }
    QString busAddress() const { return address_; }

    // Starts the mock and waits until it owns its name; false on failure.
    bool start(const QVariantMap& parameters = {});
    // Starts the real NetworkManager (Debian's /usr/sbin/NetworkManager) in
    // mount and network namespaces of its own, with its configuration,
    // keyfiles, state and run folders in the test's folder; empty when it
    // owns its name, else why it could not start.
    QString startDaemon();
    // A keyfile profile for the real daemon (read when it starts).
    void writeKeyfile(const QString& name, const QByteArray& text);
    // A file or folder of the real daemon's, by its name under its folder.
    QString daemonPath(const QString& name) const;
    // Ends the NetworkManager process (its name leaves the bus) and waits for it.
    void stop();
    // SIGSTOP / SIGCONT: the name stays on the bus but nothing answers.
    void pause();
    void resume();
    bool running() const;

    // The control connection (a separate connection to the private bus).
    QDBusConnection connection() const;

    // Control calls; each returns the call's first output, or an invalid
    // QVariant and a warning when the mock reports an error.
    QVariant mock(const QString& method, const QVariantList& args = {});
    QString addWirelessDevice(const QString& name = QStringLiteral("wlan0"));
    QString addAccessPoint(const QString& device, const QString& name, const QByteArray& ssid,
                           const QString& bssid, uint frequencyMHz, uchar strength, uint flags, uint wpaFlags,
                           uint rsnFlags, uint bandwidthMHz = 20, uint maxBitrateKbps = 54000);
    // `extra`: "mode" ("" leaves it out), "secret-flags", "timestamp".
    QString addSavedWifi(const QString& id, const QByteArray& ssid, const QString& keyMgmt,
                         const QString& secret, const QString& type = QStringLiteral("802-11-wireless"),
                         const QVariantMap& extra = {});
    void setNetworkBehaviour(const QByteArray& ssid, const QString& secret,
                             const QString& outcome = QStringLiteral("secret"), uint reason = 0);
    void setProperty(const QString& path, const QString& interface, const QString& name,
                     const QVariant& value);
    QVariant property(const QString& path, const QString& interface, const QString& name);
    QStringList savedConnections();
    QVariantMap counters();
    // The secrets stored in a connection profile, "unsaved" (in memory only),
    // "volatile" and "keyring" (the desktop keyring's secret for it).
    QVariantMap connectionSecrets(const QString& path);
    // An object path property as text.
    QString pathProperty(const QString& path, const QString& interface, const QString& name);

private:
    QString writeConfig();
    QString launch(const QString& program, const QStringList& args, const std::function<void()>& inChild);

    std::unique_ptr<QTemporaryDir> dir_;
    QString address_;
    QString connectionName_;
    QProcess bus_;
    QProcess nm_;
};

} // namespace ondrel::test
