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

#include <QDir>
#include <QFileInfo>

#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace ondrel::test {

namespace {

constexpr auto kMockPath = "/org/freedesktop";
constexpr auto kMockInterface = "org.freedesktop.DBus.Mock";
constexpr auto kPython = "/usr/bin/python3";
constexpr auto kDaemon = "/usr/sbin/NetworkManager";

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
    bus_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
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
    const QString why =
        launch(QString::fromLatin1(kPython), args, [] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    if (!why.isEmpty())
        qWarning().noquote() << why;
    return why.isEmpty();
}

QString MockNetworkManager::launch(const QString& program, const QStringList& args,
                                   const std::function<void()>& inChild)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    nm_.setProcessEnvironment(env);
    nm_.setStandardOutputFile(QProcess::nullDevice());
    nm_.setStandardErrorFile(dir_->filePath(QStringLiteral("nm.err")), QIODevice::Append);
    nm_.setChildProcessModifier(inChild);
    nm_.start(program, args);
    const bool owned =
        nm_.waitForStarted(5000) &&
        waitFor(
            [this] {
                return nm_.state() == QProcess::Running &&
                       connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
            },
            std::chrono::seconds(20));
    if (owned)
        return {};
    QFile err(dir_->filePath(QStringLiteral("nm.err")));
    err.open(QIODevice::ReadOnly);
    return QStringLiteral("%1 did not start (exit code %2): %3")
        .arg(program)
        .arg(nm_.exitCode())
        .arg(QString::fromLocal8Bit(err.readAll().right(2000)));
}

QString MockNetworkManager::daemonPath(const QString& name) const
{
    return dir_->filePath(QStringLiteral("daemon/") + name);
}

void MockNetworkManager::writeKeyfile(const QString& name, const QByteArray& text)
{
    QDir().mkpath(daemonPath(QStringLiteral("connections")));
    QFile file(daemonPath(QStringLiteral("connections/") + name + QStringLiteral(".nmconnection")));
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // NetworkManager reads no other
}

QString MockNetworkManager::startDaemon()
{
    if (!busRunning())
        return QStringLiteral("no private bus");
    if (::geteuid() != 0)
        return QStringLiteral("NetworkManager needs root for its own mount and network namespaces");
    if (!QFileInfo::exists(QString::fromLatin1(kDaemon)) ||
        !QFileInfo::exists(QStringLiteral("/var/lib/NetworkManager")))
        return QStringLiteral("NetworkManager is not installed (package network-manager)");
    stop();
    for (const char* folder : {"connections", "conf.d", "state", "run/NetworkManager"})
        QDir().mkpath(daemonPath(QString::fromLatin1(folder)));
    // Keyfiles in this folder only, nothing managed, nothing of the machine
    // touched; only root may change anything (no polkit).
    QFile config(daemonPath(QStringLiteral("NetworkManager.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the configuration");
    config.write(
        QStringLiteral("[main]\nplugins=keyfile\nauth-polkit=root-only\ndns=none\nrc-manager=unmanaged\n"
                       "hostname-mode=none\nno-auto-default=*\n[keyfile]\npath=%1\nunmanaged-devices=*\n")
            .arg(daemonPath(QStringLiteral("connections")))
            .toUtf8());
    config.close();
    const QString state = daemonPath(QStringLiteral("state"));
    // Its own network namespace (nothing but loopback to see) and mount
    // namespace, where /run and /var/lib/NetworkManager are folders of this
    // test; everything ends with the process.
    const QByteArray run = QFile::encodeName(daemonPath(QStringLiteral("run")));
    const QByteArray stateDir = QFile::encodeName(state);
    return launch(
        QString::fromLatin1(kDaemon),
        {QStringLiteral("--no-daemon"), QStringLiteral("--config=") + config.fileName(),
         QStringLiteral("--config-dir=") + daemonPath(QStringLiteral("conf.d")),
         QStringLiteral("--system-config-dir=") + daemonPath(QStringLiteral("conf.d")),
         QStringLiteral("--intern-config=") + state + QStringLiteral("/intern.conf"),
         QStringLiteral("--state-file=") + state + QStringLiteral("/NetworkManager.state"),
         QStringLiteral("--pid-file=") + daemonPath(QStringLiteral("run/NetworkManager.pid"))},
        [run, stateDir] {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount(run.constData(), "/run", nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(stateDir.constData(), "/var/lib/NetworkManager", nullptr, MS_BIND, nullptr) != 0)
                ::_exit(125);
        });
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
