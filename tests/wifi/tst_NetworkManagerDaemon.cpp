// The NetworkManager backend against the real daemon (Debian's NetworkManager
// on a private bus, its files in the test's folder, no device managed): all
// that needs no Wi-Fi device. Skipped where the daemon cannot start.

#include "tests/wifi/MockNetworkManager.h"
#include "wifi/NetworkManagerBackend.h"
#include "wifi/NetworkManagerMapping.h"
#include "wifi/NetworkManagerSecretAgent.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QUuid>

#include <QtTest>

using namespace ondrel;
using test::MockNetworkManager;

namespace {

const QString kConnection = "org.freedesktop.NetworkManager.Settings.Connection",
              kManagerPath = "/org/freedesktop/NetworkManager", kManager = "org.freedesktop.NetworkManager",
              kSecurity = "802-11-wireless-security";
const bool kUnprivileged = qEnvironmentVariableIsSet("ONDREL_NM_UNPRIVILEGED");

QSet<QByteArray> asSet(const QList<QByteArray>& list)
{
    return {list.cbegin(), list.cend()};
}

} // namespace

class tst_NetworkManagerDaemon : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MockNetworkManager> nm_;

    // nmcli with these arguments (separated by spaces), against this daemon.
    QString nmcli(const QString& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", nm_->busAddress());
        process.setProcessEnvironment(env);
        process.start("nmcli", args.split(QLatin1Char(' ')));
        process.waitForFinished(20000);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        [&] {
            QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                     qPrintable(err));
        }();
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {}, QDBusConnection bus = QDBusConnection(QString()))
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QString::fromLatin1(MockNetworkManager::service), path, interface, method);
        message.setArguments(args);
        return (bus.isConnected() ? bus : nm_->connection()).call(message, QDBus::Block, 10000);
    }
    // The D-Bus path of each profile by its name, and its UUID.
    QHash<QString, QStringList> profiles()
    {
        QHash<QString, QStringList> out;
        const QString list = nmcli("-g NAME,DBUS-PATH,UUID connection show");
        for (const QString& line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out.insert(line.section(QLatin1Char(':'), 0, 0), line.split(QLatin1Char(':')).mid(1));
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (kUnprivileged)
            return; // a child of refusedForAnUnprivilegedUser, on its parent's bus
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY(nm_->busRunning());
        // Saved profiles of every kind, as keyfiles that the daemon reads at start.
        const auto wifi = [&](const QByteArray& id, const QByteArray& ssid, const QByteArray& more = {}) {
            nm_->writeKeyfile(QString::fromLatin1(id).toLower(),
                              "[connection]\nid=" + id +
                                  "\nuuid=" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) +
                                  "\ntype=wifi\n[wifi]\nssid=" + ssid + "\n" + more);
        };
        wifi("Home", "Home", "mode=infrastructure\n[wifi-security]\nkey-mgmt=wpa-psk\npsk=secret12\n");
        wifi("NoMode", "NoMode");
        wifi("Latin1", "67;97;102;233;"); // "Café" in Latin-1: not UTF-8
        wifi("Utf8", "Caf\xc3\xa9");
        wifi("Twin", "Twin");
        wifi("Twin2", "Twin");
        wifi("Keyring", "Keyring", "[wifi-security]\nkey-mgmt=wpa-psk\npsk-flags=1\n");
        wifi("Own", "Own", "[wifi-security]\nkey-mgmt=wpa-psk\n");
        wifi("Hotspot", "Hotspot", "mode=ap\n[ipv4]\nmethod=shared\n");
        wifi("Adhoc", "Adhoc", "mode=adhoc\n");
        wifi("Mesh", "Mesh",
             "mode=mesh\nband=bg\nchannel=1\n[ipv4]\nmethod=link-local\n[ipv6]\nmethod=disabled\n");
        nm_->writeKeyfile("wired", "[connection]\nid=Wired\ntype=ethernet\n");
        if (const QString why = nm_->startDaemon(); !why.isEmpty())
            QSKIP(qPrintable(why));
    }

    void savedProfilesAndLiveTracking()
    {
        NetworkManagerBackend backend;
        QSet<QByteArray> saved{"Home", "NoMode", "Caf\xe9", "Caf\xc3\xa9", "Twin", "Keyring", "Own"};
        QTRY_COMPARE(asSet(backend.savedSsids()), saved);
        QCOMPARE(backend.savedSsids().count("Twin"), 2);
        QCOMPARE(profiles().size(),
                 12); // hotspot, ad-hoc, mesh and wired ones too, which are no saved networks
        QVERIFY(!backend.hasInterface()); // no Wi-Fi device here

        // Each change through nmcli: what the saved names gain and lose.
        const QList<std::tuple<const char*, QByteArray, QByteArray>> changes{
            {"connection add type wifi con-name Added ssid Added", "Added", {}},
            {"connection modify Added 802-11-wireless.ssid Renamed", "Renamed", "Added"},
            {"connection modify Added 802-11-wireless.mode ap", {}, "Renamed"},
            {"connection delete Added Home", {}, "Home"},
        };
        for (const auto& [command, gained, lost] : changes) {
            nmcli(QString::fromLatin1(command));
            saved.remove(lost);
            if (!gained.isEmpty())
                saved.insert(gained);
            QTRY_COMPARE(asSet(backend.savedSsids()), saved);
        }
    }

    void radioOffAndOn()
    {
        NetworkManagerBackend backend;
        for (bool on : {false, true}) {
            QCOMPARE(backend.setPower(on), std::nullopt);
            QCOMPARE(nm_->property(kManagerPath, kManager, "WirelessEnabled").toBool(), on);
        }
    }

    // The daemon refuses an unprivileged user (polkit is off: root only),
    // and the backend reports it as "not permitted", whichever of the
    // daemon's interfaces refused.
    void refusedForAnUnprivilegedUser()
    {
        if (kUnprivileged) {
            NetworkManagerBackend backend;
            const std::optional<SystemError> radio = backend.setPower(false);
            QVERIFY(radio);
            QCOMPARE(radio->code(), NetworkManagerBackend::kNotPermitted);
            QDBusConnection bus = QDBusConnection::systemBus();
            const QDBusMessage removal =
                call(qEnvironmentVariable("ONDREL_NM_PROFILE"), kConnection, "Delete", {}, bus);
            QCOMPARE(removal.errorName(), "org.freedesktop.NetworkManager.Settings.PermissionDenied");
            QCOMPARE(NetworkManagerBackend::failureFrom(removal).code(),
                     NetworkManagerBackend::kNotPermitted);
            return;
        }
        // The child is this test run as nobody; the bus socket's folder must let it in.
        const QString socket = nm_->busAddress().section(QLatin1Char('='), 1).section(QLatin1Char(','), 0, 0);
        QFile::setPermissions(QFileInfo(socket).path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner | QFileDevice::ExeOther);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ONDREL_NM_UNPRIVILEGED", "1");
        env.insert("ONDREL_NM_PROFILE", profiles().value("NoMode").value(0));
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", nm_->busAddress());
        child.setProcessEnvironment(env);
        child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                QCoreApplication::applicationFilePath(), "refusedForAnUnprivilegedUser"});
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitCode() == 0 &&
                     output.contains(QLatin1String("PASS   : tst_NetworkManagerDaemon::refused")),
                 qPrintable(output));
        QVERIFY(nm_->property(kManagerPath, kManager, "WirelessEnabled").toBool());
    }

    // The agent answers the daemon's secret request for a profile whose
    // secret the keyring owns (GetSecrets makes the daemon ask the agents):
    // once, and again after the daemon has stopped and started.
    void secretAgentAndRestart()
    {
        QThread thread;
        thread.start();
        const QString name = "agent";
        QDBusConnection::connectToBus(nm_->busAddress(), name);
        auto* agent = new NetworkManagerSecretAgent(name, std::chrono::seconds(5));
        agent->moveToThread(&thread);
        const auto cleanup = qScopeGuard([&] {
            QMetaObject::invokeMethod(
                agent, [agent] { delete agent; }, Qt::BlockingQueuedConnection);
            thread.quit();
            thread.wait();
            QDBusConnection::disconnectFromBus(name);
        });
        QMetaObject::invokeMethod(agent, &NetworkManagerSecretAgent::start, Qt::BlockingQueuedConnection);
        NetworkManagerBackend backend;
        QTRY_VERIFY(backend.savedSsids().contains("Keyring"));

        // The secret the daemon answers GetSecrets with, asked twice.
        const auto secret = [&](const QString& id) {
            const QStringList profile = profiles().value(id);
            agent->arm(profile.value(1), "from the agent");
            QStringList answers;
            for (int i = 0; i < 2; ++i) {
                const QDBusMessage reply = call(profile.value(0), kConnection, "GetSecrets", {kSecurity});
                answers << (reply.type() == QDBusMessage::ErrorMessage
                                ? reply.errorName()
                                : nm::plainValue(reply.arguments().value(0))
                                      .toMap()
                                      .value(kSecurity)
                                      .toMap()
                                      .value("psk")
                                      .toString());
            }
            agent->disarm();
            return answers;
        };
        const auto onDisk = [&](const char* file) {
            QFile keyfile(nm_->daemonPath(QString("connections/%1.nmconnection").arg(QLatin1String(file))));
            return keyfile.open(QIODevice::ReadOnly) ? keyfile.readAll() : QByteArray();
        };
        // A secret the keyring owns: given once; the daemon takes the second
        // answer as the user's cancelling.
        QCOMPARE(secret("Keyring"),
                 (QStringList{"from the agent", "org.freedesktop.NetworkManager.AgentManager.UserCanceled"}));
        QVERIFY(!onDisk("keyring").contains("psk="));
        // Any other caller on the bus learns nothing, even for the armed profile.
        const QString uuid = profiles().value("Keyring").value(1);
        agent->arm(uuid, "from the agent");
        QDBusMessage steal = QDBusMessage::createMethodCall(
            QDBusConnection(name).baseService(), NetworkManagerSecretAgent::kPath,
            "org.freedesktop.NetworkManager.SecretAgent", "GetSecrets");
        steal.setArguments(
            {QVariant::fromValue(QMap<QString, QVariantMap>{{"connection", {{"uuid", uuid}}},
                                                            {kSecurity, {{"key-mgmt", "wpa-psk"}}}}),
             QVariant::fromValue(QDBusObjectPath(kManagerPath)), kSecurity, QStringList(), 1u});
        QCOMPARE(nm_->connection().call(steal).errorName(),
                 "org.freedesktop.NetworkManager.SecretAgent.NoSecrets");
        // What the join design rests on: a secret that an agent gives for a
        // profile keeping its own is written into the profile at once, with
        // no activation at all (and then given from there).
        QCOMPARE(secret("Own"), QStringList(2, "from the agent"));
        QVERIFY(onDisk("own").contains("psk=from the agent"));

        nm_->stop();
        QTRY_VERIFY(backend.savedSsids().isEmpty());
        QCOMPARE(nm_->startDaemon(), QString());
        QTRY_VERIFY(backend.savedSsids().contains("Keyring"));
        QTRY_COMPARE(secret("Keyring").value(0),
                     "from the agent"); // registered again
    }

    void cleanupTestCase() { nm_.reset(); }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerDaemon)
#include "tst_NetworkManagerDaemon.moc"
