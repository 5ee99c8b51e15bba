#include "tests/wifi/iwd/MockIwd.h"

#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/prctl.h>

#include <csignal>

namespace ondrel::test {

namespace {

const auto kDieWithTest = [] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); };
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

// A bus for anyone on this machine, on a socket in the test's folder, that
// can activate the stand-in iwd of its service folder (a session-type bus:
// a system bus would need the setuid activation helper).
constexpr auto kBusConfig =
    R"(<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>
<servicedir>%2</servicedir>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_type="*"/><allow receive_type="*"/>
</policy></busconfig>)";

} // namespace

MockIwd::MockIwd()
{
    const QString socket = dir_->filePath(QStringLiteral("bus"));
    const QString services = dir_->filePath(QStringLiteral("services"));
    QDir().mkpath(services);
    QFile service(services + QStringLiteral("/net.connman.iwd.service"));
    QFile config(dir_->filePath(QStringLiteral("bus.conf")));
    if (!dir_->isValid() || !service.open(QIODevice::WriteOnly) || !config.open(QIODevice::WriteOnly))
        return;
    service.write(QStringLiteral("[D-BUS Service]\nName=net.connman.iwd\nExec=/usr/bin/touch %1\n")
                      .arg(dir_->filePath(QStringLiteral("activated")))
                      .toUtf8());
    service.close();
    config.write(QString::fromLatin1(kBusConfig).arg(socket, services).toUtf8());
    config.close();
    bus_.setChildProcessModifier(kDieWithTest);
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork")});
    if (!QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 10000))
        return;
    address_ = QStringLiteral("unix:path=") + socket;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
    static int counter = 0;
    connectionName_ = QStringLiteral("ondrel-test-iwd-%1").arg(counter++);
    QDBusConnection::connectToBus(address_, connectionName_);
}

MockIwd::MockIwd(const QString& busAddress) : address_(busAddress)
{
    static int counter = 0;
    connectionName_ = QStringLiteral("ondrel-test-iwd-shared-%1").arg(counter++);
    QDBusConnection::connectToBus(address_, connectionName_);
}

MockIwd::~MockIwd()
{
    stop();
    QDBusConnection::disconnectFromBus(connectionName_);
    if (bus_.state() != QProcess::NotRunning) {
        bus_.kill();
        bus_.waitForFinished(3000);
    }
}

bool MockIwd::activated() const
{
    return QFileInfo::exists(dir_->filePath(QStringLiteral("activated")));
}

bool MockIwd::reset()
{
    return running() ? call(QStringLiteral("/"), kMock, QStringLiteral("Reset")).type() ==
                           QDBusMessage::ReplyMessage
                     : start(parameters_);
}

bool MockIwd::start(const QVariantMap& parameters)
{
    stop();
    parameters_ = parameters;
    QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                     QStringLiteral("-t"),
                     QStringLiteral(ONDREL_TEST_SOURCE_DIR "/tests/wifi/iwd/iwd_template.py")};
    if (!parameters.isEmpty())
        args << QStringLiteral("-p")
             << QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    iwd_.setProcessEnvironment(env);
    iwd_.setStandardOutputFile(QProcess::nullDevice());
    iwd_.setStandardErrorFile(dir_->filePath(QStringLiteral("iwd.err")), QIODevice::Append);
    iwd_.setChildProcessModifier(kDieWithTest);
    iwd_.start(QStringLiteral("/usr/bin/python3"), args);
    const auto owned = [this] {
        return iwd_.state() == QProcess::Running &&
               connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
    };
    if (iwd_.waitForStarted(5000) && QTest::qWaitFor(owned, 20000))
        return true;
    QFile err(dir_->filePath(QStringLiteral("iwd.err")));
    err.open(QIODevice::ReadOnly);
    qWarning().noquote() << "the iwd mock did not start:"
                         << QString::fromLocal8Bit(err.readAll().right(2000));
    return false;
}

void MockIwd::stop()
{
    if (iwd_.state() == QProcess::NotRunning)
        return;
    iwd_.terminate();
    if (!iwd_.waitForFinished(5000))
        iwd_.kill();
    iwd_.waitForFinished(2000);
    (void)QTest::qWaitFor(
        [this] {
            return !connection().interface()->isServiceRegistered(QString::fromLatin1(service)).value();
        },
        5000);
}

QDBusMessage MockIwd::call(const QString& path, const QString& interface, const QString& method,
                           const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), path, interface, method);
    call.setArguments(args);
    call.setAutoStartService(false);
    return connection().call(call, QDBus::Block, 10000);
}

QVariant MockIwd::mock(const QString& method, const QVariantList& args)
{
    const QDBusMessage reply = call(QStringLiteral("/"), kMock, method, args);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return nm::plainValue(reply.arguments().value(0));
    qWarning().noquote() << "mock call" << method << "failed:" << reply.errorName() << reply.errorMessage();
    return {};
}

void MockIwd::addNetwork(const QString& name, const QString& type, int signal, const QString& passphrase,
                         const QVariantMap& options)
{
    mock(QStringLiteral("AddNetwork"),
         {name, type, QVariant::fromValue(qint16(signal)), passphrase, options});
}

void MockIwd::addKnownNetwork(const QString& name, const QString& type, const QString& passphrase,
                              bool hidden)
{
    mock(QStringLiteral("AddKnownNetwork"), {name, type, passphrase, hidden});
}

void MockIwd::behave(const QString& name, const QVariant& value)
{
    mock(QStringLiteral("SetBehaviour"), {name, QVariant::fromValue(QDBusVariant(value))});
}

} // namespace ondrel::test
