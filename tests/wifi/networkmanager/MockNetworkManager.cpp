#include "tests/wifi/networkmanager/MockNetworkManager.h"

#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

namespace ondrel::test {

namespace {

const auto kDieWithTest = [] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); };
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kMockPath = QStringLiteral("/org/freedesktop");

// A system-type bus for anyone on this machine, on a socket in the test's folder.
constexpr auto kBusConfig =
    R"(<busconfig><type>system</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_type="*"/><allow receive_type="*"/>
</policy></busconfig>)";

} // namespace

MockNetworkManager::MockNetworkManager()
{
    const QString socket = dir_->filePath(QStringLiteral("bus"));
    QFile config(dir_->filePath(QStringLiteral("bus.conf")));
    if (!dir_->isValid() || !config.open(QIODevice::WriteOnly))
        return;
    config.write(QString::fromLatin1(kBusConfig).arg(socket).toUtf8());
    config.close();
    bus_.setChildProcessModifier(kDieWithTest);
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork")});
    if (!QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 10000))
        return;
    address_ = QStringLiteral("unix:path=") + socket;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
    static int counter = 0;
    connectionName_ = QStringLiteral("ondrel-test-control-%1").arg(counter++);
    QDBusConnection::connectToBus(address_, connectionName_);
}

MockNetworkManager::~MockNetworkManager()
{
    stop();
    QDBusConnection::disconnectFromBus(connectionName_);
    bus_.kill();
    bus_.waitForFinished(3000);
}

bool MockNetworkManager::reset()
{
    return nm_.state() == QProcess::Running
               ? call(kMockPath, kMock, QStringLiteral("Reset")).type() == QDBusMessage::ReplyMessage
               : start(parameters_);
}

bool MockNetworkManager::start(const QVariantMap& parameters)
{
    parameters_ = parameters;
    QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                     QStringLiteral("-t"),
                     QStringLiteral(ONDREL_TEST_SOURCE_DIR "/tests/wifi/networkmanager/nm_template.py")};
    if (!parameters.isEmpty())
        args << QStringLiteral("-p")
             << QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson());
    const QString why =
        busRunning() ? launch(QStringLiteral("/usr/bin/python3"), args, kDieWithTest) : "no bus";
    if (!why.isEmpty())
        qWarning().noquote() << why;
    return why.isEmpty();
}

QString MockNetworkManager::launch(const QString& program, const QStringList& args,
                                   const std::function<void()>& inChild)
{
    stop();
    nm_.setStandardOutputFile(QProcess::nullDevice());
    nm_.setStandardErrorFile(dir_->filePath(QStringLiteral("nm.err")), QIODevice::Append);
    nm_.setChildProcessModifier(inChild);
    nm_.start(program, args);
    const auto owned = [this] {
        return nm_.state() == QProcess::Running &&
               connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
    };
    if (nm_.waitForStarted(5000) && QTest::qWaitFor(owned, 20000))
        return {};
    QFile err(dir_->filePath(QStringLiteral("nm.err")));
    err.open(QIODevice::ReadOnly);
    return program + QStringLiteral(" did not start: ") + QString::fromLocal8Bit(err.readAll().right(2000));
}

QString MockNetworkManager::startDaemon()
{
    if (::geteuid() != 0)
        return QStringLiteral("NetworkManager needs root for its own mount and network namespaces");
    if (!QFileInfo::exists(QStringLiteral("/usr/sbin/NetworkManager")) ||
        !QFileInfo::exists(QStringLiteral("/var/lib/NetworkManager")))
        return QStringLiteral("NetworkManager is not installed (package network-manager)");
    for (const char* folder : {"connections", "conf.d", "state", "run"})
        QDir().mkpath(daemonPath(QString::fromLatin1(folder)));
    // Keyfiles of this folder only, no device managed, nothing of the
    // machine touched; only root may change anything (no polkit).
    QFile config(daemonPath(QStringLiteral("NetworkManager.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the configuration");
    config.write(
        QStringLiteral("[main]\nplugins=keyfile\nauth-polkit=root-only\ndns=none\nrc-manager=unmanaged\n"
                       "hostname-mode=none\nno-auto-default=*\n[keyfile]\npath=%1\nunmanaged-devices=*\n")
            .arg(daemonPath(QStringLiteral("connections")))
            .toUtf8());
    config.close();
    const QString conf = daemonPath(QStringLiteral("conf.d"));
    // In namespaces of its own: only loopback to see, and /run and
    // /var/lib/NetworkManager (its state) are folders of this test.
    const QByteArray run = QFile::encodeName(daemonPath(QStringLiteral("run")));
    const QByteArray state = QFile::encodeName(daemonPath(QStringLiteral("state")));
    return launch(QStringLiteral("/usr/sbin/NetworkManager"),
                  {QStringLiteral("--no-daemon"), QStringLiteral("--config=") + config.fileName(),
                   QStringLiteral("--config-dir=") + conf, QStringLiteral("--system-config-dir=") + conf},
                  [run, state] {
                      kDieWithTest();
                      if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
                          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                          ::mount(run.constData(), "/run", nullptr, MS_BIND, nullptr) != 0 ||
                          ::mount(state.constData(), "/var/lib/NetworkManager", nullptr, MS_BIND, nullptr) !=
                              0)
                          ::_exit(125);
                  });
}

void MockNetworkManager::stop()
{
    if (nm_.state() == QProcess::NotRunning)
        return;
    resume();
    nm_.terminate();
    if (!nm_.waitForFinished(5000))
        nm_.kill();
    nm_.waitForFinished(2000);
    (void)QTest::qWaitFor(
        [this] {
            return !connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
        },
        5000);
}

void MockNetworkManager::signal(int number)
{
    if (nm_.state() == QProcess::Running)
        ::kill(pid_t(nm_.processId()), number);
}

QDBusMessage MockNetworkManager::call(const QString& path, const QString& interface, const QString& method,
                                      const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), path, interface, method);
    call.setArguments(args);
    return connection().call(call, QDBus::Block, 10000);
}

QVariant MockNetworkManager::mock(const QString& method, const QVariantList& args)
{
    const QDBusMessage reply = call(kMockPath, kMock, method, args);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return nm::plainValue(reply.arguments().value(0));
    qWarning().noquote() << "mock call" << method << "failed:" << reply.errorName() << reply.errorMessage();
    return {};
}

QString MockNetworkManager::addAccessPoint(const QString& device, const Ap& ap)
{
    static int counter = 0;
    return mock(QStringLiteral("AddAccessPoint2"),
                {device, QStringLiteral("ap%1").arg(counter++), ap.ssid, ap.bssid, ap.frequency,
                 QVariant::fromValue(ap.strength), ap.flags, ap.wpa, ap.rsn, ap.bandwidth, ap.bitrate})
        .toString();
}

QVariant MockNetworkManager::property(const QString& path, const QString& interface, const QString& name)
{
    return nm::plainValue(
        call(path, QStringLiteral("org.freedesktop.DBus.Properties"), "Get", {interface, name})
            .arguments()
            .value(0));
}

} // namespace ondrel::test
