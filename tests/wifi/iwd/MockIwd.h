#pragma once

#include "tests/wifi/PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

namespace ondrel::test {

// python-dbusmock's iwd (tests/wifi/iwd/iwd_template.py) on a private system bus (DBUS_SYSTEM_BUS_ADDRESS
// names it), or on a bus another mock started. The bus can also start a stand-in "iwd" by D-Bus activation,
// which only leaves a mark (activated()), so that a test sees whether anything asked the bus to start iwd.
class MockIwd {
public:
    static constexpr auto service = "net.connman.iwd";

    // A bus of its own.
    MockIwd();
    // The mock on an existing bus (which cannot activate anything).
    explicit MockIwd(const QString& busAddress);
    ~MockIwd();

    QString busAddress() const { return bus_.address(); }
    QDBusConnection connection() const { return bus_.connection(); }
    // Starts the mock and waits until it owns its name.
    bool start(const QVariantMap& parameters = {});
    // The mock as just started (its parameters kept), started again if it is not running.
    bool reset();
    bool running() const { return iwd_.running(); }
    void stop() { iwd_.stop(); } // the name leaves the bus
    // Whether the bus was asked to start iwd.
    bool activated() const;

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {});
    // A call to the mock's org.freedesktop.DBus.Mock interface; its first output as plain values, or invalid
    // (with a warning) on an error.
    QVariant mock(const QString& method, const QVariantList& args = {});
    // The station's path.
    QString addDevice(const QString& name = QStringLiteral("wlan0"))
    {
        return mock(QStringLiteral("AddDevice"), {name}).toString();
    }
    // `signal` in 100 * dBm; options: "hidden", "address", "frequency", "outcome".
    void addNetwork(const QString& name, const QString& type, int signal, const QString& passphrase = {},
                    const QVariantMap& options = {})
    {
        mock(QStringLiteral("AddNetwork"),
             {name, type, QVariant::fromValue(qint16(signal)), passphrase, options});
    }
    void addKnownNetwork(const QString& name, const QString& type, const QString& passphrase = {},
                         bool hidden = false)
    {
        mock(QStringLiteral("AddKnownNetwork"), {name, type, passphrase, hidden});
    }
    // /var/lib/iwd as iwd would have it: file name -> content.
    QVariantMap files() { return mock(QStringLiteral("Files")).toMap(); }
    uint counter(const QString& name)
    {
        return mock(QStringLiteral("Counters")).toMap().value(name).toUInt();
    }
    void behave(const QString& name, const QVariant& value)
    {
        mock(QStringLiteral("SetBehaviour"), {name, QVariant::fromValue(QDBusVariant(value))});
    }

private:
    // Writes the bus's service folder; `services` for the bus's constructor.
    QString prepareServices();

    std::unique_ptr<QTemporaryDir> dir_ = std::make_unique<QTemporaryDir>();
    PrivateBus bus_;
    BusService iwd_;
    QVariantMap parameters_;
};

} // namespace ondrel::test
