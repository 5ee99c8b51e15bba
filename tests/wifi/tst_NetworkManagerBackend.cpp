// The NetworkManager backend against python-dbusmock's NetworkManager (with
// tests/wifi/nm_template.py) on a private bus that this test starts itself.

#include "tests/wifi/MockNetworkManager.h"
#include "wifi/NetworkManagerBackend.h"
#include "wifi/NetworkManagerMapping.h"
#include "wifi/NetworkManagerNames.h"
#include "wifi/ScannedNetwork.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>
#include <QtTest>

using namespace ondrel;
using namespace ondrel::nm::dbus;
using namespace std::chrono_literals;
using test::MockNetworkManager;
using Ap = MockNetworkManager::Ap;
using Error = std::optional<SystemError>;

namespace {

constexpr uint kCcmp = 0x8 | 0x80, kPsk = 0x100, kSae = 0x400;
const qint64 kTimedOut = NetworkManagerBackend::kTimedOut,
             kNotPermitted = NetworkManagerBackend::kNotPermitted;

// Short limits: every wait these tests run into ends quickly.
NetworkManagerBackend::Limits limits(std::chrono::milliseconds activation = 5s,
                                     std::chrono::milliseconds call = 1500ms)
{
    return {call, 150ms, activation, 1500ms, 100ms, 100ms};
}

std::optional<QString> typed(const QString& password)
{
    return password.isEmpty() ? std::nullopt : std::optional(password);
}

// A join of a new network: its security, the password, where the profile
// keeps it, the activation's pace (-1: every state before the call's reply)
// and how long the user takes to authenticate.
struct NewJoin {
    QByteArray ssid;
    uint rsn;
    QString password, secretKey;
    int stepMs, authorizationMs;
};
// A join that fails: with a saved profile (its secret's owner) or not, how,
// the calls refused and the password typed.
struct FailedJoin {
    std::optional<uint> saved;
    QString outcome;
    uint reason;
    QStringList denied;
    QString typed;
    qint64 code;
};
// A join of a saved profile whose secret is NetworkManager's (owner 0) or the
// keyring's (1): the error code (0: joined), the secret afterwards, the agent
// requests NetworkManager made and the further profiles while connected.
struct SavedJoin {
    QString keyMgmt;
    uint owner;
    QString stored, typed;
    qint64 code;
    QString kept;
    uint agentRequests;
    int copies;
};

} // namespace

class tst_NetworkManagerBackend : public QObject {
    Q_OBJECT

    std::unique_ptr<MockNetworkManager> nm_;
    QString device_;

    QString addHome(uint rsn = kCcmp | kPsk)
    {
        return nm_->addAccessPoint(device_, {.ssid = "Home", .rsn = rsn});
    }
    AccessPoint scanned(NetworkManagerBackend& backend, const QByteArray& ssid)
    {
        const QList<AccessPoint> all = backend.scan().accessPoints;
        const auto found =
            std::find_if(all.begin(), all.end(), [&](const auto& ap) { return ap.ssidBytes == ssid; });
        return found == all.end() ? AccessPoint() : *found;
    }
    void behave(const char* name, const QVariant& value)
    {
        nm_->mock("SetBehaviour", {name, QVariant::fromValue(QDBusVariant(value))});
    }

private Q_SLOTS:
    // One mock for every case, reset before each (started again where a case stopped it).
    void initTestCase()
    {
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY(nm_->start({{"ActivationStepMs", 5}, {"ScanMs", 10}}));
    }
    void init()
    {
        QVERIFY(nm_->reset());
        device_ = nm_->addWirelessDevice();
        QVERIFY(!device_.isEmpty());
    }
    void cleanupTestCase() { nm_.reset(); }

