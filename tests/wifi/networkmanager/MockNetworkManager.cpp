#include "tests/wifi/networkmanager/MockNetworkManager.h"

#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <csignal>

namespace ondrel::test {

namespace {

const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kMockPath = QStringLiteral("/org/freedesktop");

} // namespace

MockNetworkManager::MockNetworkManager()
    : bus_(dir_->path(), PrivateBus::Type::system),
      nm_(bus_.connection(), QString::fromLatin1(service), dir_->filePath(QStringLiteral("nm.err")))
{
}

MockNetworkManager::~MockNetworkManager() = default;

bool MockNetworkManager::reset()
{
    return nm_.running()
               ? call(kMockPath, kMock, QStringLiteral("Reset")).type() == QDBusMessage::ReplyMessage
               : start(parameters_);
}

bool MockNetworkManager::start(const QVariantMap& parameters)
{
    parameters_ = parameters;
    return nm_
        .startDbusmock(QStringLiteral(ONDREL_TEST_SOURCE_DIR "/tests/wifi/networkmanager/nm_template.py"),
                       parameters)
        .isEmpty();
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
    // Keyfiles of this folder only, no device managed, nothing of the machine touched; only root may change
    // anything (no polkit).
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
    // In namespaces of its own: only loopback to see, and /run and /var/lib/NetworkManager (its state) are
    // folders of this test.
    const QByteArray run = QFile::encodeName(daemonPath(QStringLiteral("run")));
    const QByteArray state = QFile::encodeName(daemonPath(QStringLiteral("state")));
    return nm_.start(
        QStringLiteral("/usr/sbin/NetworkManager"),
        {QStringLiteral("--no-daemon"), QStringLiteral("--config=") + config.fileName(),
         QStringLiteral("--config-dir=") + conf, QStringLiteral("--system-config-dir=") + conf},
        QProcessEnvironment::systemEnvironment(), [run, state] {
            dieWithTest();
            if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount(run.constData(), "/run", nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(state.constData(), "/var/lib/NetworkManager", nullptr, MS_BIND, nullptr) != 0)
                ::_exit(125);
        });
}

void MockNetworkManager::signal(int number)
{
    if (nm_.running())
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
