#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace ondrel::test {

// A D-Bus daemon of the test's own on a socket in `folder`, open to anyone on this machine, which dies with
// the test. It counts as running once the daemon has said its address (it says so only when it listens) and a
// connection of the test's own to it is up; DBUS_SYSTEM_BUS_ADDRESS then names it.
class PrivateBus {
public:
    enum class Type { system, session };

    // `services`: a folder of .service files the bus may start by activation (a session-type bus: a system
    // bus would need the setuid helper).
    PrivateBus(const QString& folder, Type type, const QString& services = {});
    // A connection to a bus another fixture started; it starts nothing.
    explicit PrivateBus(const QString& address);
    ~PrivateBus();

    bool running() const { return !address_.isEmpty(); }
    QString address() const { return address_; }
    QDBusConnection connection() const { return QDBusConnection(connectionName_); }

private:
    bool connect();

    QString address_;
    QString connectionName_;
    QProcess bus_;
};

// A program that serves `name` on a bus: started, it counts as up once it owns the name; stopped, once the
// name has left. Its standard error is appended to `errorFile` and quoted when it does not start.
class BusService {
public:
    BusService(QDBusConnection connection, QString name, QString errorFile);
    ~BusService() { stop(); }

    // Empty once the program owns its name, else why not.
    QString start(const QString& program, const QStringList& args, const QProcessEnvironment& environment,
                  const std::function<void()>& inChild);
    void stop();
    // python-dbusmock with the template `file` and its parameters, on the system bus `environment` names.
    QString startDbusmock(const QString& file, const QVariantMap& parameters,
                          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    bool running() const { return process_.state() == QProcess::Running; }
    qint64 processId() const { return process_.processId(); }

private:
    bool owned() const;

    QDBusConnection connection_;
    QString name_;
    QString errorFile_;
    QProcess process_;
};

// Run in the child: it dies with the test.
void dieWithTest();

// "ondrel --probe ARGS" (ctest names it in ONDREL_BINARY) on the system bus at `bus`, started.
bool startProbe(QProcess& process, const QString& bus, const QStringList& args);

} // namespace ondrel::test