    // One RequestScan, then every object in one round trip; the records keep
    // the exact bytes, NetworkManager's WPA and RSN flags, and the width it
    // knows (1.42 gives none).
    void scan()
    {
        const QList<std::pair<Ap, const char*>> aps{
            {{.ssid = "Mixed", .frequency = 5500, .rsn = kCcmp | kPsk | kSae, .bandwidth = 160}, "1.46.0"},
            {{.ssid = "", .frequency = 5955, .flags = 1}, "1.46.0"},
            {{.ssid = "A\xff\x1b[2J", .frequency = 5180, .wpa = 0x144, .bandwidth = 80}, "1.42.4"},
        };
        const QList<std::tuple<std::optional<QString>, Security, Band, int>> records{
            {"Mixed", Security::wpa2wpa3Personal, Band::ghz5, 160},
            {std::nullopt, Security::wep, Band::ghz6, 20},
            {QLatin1Char('A') + QChar(0xdcff) + QStringLiteral("\x1b[2J"), Security::wpaPersonal, Band::ghz5,
             0},
        };
        QStringList paths;
        for (auto [ap, version] : aps) {
            behave("version", version);
            ap.bssid = QStringLiteral("AA:BB:CC:00:11:%1").arg(paths.size());
            paths << nm_->addAccessPoint(device_, ap);
        }
        NetworkManagerBackend backend(limits());
        const quint64 before = backend.roundTrips();
        const ScanResult result = backend.scan();
        QVERIFY(!result.error);
        QCOMPARE(backend.roundTrips() - before, 2u); // RequestScan, then every object at once
        QCOMPARE(nm_->counter("scan_requests"), 1u);
        QCOMPARE(result.accessPoints.size(), aps.size());
        for (qsizetype i = 0; i < aps.size(); ++i) {
            const ScannedNetwork record = ScannedNetwork::fromAccessPoint(result.accessPoints[i]);
            QCOMPARE(result.accessPoints[i].handle, paths[i]);
            QCOMPARE(result.accessPoints[i].ssidBytes, aps[i].first.ssid);
            QCOMPARE(std::tie(record.ssid, record.security, record.band, record.widthMHz), records[i]);
            QCOMPARE(record.bssid, std::optional<QString>(QStringLiteral("AA:BB:CC:00:11:%1").arg(i)));
            QCOMPARE(record.rssi, -58);
        }
        // A refused scan, or one whose LastScan never changes, serves the current list.
        for (const char* mode : {"refuse", "never"}) {
            behave("scan_mode", mode);
            const ScanResult stale = NetworkManagerBackend(limits()).scan();
            QVERIFY(!stale.error && stale.accessPoints.size() == aps.size());
        }
    }

    // The reads follow NetworkManager's signals.
    void statusFollowsSignals()
    {
        NetworkManagerBackend backend(limits());
        QCOMPARE(backend.interfaceName(), std::optional<QString>("wlan0"));
        QVERIFY(backend.isPoweredOn() && !backend.currentAssociation().ssid &&
                backend.savedSsids().isEmpty());
        // Profiles of every kind followed through changes: the daemon's test.
        nm_->addSavedWifi("Home", "wpa-psk", "secret12");
        QTRY_COMPARE(backend.savedSsids(), QList<QByteArray>{"Home"});

        // A Wi-Fi device going and another coming; the radio switched elsewhere.
        nm_->mock("RemoveDevice", {device_});
        QTRY_VERIFY(!backend.hasInterface());
        QVERIFY(!backend.interfaceName() && !backend.isPoweredOn());
        QCOMPARE(backend.scan().error, Error(WiFiError::noInterface));
        QCOMPARE(backend.join(AccessPoint{}, std::nullopt), Error(WiFiError::noInterface));
        device_ = nm_->addWirelessDevice("wlan1");
        QTRY_COMPARE(backend.interfaceName(), std::optional<QString>("wlan1"));
        nm_->mock("SetProperty",
                  {kManagerPath, kManager, "WirelessEnabled", QVariant::fromValue(QDBusVariant(false))});
        QTRY_VERIFY(!backend.isPoweredOn());
    }

