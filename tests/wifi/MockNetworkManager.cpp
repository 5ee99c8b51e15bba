#include "tests/wifi/MockNetworkManager.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtDebug>

#include <atomic>
#include <csignal>

namespace ondrel::test {

namespace {

constexpr auto kMockPath = "/org/freedesktop";
constexpr auto kMockInterface = "org.freedesktop.DBus.Mock";
constexpr auto kPython = "/usr/bin/python3";

QString templatePath()
{
    const QByteArray source = qgetenv("ONDREL_SOURCE_DIR");
    const QString root =
        source.isEmpty() ? QStringLiteral(ONDREL_TEST_SOURCE_DIR) : QString::fromLocal8Bit(source);
    return root + QStringLiteral("/tests/wifi/nm_template.py");
}

// Runs the event loop until `done` holds or the deadline passes.
template <typename Predicate> bool waitFor(Predicate done, std::chrono::milliseconds limit)
{
    QDeadlineTimer deadline(limit);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace

MockNetworkManager::MockNetworkManager() : dir_(std::make_unique<QTemporaryDir>())
{
    if (!dir_->isValid())
        return;
    const QString config = writeConfig();
    bus_.setProgram(QStringLiteral("dbus-daemon"));
    bus_.setArguments({QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
    bus_.setStandardErrorFile(dir_->filePath(QStringLiteral("bus.log")));
    bus_.start();
    if (!bus_.waitForStarted(5000)) {
        qWarning() << "dbus-daemon did not start";
        return;
    }
    QByteArray line;
    QDeadlineTimer deadline(std::chrono::seconds(10));
    while (!line.contains('\n') && !deadline.hasExpired()) {
        bus_.waitForReadyRead(100);
        line += bus_.readAllStandardOutput();
    }
    address_ = QString::fromUtf8(line.trimmed());
    if (address_.isEmpty()) {
        qWarning() << "dbus-daemon gave no address";
        return;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
    static std::atomic<int> counter{0};
    connectionName_ = QStringLiteral("ondrel-test-control-%1").arg(counter++);
    QDBusConnection::connectToBus(address_, connectionName_);
}

MockNetworkManager::~MockNetworkManager()
{
    stop();
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    if (bus_.state() != QProcess::NotRunning) {
        bus_.terminate();
        if (!bus_.waitForFinished(3000))
            bus_.kill();
        bus_.waitForFinished(1000);
    }
}

QString MockNetworkManager::writeConfig()
{
    // A system-type bus that anyone on this machine may use, listening only
    // on a socket in the test's own folder; no service activation.
    const QString path = dir_->filePath(QStringLiteral("bus.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return path;
    const QString socket = dir_->filePath(QStringLiteral("system_bus_socket"));
    file.write(
        QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="signal"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
  </policy>
</busconfig>
)")
            .arg(socket)
            .toUtf8());
    return path;
}

QDBusConnection MockNetworkManager::connection() const
{
    return QDBusConnection(connectionName_);
}

bool MockNetworkManager::start(const QVariantMap& parameters)
{
    if (!busRunning())
        return false;
    stop();
    QStringList args{QStringLiteral("-m"),
                     QStringLiteral("dbusmock"),
                     QStringLiteral("--system"),
                     QStringLiteral("-t"),
                     templatePath(),
                     QStringLiteral("-l"),
                     dir_->filePath(QStringLiteral("nm.log"))};
    if (!parameters.isEmpty())
        args << QStringLiteral("-p")
             << QString::fromUtf8(
                    QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson(QJsonDocument::Compact));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    nm_.setProcessEnvironment(env);
    nm_.setStandardOutputFile(QProcess::nullDevice());
    nm_.setStandardErrorFile(dir_->filePath(QStringLiteral("nm.err")), QIODevice::Append);
    nm_.start(QString::fromLatin1(kPython), args);
    if (!nm_.waitForStarted(5000))
        return false;
    const bool owned = waitFor(
        [this] {
            return nm_.state() == QProcess::Running &&
                   connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
        },
        std::chrono::seconds(20));
    if (!owned) {
        QFile err(dir_->filePath(QStringLiteral("nm.err")));
        if (err.open(QIODevice::ReadOnly))
            qWarning().noquote() << "NetworkManager mock did not start:" << err.readAll();
    }
    return owned;
}

void MockNetworkManager::stop()
{
    if (nm_.state() == QProcess::NotRunning)
        return;
    resume();
    nm_.terminate();
    if (!nm_.waitForFinished(5000)) {
        nm_.kill();
        nm_.waitForFinished(2000);
    }
    waitFor(
        [this] {
            return !connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
        },
        std::chrono::seconds(5));
}

void MockNetworkManager::pause()
{
    if (nm_.state() == QProcess::Running)
        ::kill(pid_t(nm_.processId()), SIGSTOP);
}

void MockNetworkManager::resume()
{
    if (nm_.state() == QProcess::Running)
        ::kill(pid_t(nm_.processId()), SIGCONT);
}

bool MockNetworkManager::running() const
{
    return nm_.state() == QProcess::Running;
}

QVariant MockNetworkManager::mock(const QString& method, const QVariantList& args)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(kMockPath),
                                       QString::fromLatin1(kMockInterface), method);
    call.setArguments(args);
    const QDBusMessage reply = connection().call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning().noquote() << "mock call" << method << "failed:" << reply.errorName()
                             << reply.errorMessage();
        return {};
    }
    return reply.arguments().value(0);
}

QString MockNetworkManager::addWirelessDevice(const QString& name)
{
    return mock(QStringLiteral("AddWirelessDevice"), {name, name}).toString();
}

QString MockNetworkManager::addAccessPoint(const QString& device, const QString& name, const QByteArray& ssid,
                                           const QString& bssid, uint frequencyMHz, uchar strength,
                                           uint flags, uint wpaFlags, uint rsnFlags, uint bandwidthMHz,
                                           uint maxBitrateKbps)
{
    return mock(QStringLiteral("AddAccessPoint2"),
                {device, name, ssid, bssid, frequencyMHz, QVariant::fromValue(strength), flags, wpaFlags,
                 rsnFlags, bandwidthMHz, maxBitrateKbps})
        .toString();
}

QString MockNetworkManager::addSavedWifi(const QString& id, const QByteArray& ssid, const QString& keyMgmt,
                                         const QString& secret, const QString& type, const QVariantMap& extra)
{
    return mock(QStringLiteral("AddSavedWifi"), {id, ssid, keyMgmt, secret, type, extra}).toString();
}

void MockNetworkManager::setNetworkBehaviour(const QByteArray& ssid, const QString& secret,
                                             const QString& outcome, uint reason)
{
    mock(QStringLiteral("SetNetworkBehaviour"), {ssid, secret, outcome, reason});
}

void MockNetworkManager::setProperty(const QString& path, const QString& interface, const QString& name,
                                     const QVariant& value)
{
    mock(QStringLiteral("SetProperty"), {path, interface, name, QVariant::fromValue(QDBusVariant(value))});
}

QVariant MockNetworkManager::property(const QString& path, const QString& interface, const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), path,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call.setArguments({interface, name});
    const QDBusMessage reply = connection().call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QStringList MockNetworkManager::savedConnections()
{
    const QVariant value =
        property(QStringLiteral("/org/freedesktop/NetworkManager/Settings"),
                 QStringLiteral("org.freedesktop.NetworkManager.Settings"), QStringLiteral("Connections"));
    QStringList paths;
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        arg >> path;
        paths << path.path();
    }
    arg.endArray();
    return paths;
}

QVariantMap MockNetworkManager::connectionSecrets(const QString& path)
{
    const QVariant value = mock(QStringLiteral("ConnectionSecrets"), {path});
    QVariantMap map;
    value.value<QDBusArgument>() >> map;
    return map;
}

QString MockNetworkManager::pathProperty(const QString& path, const QString& interface, const QString& name)
{
    return property(path, interface, name).value<QDBusObjectPath>().path();
}

QVariantMap MockNetworkManager::counters()
{
    const QVariant value = mock(QStringLiteral("Counters"));
    QVariantMap map;
    value.value<QDBusArgument>() >> map;
    return map;
}

} // namespace ondrel::test
