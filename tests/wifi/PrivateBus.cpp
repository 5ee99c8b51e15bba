#include "tests/wifi/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/prctl.h>

#include <csignal>

namespace ondrel::test {

namespace {

constexpr auto kConfig =
    R"(<busconfig><type>%1</type><listen>unix:path=%2</listen><auth>EXTERNAL</auth>%3
<policy context="default"><allow user="*"/><allow own="*"/><allow send_type="*"/><allow receive_type="*"/>
</policy></busconfig>)";

QString nextConnectionName()
{
    static int counter = 0;
    return QStringLiteral("ondrel-test-bus-%1").arg(counter++);
}

} // namespace

void dieWithTest()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

bool startProbe(QProcess& process, const QString& bus, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("ONDREL_WIFI_SIMULATION"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus);
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("ONDREL_BINARY"), QStringList{QStringLiteral("--probe")} + args);
    return process.waitForStarted();
}

PrivateBus::PrivateBus(const QString& folder, Type type, const QString& services)
{
    QFile config(folder + QStringLiteral("/bus.conf"));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(
        QString::fromLatin1(kConfig)
            .arg(type == Type::system ? QStringLiteral("system") : QStringLiteral("session"),
                 folder + QStringLiteral("/bus"),
                 services.isEmpty() ? QString() : QStringLiteral("<servicedir>%1</servicedir>").arg(services))
            .toUtf8());
    config.close();
    bus_.setChildProcessModifier(dieWithTest);
    bus_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                QStringLiteral("--print-address")});
    // The address comes once the daemon listens: a socket file alone may still refuse connections, and a
    // refused first connection stays dead.
    QByteArray said;
    while (!said.contains('\n') && bus_.waitForReadyRead(10000))
        said += bus_.readAllStandardOutput();
    if (!said.contains('\n')) {
        qWarning() << "dbus-daemon did not say its address";
        return;
    }
    address_ = QString::fromUtf8(said.left(said.indexOf('\n')).trimmed());
    if (!connect()) {
        qWarning().noquote() << "no connection to the private bus at" << address_;
        address_.clear();
        return;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
}

PrivateBus::PrivateBus(const QString& address) : address_(address)
{
    if (!connect())
        address_.clear();
}

bool PrivateBus::connect()
{
    connectionName_ = nextConnectionName();
    return QDBusConnection::connectToBus(address_, connectionName_).isConnected();
}

PrivateBus::~PrivateBus()
{
    QDBusConnection::disconnectFromBus(connectionName_);
    if (bus_.state() != QProcess::NotRunning) {
        bus_.kill();
        bus_.waitForFinished(3000);
    }
}

BusService::BusService(QDBusConnection connection, QString name, QString errorFile)
    : connection_(std::move(connection)), name_(std::move(name)), errorFile_(std::move(errorFile))
{
}

bool BusService::owned() const
{
    return connection_.interface()->isServiceRegistered(name_).value();
}

QString BusService::start(const QString& program, const QStringList& args,
                          const QProcessEnvironment& environment, const std::function<void()>& inChild)
{
    stop();
    if (!connection_.isConnected())
        return QStringLiteral("no connection to the bus");
    process_.setProcessEnvironment(environment);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(errorFile_, QIODevice::Append);
    process_.setChildProcessModifier(inChild);
    process_.start(program, args);
    if (process_.waitForStarted(5000) && QTest::qWaitFor([this] { return !running() || owned(); }, 20000) &&
        running())
        return {};
    QFile err(errorFile_);
    err.open(QIODevice::ReadOnly);
    return QStringLiteral("%1 did not start (%2): %3")
        .arg(program,
             running() ? QStringLiteral("its name was not owned within 20 s")
                       : QStringLiteral("it exited with %1").arg(process_.exitCode()),
             QString::fromLocal8Bit(err.readAll().right(2000)));
}

QString BusService::startDbusmock(const QString& file, const QVariantMap& parameters,
                                  const QProcessEnvironment& environment)
{
    QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                     QStringLiteral("-t"), file};
    if (!parameters.isEmpty())
        args << QStringLiteral("-p")
             << QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson());
    const QString why = start(QStringLiteral("/usr/bin/python3"), args, environment, dieWithTest);
    if (!why.isEmpty())
        qWarning().noquote() << QFileInfo(file).fileName() + QStringLiteral(":") << why;
    return why;
}

void BusService::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGCONT); // a paused program could not quit
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(2000);
    (void)QTest::qWaitFor([this] { return !owned(); }, 5000);
}

} // namespace ondrel::test