    // New networks: a volatile profile, kept on disk for the exact bytes once
    // it has worked; the association shows it until the disconnect.
    void joinAndDisconnect_data()
    {
        QTest::addColumn<NewJoin>("row");
        QTest::newRow("open") << NewJoin{"Cafe", 0, {}, "psk", 20, 0};
        QTest::newRow("wpa2") << NewJoin{"Home", kCcmp | kPsk, "correct horse", "psk", 20, 0};
        QTest::newRow("wep key") << NewJoin{"Old", 0, "abcde", "wep-key0", 20, 0};
        QTest::newRow("after authenticating") << NewJoin{"Cafe", 0, {}, "psk", 20, 450};
        QTest::newRow("non-ASCII, states first")
            << NewJoin{"\xe6\x97\xa5\xff", kCcmp | kPsk, "pässwörd", "psk", -1, 0};
    }
    void joinAndDisconnect()
    {
        QFETCH(NewJoin, row);
        const auto& [ssid, rsn, password, secretKey, stepMs, authorizationMs] = row;
        behave("step_ms", stepMs);
        nm_->setNetworkBehaviour(ssid, password);
        const QString path = nm_->addAccessPoint(device_, {.ssid = ssid,
                                                           .frequency = 5180,
                                                           .rsn = rsn,
                                                           .bitrate = 300000,
                                                           .flags = rsn || !password.isEmpty()});
        NetworkManagerBackend backend(limits(5s, authorizationMs ? 300ms : 1500ms));
        const AccessPoint ap = scanned(backend, ssid);
        QCOMPARE(ap.handle, path);
        behave("authorization_ms", authorizationMs);
        QCOMPARE(backend.join(ap, typed(password)), std::nullopt);
        behave("authorization_ms", 0);

        const Association now = backend.currentAssociation();
        QCOMPARE(now.ssid, nm::decodeSsid(ssid));
        QVERIFY(now.txRate == 300.0 && now.channel->number == 36);
        const QStringList profiles = nm_->savedConnections();
        QCOMPARE(profiles.size(), 1);
        const QVariantMap stored = nm_->connectionSecrets(profiles[0]);
        QCOMPARE(stored.value("unsaved").toBool() || stored.value("volatile").toBool(), false);
        QCOMPARE(stored.value(secretKey).toString(), password);
        QTRY_COMPARE(backend.savedSsids(), QList<QByteArray>{ssid});
        backend.disconnect();
        QVERIFY(!backend.currentAssociation().ssid);
        QCOMPARE(nm_->savedConnections().size(), 1);
    }

    // Failures leave every profile as it was and nothing connected; a refusal
    // by policy activates nothing, and the disconnect after it reports nothing.
    void failedJoins_data()
    {
        QTest::addColumn<FailedJoin>("row");
        QTest::newRow("wrong password, new") << FailedJoin{{}, "secret", 0, {}, "wrong pass", 7};
        QTest::newRow("supplicant time-out") << FailedJoin{{}, "fail", 11, {}, "whatever1", 11};
        QTest::newRow("network not found") << FailedJoin{0, "fail", 53, {}, {}, 53};
        QTest::newRow("never finishes") << FailedJoin{{}, "stall", 0, {}, "whatever1", kTimedOut};
        QTest::newRow("activation refused")
            << FailedJoin{{}, "secret", 0, {"Activate", "Disconnect"}, "pass", kNotPermitted};
        QTest::newRow("agent refused")
            << FailedJoin{1, "secret", 0, {"Register", "Disconnect"}, "pass", kNotPermitted};
    }
    void failedJoins()
    {
        QFETCH(FailedJoin, row);
        const auto& [saved, outcome, reason, denied, password, code] = row;
        nm_->setNetworkBehaviour("Home", "the right one", outcome, reason);
        addHome();
        nm_->addSavedWifi("Other", "wpa-psk", "x");
        if (saved)
            nm_->addSavedWifi("Home", "wpa-psk", *saved ? QString() : "outdated", {{"secret-flags", *saved}});
        behave("denied", denied);
        const QStringList before = nm_->savedConnections();
        NetworkManagerBackend backend(limits(outcome == QLatin1String("stall") ? 300ms : 5s));
        const Error error = backend.join(scanned(backend, "Home"), typed(password));
        QCOMPARE(error ? error->code() : 0, code);
        QVERIFY(!error->description().isEmpty() &&
                !error->description().contains(QLatin1String("org.freedesktop")));
        QCOMPARE(nm_->savedConnections(), before);
        QVERIFY(!backend.currentAssociation().ssid);
        QCOMPARE(nm_->property(device_, kWireless, "ActiveAccessPoint").toString(), QStringLiteral("/"));
        QVERIFY(denied.isEmpty() || nm_->counter("activations") == 0);
        backend.disconnect();
    }

