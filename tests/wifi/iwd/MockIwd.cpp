#include "tests/wifi/iwd/MockIwd.h"

#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace ondrel::test {

namespace {

const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

} // namespace

QString MockIwd::prepareServices()
{
    // A stand-in iwd the bus can start by activation, which only leaves a mark.
    const QString services = dir_->filePath(QStringLiteral("services"));
    QDir().mkpath(services);
    QFile service(services + QStringLiteral("/net.connman.iwd.service"));
    if (!service.open(QIODevice::WriteOnly))
        return {};
    service.write(QStringLiteral("[D-BUS Service]\nName=net.connman.iwd\nExec=/usr/bin/touch %1\n")
                      .arg(dir_->filePath(QStringLiteral("activated")))
                      .toUtf8());
    return services;
}

MockIwd::MockIwd()
    : bus_(dir_->path(), PrivateBus::Type::session, prepareServices()),
      iwd_(bus_.connection(), QString::fromLatin1(service), dir_->filePath(QStringLiteral("iwd.err")))
{
}

MockIwd::MockIwd(const QString& busAddress)
    : bus_(busAddress),
      iwd_(bus_.connection(), QString::fromLatin1(service), dir_->filePath(QStringLiteral("iwd.err")))
{
}

MockIwd::~MockIwd() = default;

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
    parameters_ = parameters;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus_.address());
    return iwd_
        .startDbusmock(QStringLiteral(ONDREL_TEST_SOURCE_DIR "/tests/wifi/iwd/iwd_template.py"), parameters,
                       env)
        .isEmpty();
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

} // namespace ondrel::test
