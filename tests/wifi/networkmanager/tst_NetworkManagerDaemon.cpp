// The NetworkManager backend against the real daemon (Debian's NetworkManager on a private bus, its files in
// the test's folder, no device managed): what the mock's model of it rests on. Skipped where the daemon
// cannot start.

#include "tests/wifi/networkmanager/MockNetworkManager.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/networkmanager/NetworkManagerNames.h"
#include "wifi/networkmanager/NetworkManagerProfiles.h"
#include "wifi/networkmanager/NetworkManagerSecretAgent.h"

#include <QDBusMessage>
#include <QThread>
#include <QUuid>
#include <QtTest>

using namespace ondrel;
using namespace ondrel::nm::dbus;
using test::MockNetworkManager;

namespace {

const QString kSecurity = QStringLiteral("802-11-wireless-security");

// A keyfile's UUID, from its name.
QString uuidOf(const QByteArray& id)
{
    return QUuid::createUuidV5(QUuid(), id).toString(QUuid::WithoutBraces);
}

QSet<QByteArray> asSet(const QList<QByteArray>& list)
{
    return {list.cbegin(), list.cend()};
}

} // namespace

class tst_NetworkManagerDaemon : public QObject {
    Q_OBJECT

    std::unique_ptr<MockNetworkManager> nm_;