    // A saved profile never changes before a join has worked: by the owner
    // of its secret (NetworkManager 0, the keyring agent 1) and the password typed.
    void savedProfileJoins_data()
    {
        QTest::addColumn<SavedJoin>("row");
        const QString psk = QStringLiteral("wpa-psk"), right = QStringLiteral("the right one");
        const QString old = QStringLiteral("outdated"), typo = QStringLiteral("typo one");
        QTest::newRow("stored secret works") << SavedJoin{psk, 0, right, {}, 0, right, 0, 0};
        QTest::newRow("stored secret is wrong") << SavedJoin{psk, 0, old, {}, 7, old, 1, 0};
        QTest::newRow("right password, own secret") << SavedJoin{psk, 0, old, right, 0, right, 0, 1};
        QTest::newRow("wrong password, own secret") << SavedJoin{psk, 0, old, typo, 7, old, 1, 0};
        QTest::newRow("keyring secret works") << SavedJoin{psk, 1, right, {}, 0, right, 1, 0};
        QTest::newRow("right password, keyring") << SavedJoin{psk, 1, old, right, 0, right, 1, 0};
        QTest::newRow("wrong password, keyring") << SavedJoin{psk, 1, old, typo, 7, old, 2, 0};
        QTest::newRow("open, stray password") << SavedJoin{{}, 0, {}, right, 0, {}, 0, 0};
    }
    void savedProfileJoins()
    {
        QFETCH(SavedJoin, row);
        const auto& [keyMgmt, owner, stored, password, code, kept, agentRequests, copies] = row;
        nm_->setNetworkBehaviour("Home", keyMgmt.isEmpty() ? QString() : QStringLiteral("the right one"));
        addHome(keyMgmt.isEmpty() ? 0u : kCcmp | kPsk);
        // An older profile of the same name is not the one a join uses.
        nm_->addSavedWifi("Home", "wpa-psk", "older", {{"timestamp", 100}});
        const QString saved =
            nm_->addSavedWifi("Home", keyMgmt, stored, {{"secret-flags", owner}, {"timestamp", 200}});
        const QStringList before = nm_->savedConnections();
        NetworkManagerBackend backend(limits());
        const Error error = backend.join(scanned(backend, "Home"), typed(password));
        QVERIFY2((error ? error->code() : 0) == code, qPrintable(error ? error->description() : QString()));
        const auto secrets = [&] { return nm_->connectionSecrets(saved); };
        QTRY_COMPARE(secrets().value(owner ? "keyring" : "psk").toString(), kept);
        QVERIFY(!owner || !secrets().contains("psk")); // a keyring's secret is never stored in the profile
        QCOMPARE(secrets().value("key-mgmt").toString(), keyMgmt);
        QCOMPARE(nm_->counter("agent_requests"), agentRequests);
        QCOMPARE(nm_->counter("keyring_prompts"), 0u); // no second dialog
        QCOMPARE(nm_->savedConnections().size(), before.size() + copies);
        // The rest of the profile is as it was; a copy that carried the
        // password vanishes with its connection.
        const auto setting = [&](const char* key) {
            return nm_->mock("ConnectionSetting", {saved, "ipv4", key});
        };
        QCOMPARE(setting("address-data").toList().value(0).toMap().value("address"), QVariant("192.168.7.2"));
        QCOMPARE(setting("dns").toList(), QVariantList{0x08080808u});
        backend.disconnect();
        QTRY_COMPARE(nm_->savedConnections(), before);
    }

    // A hidden network needs its name: NetworkManager's refusal is reported
    // as it gave it; a hidden network joined elsewhere is named by its profile.
    void hiddenNetworks()
    {
        const QString ap = nm_->addAccessPoint(device_, {.ssid = "", .rsn = kCcmp | kPsk});
        NetworkManagerBackend backend(limits());
        const Error error = backend.join(scanned(backend, ""), QStringLiteral("password1"));
        QCOMPARE(error->code(), NetworkManagerBackend::kOtherFailure);
        QVERIFY(error->description().contains(QLatin1String("ssid")) && nm_->savedConnections().isEmpty());
        QDBusMessage activate =
            QDBusMessage::createMethodCall(kManager, kManagerPath, kManager, "ActivateConnection");
        activate.setArguments({QVariant::fromValue(QDBusObjectPath(nm_->addSavedWifi("Attic"))),
                               QVariant::fromValue(QDBusObjectPath(device_)),
                               QVariant::fromValue(QDBusObjectPath(ap))});
        QCOMPARE(nm_->connection().call(activate).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(backend.currentAssociation().ssid, std::optional<QString>("Attic"));
    }

    // A join waiting for NetworkManager ends as soon as the engine goes away
    // or NetworkManager leaves, long before its own limit; then, without
    // NetworkManager, nothing waits.
    void waitingJoinEndsEarly()
    {
        for (bool leaves : {false, true}) {
            QVERIFY(nm_->reset());
            device_ = nm_->addWirelessDevice();
            nm_->setNetworkBehaviour("Home", QString(), "stall");
            addHome();
            NetworkManagerBackend backend(limits(600s));
            const AccessPoint ap = scanned(backend, "Home");
            Error result;
            std::atomic<bool> done{false};
            std::unique_ptr<QThread> worker(QThread::create([&] {
                result = backend.join(ap, QStringLiteral("password1"));
                done = true;
            }));
            worker->start();
            QTRY_COMPARE(nm_->counter("activations"), 1u);
            leaves ? nm_->stop() : backend.cancel();
            QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
            worker->wait();
            QCOMPARE(result->code(), leaves ? qint64(WiFiError::noInterface) : kTimedOut);
        }
        // NetworkManager absent from the start.
        {
            NetworkManagerBackend absent(limits());
            QVERIFY(!absent.hasInterface() && !absent.isPoweredOn() && absent.savedSsids().isEmpty());
            QCOMPARE(absent.scan().error, Error(WiFiError::noInterface));
            QCOMPARE(absent.setPower(true), Error(WiFiError::noInterface));
            absent.disconnect();
        }
    }

    // Leaving and coming back, hanging: no interface, nothing waits longer
    // than one call, and the copy comes back with NetworkManager.
    void networkManagerLeavingOrHanging()
    {
        NetworkManagerBackend backend(limits(5s, 300ms));
        for (int round = 0; round < 2; ++round) {
            QVERIFY(nm_->reset());
            device_ = nm_->addWirelessDevice();
            nm_->addSavedWifi("Home", "wpa-psk", "secret12");
            addHome();
            QTRY_COMPARE(backend.savedSsids(), QList<QByteArray>{"Home"});
            QTRY_VERIFY(backend.hasInterface());
            if (round == 0) {
                nm_->stop();
                QTRY_VERIFY(!backend.hasInterface());
                QVERIFY(backend.savedSsids().isEmpty());
            }
        }
        QCOMPARE(backend.scan().accessPoints.size(), 1);
        nm_->pause();
        // The reads answer from the copy without asking; a scan waits one call.
        const quint64 trips = backend.roundTrips();
        QVERIFY(backend.hasInterface() && backend.isPoweredOn());
        QCOMPARE(backend.savedSsids(), QList<QByteArray>{"Home"});
        QCOMPARE(backend.roundTrips(), trips);
        QCOMPARE(backend.scan().error->code(), kTimedOut);
        NetworkManagerBackend late(limits(5s, 300ms)); // gives up after one call: no interface
        QVERIFY(!late.hasInterface());
        nm_->resume();
        QVERIFY(!backend.scan().error);
        QTRY_VERIFY(late.hasInterface()); // loaded again after its retry interval
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerBackend)
#include "tst_NetworkManagerBackend.moc"