    // A profile's D-Bus path, by its name.
    QString pathOf(const QByteArray& id)
    {
        const QDBusMessage found = nm_->call(kSettingsPath, kSettings, "GetConnectionByUuid", {uuidOf(id)});
        return nm::plainValue(found.arguments().value(0)).toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        nm_ = std::make_unique<MockNetworkManager>();
        // Saved profiles of every kind, as keyfiles that the daemon reads at start.
        const QList<std::pair<QByteArray, QByteArray>> keyfiles{
            {"Home", "Home\nmode=infrastructure\n[wifi-security]\nkey-mgmt=wpa-psk\npsk=secret12"},
            {"NoMode", "NoMode"},
            {"Latin1", "67;97;102;233;"}, // "Café" in Latin-1: not UTF-8
            {"Utf8", "Caf\xc3\xa9"},
            {"Keyring", "Keyring\n[wifi-security]\nkey-mgmt=wpa-psk\npsk-flags=1"},
            {"Own", "Own\n[wifi-security]\nkey-mgmt=wpa-psk"},
        };
        QVERIFY(QDir().mkpath(nm_->daemonPath("connections")));
        for (const auto& [id, rest] : keyfiles) {
            QFile file(nm_->daemonPath("connections/" + QString::fromLatin1(id).toLower() + ".nmconnection"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[connection]\nid=" + id + "\nuuid=" + uuidOf(id).toLatin1() +
                       "\ntype=wifi\n[wifi]\nssid=" + rest + "\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // NetworkManager reads no other
        }
        if (const QString why = nm_->startDaemon(); !why.isEmpty())
            QSKIP(qPrintable(why));
    }

    // Infrastructure Wi-Fi profiles only (which ones count is tst_NetworkManagerRules'), as the daemon gives
    // them, followed through changes made elsewhere; the radio.
    void savedProfilesAndRadio()
    {
        NetworkManagerBackend backend;
        QSet<QByteArray> saved{"Home", "NoMode", "Caf\xe9", "Caf\xc3\xa9", "Keyring", "Own"};
        QTRY_COMPARE(asSet(backend.savedSsids()), saved);
        nm::Settings added{
            {"connection", {{"id", "Added"}, {"type", "802-11-wireless"}, {"uuid", uuidOf("Added")}}},
            {"802-11-wireless", {{"ssid", QByteArray("Added")}}}};
        nm_->call(kSettingsPath, kSettings, "AddConnection", {QVariant::fromValue(added)});
        QTRY_COMPARE(asSet(backend.savedSsids()), saved + QSet<QByteArray>{"Added"});
        added["802-11-wireless"]["mode"] = "ap"; // now a hotspot
        nm_->call(pathOf("Added"), kConnection, "Update", {QVariant::fromValue(added)});
        QTRY_COMPARE(asSet(backend.savedSsids()), saved);
        nm_->call(pathOf("Home"), kConnection, "Delete");
        saved.remove("Home");
        QTRY_COMPARE(asSet(backend.savedSsids()), saved);
        for (bool on : {false, true}) {
            QCOMPARE(backend.setPower(on), std::nullopt);
            QCOMPARE(nm_->property(kManagerPath, kManager, "WirelessEnabled").toBool(), on);
        }
    }

    // The agent answers the daemon's secret request for a profile whose secret the keyring owns (GetSecrets
    // makes the daemon ask the agents): once, only to the daemon, and again after the daemon has restarted.
    void secretAgentAndRestart()
    {
        QThread thread; // the agent's, which answers while this one waits for the daemon
        thread.start();
        QDBusConnection::connectToBus(nm_->busAddress(), "agent");
        auto* agent = new NetworkManagerSecretAgent("agent", std::chrono::seconds(5));
        agent->moveToThread(&thread);
        const auto cleanup = qScopeGuard([&] {
            QMetaObject::invokeMethod(
                agent, [agent] { delete agent; }, Qt::BlockingQueuedConnection);
            thread.quit();
            thread.wait();
            QDBusConnection::disconnectFromBus("agent");
        });
        QMetaObject::invokeMethod(agent, &NetworkManagerSecretAgent::start, Qt::BlockingQueuedConnection);
        NetworkManagerBackend backend;
        QTRY_VERIFY(backend.savedSsids().contains("Keyring"));

        // The secret the daemon answers GetSecrets with, asked twice.
        const auto secret = [&](const QByteArray& id) {
            agent->arm(uuidOf(id), "from the agent");
            QStringList answers;
            for (int i = 0; i < 2; ++i) {
                const QDBusMessage reply = nm_->call(pathOf(id), kConnection, "GetSecrets", {kSecurity});
                const QVariant value = nm::plainValue(reply.arguments().value(0));
                answers << (reply.errorName().isEmpty()
                                ? value.toMap().value(kSecurity).toMap().value("psk").toString()
                                : reply.errorName());
            }
            agent->disarm();
            return answers;
        };
        // A secret the keyring owns: given once; the daemon takes the second answer as the user's cancelling.
        QCOMPARE(secret("Keyring"),
                 (QStringList{"from the agent", "org.freedesktop.NetworkManager.AgentManager.UserCanceled"}));
        // Any other caller on the bus learns nothing, even for the armed profile.
        agent->arm(uuidOf("Keyring"), "from the agent");
        QDBusMessage steal = QDBusMessage::createMethodCall(
            QDBusConnection("agent").baseService(), NetworkManagerSecretAgent::kPath,
            "org.freedesktop.NetworkManager.SecretAgent", "GetSecrets");
        steal.setArguments(
            {QVariant::fromValue(QMap<QString, QVariantMap>{{"connection", {{"uuid", uuidOf("Keyring")}}},
                                                            {kSecurity, {{"key-mgmt", "wpa-psk"}}}}),
             QVariant::fromValue(QDBusObjectPath(kManagerPath)), kSecurity, QStringList(), 1u});
        QCOMPARE(nm_->connection().call(steal).errorName(),
                 "org.freedesktop.NetworkManager.SecretAgent.NoSecrets");
        // What the join design rests on: a secret that an agent gives for a profile keeping its own is
        // written into the profile at once, with no activation at all (and then given from there).
        QCOMPARE(secret("Own"), QStringList(2, "from the agent"));
        QFile own(nm_->daemonPath("connections/own.nmconnection"));
        QVERIFY(own.open(QIODevice::ReadOnly) && own.readAll().contains("psk=from the agent"));

        nm_->stop();
        QTRY_VERIFY(backend.savedSsids().isEmpty());
        QCOMPARE(nm_->startDaemon(), QString());
        QTRY_VERIFY(backend.savedSsids().contains("Keyring"));
        QTRY_COMPARE(secret("Keyring").value(0), "from the agent"); // registered again
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerDaemon)
#include "tst_NetworkManagerDaemon.moc"
