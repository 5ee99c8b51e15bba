// The NetworkManager backend against python-dbusmock's NetworkManager (with
// tests/wifi/nm_template.py) on a private bus that this test starts itself.

#include "tests/wifi/MockNetworkManager.h"
#include "wifi/NetworkManagerBackend.h"
#include "wifi/NetworkManagerMapping.h"
#include "wifi/ScannedNetwork.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QThread>

#include <QtTest>
#include <atomic>

using namespace ondrel;
using namespace std::chrono_literals;
using test::MockNetworkManager;

namespace {

const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWireless = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kWifi = QStringLiteral("802-11-wireless");

constexpr uint kPrivacy = 0x1;
constexpr uint kCcmp = 0x8 | 0x80;
constexpr uint kPsk = 0x100;
constexpr uint k8021x = 0x200;
constexpr uint kSae = 0x400;
constexpr uint kOwe = 0x800;
constexpr uint kOweTransition = 0x1000;
constexpr uint kSuiteB = 0x2000;

NetworkManagerBackend::Limits quickLimits()
{
    NetworkManagerBackend::Limits limits;
    limits.call = 1500ms;
    limits.scan = 3s;
    limits.activation = 5s;
    return limits;
}

std::optional<AccessPoint> find(const QList<AccessPoint>& list, const QByteArray& ssid)
{
    for (const AccessPoint& ap : list) {
        if (ap.ssidBytes == ssid)
            return ap;
    }
    return std::nullopt;
}

} // namespace

class tst_NetworkManagerBackend : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MockNetworkManager> nm_;
    QString device_;

    std::unique_ptr<NetworkManagerBackend> makeBackend(NetworkManagerBackend::Limits limits = quickLimits())
    {
        return std::make_unique<NetworkManagerBackend>(limits);
    }
    QString addSecuredAp(const QString& name, const QByteArray& ssid, uint rsn = kCcmp | kPsk)
    {
        return nm_->addAccessPoint(
            device_, name, ssid,
            QStringLiteral("02:00:00:00:10:%1").arg(name.size(), 2, 10, QLatin1Char('0')), 2437, 70,
            rsn ? kPrivacy : 0u, 0, rsn, 20, 144000);
    }
    AccessPoint scanned(NetworkManagerBackend& backend, const QByteArray& ssid)
    {
        const ScanResult result = backend.scan();
        [&] { QVERIFY(!result.error); }();
        return find(result.accessPoints, ssid).value_or(AccessPoint{});
    }

private Q_SLOTS:
    void initTestCase()
    {
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY2(nm_->busRunning(), "a private dbus-daemon is needed");
    }
    void init()
    {
        QVERIFY(nm_->start({{QStringLiteral("ActivationStepMs"), 20}, {QStringLiteral("ScanMs"), 50}}));
        device_ = nm_->addWirelessDevice();
        QVERIFY(!device_.isEmpty());
    }
    void cleanup() { nm_->stop(); }
    void cleanupTestCase() { nm_.reset(); }

    void scanTurnsAccessPointsIntoRecords_data()
    {
        QTest::addColumn<QByteArray>("ssid");
        QTest::addColumn<uint>("frequency");
        QTest::addColumn<uint>("strength");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<uint>("wpa");
        QTest::addColumn<uint>("rsn");
        QTest::addColumn<uint>("bandwidth");
        QTest::addColumn<QVariant>("name");
        QTest::addColumn<Security>("security");
        QTest::addColumn<Band>("band");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("rssi");

        const QVariant none;
        QTest::newRow("open 2.4") << QByteArray("Cafe") << 2412u << 100u << 0u << 0u << 0u << 20u
                                  << QVariant(QStringLiteral("Cafe")) << Security::open << Band::ghz2_4 << 1
                                  << 20 << -40;
        QTest::newRow("wep") << QByteArray("Old") << 2462u << 0u << kPrivacy << 0u << 0u << 0u
                             << QVariant(QStringLiteral("Old")) << Security::wep << Band::ghz2_4 << 11 << 0
                             << -100;
        QTest::newRow("wpa") << QByteArray("Wpa") << 2484u << 50u << kPrivacy << (0x4u | 0x40u | kPsk) << 0u
                             << 40u << QVariant(QStringLiteral("Wpa")) << Security::wpaPersonal
                             << Band::ghz2_4 << 14 << 40 << -70;
        QTest::newRow("wpa2") << QByteArray("Home") << 5180u << 75u << kPrivacy << 0u << (kCcmp | kPsk) << 80u
                              << QVariant(QStringLiteral("Home")) << Security::wpa2Personal << Band::ghz5
                              << 36 << 80 << -55;
        QTest::newRow("wpa2 and wpa3") << QByteArray("Mixed") << 5500u << 60u << kPrivacy << 0u
                                       << (kCcmp | kPsk | kSae) << 160u << QVariant(QStringLiteral("Mixed"))
                                       << Security::wpa2wpa3Personal << Band::ghz5 << 100 << 160 << -64;
        QTest::newRow("wpa3 on 6 GHz")
            << QByteArray("Six") << 5955u << 90u << kPrivacy << 0u << (kCcmp | kSae) << 320u
            << QVariant(QStringLiteral("Six")) << Security::wpa3Personal << Band::ghz6 << 1 << 0 << -46;
        QTest::newRow("wpa2 and enterprise")
            << QByteArray("Both") << 2437u << 40u << kPrivacy << 0u << (kCcmp | kPsk | k8021x) << 20u
            << QVariant(QStringLiteral("Both")) << Security::wpa2Personal << Band::ghz2_4 << 6 << 20 << -76;
        QTest::newRow("enterprise") << QByteArray("Corp") << 5745u << 30u << kPrivacy << k8021x
                                    << (kCcmp | k8021x) << 40u << QVariant(QStringLiteral("Corp"))
                                    << Security::enterprise << Band::ghz5 << 149 << 40 << -82;
        QTest::newRow("wpa3 enterprise")
            << QByteArray("Gov") << 6115u << 20u << kPrivacy << 0u << (kCcmp | kSuiteB) << 80u
            << QVariant(QStringLiteral("Gov")) << Security::enterprise << Band::ghz6 << 33 << 80 << -88;
        QTest::newRow("owe") << QByteArray("Owe") << 5200u << 55u << kPrivacy << 0u << (kCcmp | kOwe) << 20u
                             << QVariant(QStringLiteral("Owe")) << Security::owe << Band::ghz5 << 40 << 20
                             << -67;
        QTest::newRow("owe transition")
            << QByteArray("Lobby") << 2412u << 55u << 0u << 0u << kOweTransition << 20u
            << QVariant(QStringLiteral("Lobby")) << Security::owe << Band::ghz2_4 << 1 << 20 << -67;
        QTest::newRow("privacy with ciphers only")
            << QByteArray("Odd") << 2412u << 55u << kPrivacy << 0u << kCcmp << 20u
            << QVariant(QStringLiteral("Odd")) << Security::unknown << Band::ghz2_4 << 1 << 20 << -67;
        QTest::newRow("hidden") << QByteArray() << 5180u << 66u << kPrivacy << 0u << (kCcmp | kPsk) << 20u
                                << none << Security::wpa2Personal << Band::ghz5 << 36 << 20 << -60;
        QTest::newRow("non-ASCII") << QByteArray("Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac") << 2437u << 33u << 0u
                                   << 0u << 0u << 20u << QVariant(QStringLiteral("Café 日本"))
                                   << Security::open << Band::ghz2_4 << 6 << 20 << -80;
        QTest::newRow("invalid UTF-8")
            << QByteArray("A\xff\x1b[2J") << 2437u << 33u << 0u << 0u << 0u << 20u
            << QVariant(QStringLiteral("A\uFFFD\x1b[2J")) << Security::open << Band::ghz2_4 << 6 << 20 << -80;
        QTest::newRow("NetworkManager 1.42: no width")
            << QByteArray("Old") << 5180u << 66u << 0u << 0u << 0u << 80u << QVariant(QStringLiteral("Old"))
            << Security::open << Band::ghz5 << 36 << 0 << -60;
        QTest::newRow("unknown frequency")
            << QByteArray("Far") << 60480u << 33u << 0u << 0u << 0u << 0u << QVariant(QStringLiteral("Far"))
            << Security::open << Band::unknown << 0 << 0 << -80;
    }
    void scanTurnsAccessPointsIntoRecords()
    {
        QFETCH(QByteArray, ssid);
        QFETCH(uint, frequency);
        QFETCH(uint, strength);
        QFETCH(uint, flags);
        QFETCH(uint, wpa);
        QFETCH(uint, rsn);
        QFETCH(uint, bandwidth);
        QFETCH(QVariant, name);
        QFETCH(Security, security);
        QFETCH(Band, band);
        QFETCH(int, channel);
        QFETCH(int, width);
        QFETCH(int, rssi);

        if (QByteArray(QTest::currentDataTag()) != "NetworkManager 1.42: no width")
            nm_->mock(QStringLiteral("SetVersion"), {QStringLiteral("1.46.0")});
        nm_->addAccessPoint(device_, QStringLiteral("other"), "Neighbour",
                            QStringLiteral("02:00:00:00:00:99"), 2412, 10, 0, 0, 0);
        const QString path =
            nm_->addAccessPoint(device_, QStringLiteral("ap"), ssid, QStringLiteral("AA:BB:CC:00:11:22"),
                                frequency, uchar(strength), flags, wpa, rsn, bandwidth);
        auto backend = makeBackend();
        const quint64 before = backend->roundTrips();
        const ScanResult result = backend->scan();
        QVERIFY(!result.error);
        QCOMPARE(backend->roundTrips() - before, 2u); // RequestScan, then every object at once
        QCOMPARE(result.accessPoints.size(), 2);
        const std::optional<AccessPoint> ap = find(result.accessPoints, ssid);
        QVERIFY(ap);
        QCOMPARE(ap->handle, path);
        const ScannedNetwork record = ScannedNetwork::fromAccessPoint(*ap);
        QCOMPARE(record.ssid.has_value(), name.isValid());
        if (name.isValid())
            QCOMPARE(*record.ssid, name.toString());
        QCOMPARE(record.bssid, std::optional<QString>(QStringLiteral("AA:BB:CC:00:11:22")));
        QCOMPARE(record.security, security);
        QCOMPARE(record.band, band);
        QCOMPARE(record.channel, channel);
        QCOMPARE(record.widthMHz, width);
        QCOMPARE(record.rssi, rssi);
        QCOMPARE(record.noise, 0);
        QVERIFY(!record.countryCode);
        QCOMPARE(nm_->counters().value(QStringLiteral("scan_requests")).toUInt(), 1u);
    }

    void scanWhenNetworkManagerDoesNotScan_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("minimumMs");
        QTest::newRow("scan already running") << QStringLiteral("refuse") << 0;
        QTest::newRow("LastScan never changes") << QStringLiteral("never") << 700;
    }
    void scanWhenNetworkManagerDoesNotScan()
    {
        QFETCH(QString, mode);
        QFETCH(int, minimumMs);
        addSecuredAp(QStringLiteral("a"), "Home");
        nm_->mock(QStringLiteral("SetScanBehaviour"), {mode, 0});
        auto limits = quickLimits();
        limits.scan = 700ms;
        auto backend = makeBackend(limits);
        QElapsedTimer clock;
        clock.start();
        const ScanResult result = backend->scan();
        QVERIFY(!result.error);
        QCOMPARE(result.accessPoints.size(), 1); // the current list serves
        QVERIFY(clock.elapsed() >= minimumMs);
        QVERIFY(clock.elapsed() < 3000);
    }

    void statusAndSavedNamesFollowSignals()
    {
        auto backend = makeBackend();
        QVERIFY(backend->hasInterface());
        QCOMPARE(backend->interfaceName(), std::optional<QString>(QStringLiteral("wlan0")));
        QVERIFY(backend->isPoweredOn());
        QVERIFY(!backend->currentAssociation().ssid);
        QVERIFY(backend->savedSsids().isEmpty());

        // Saved networks are infrastructure profiles only, by their exact bytes.
        const auto add = [&](const QByteArray& ssid, const QString& mode, const QString& type = kWifi) {
            return nm_->addSavedWifi(QString::fromUtf8(ssid), ssid, QStringLiteral("wpa-psk"),
                                     QStringLiteral("secret12"), type, {{QStringLiteral("mode"), mode}});
        };
        add("Home", QStringLiteral("infrastructure"));
        add("Hotspot", QStringLiteral("ap"));
        add("Ad hoc", QStringLiteral("adhoc"));
        add("Mesh", QStringLiteral("mesh"));
        add("Wired", QString(), QStringLiteral("802-3-ethernet"));
        add("Caf\xff", QString());
        const QString cafe = add("Caf\xc3\xa9", QStringLiteral("infrastructure"));
        QTRY_COMPARE(backend->savedSsids(), (QList<QByteArray>{"Home", "Caf\xff", "Caf\xc3\xa9"}));

        QDBusMessage remove = QDBusMessage::createMethodCall(
            QString::fromLatin1(MockNetworkManager::service), cafe,
            QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection"), QStringLiteral("Delete"));
        QCOMPARE(nm_->connection().call(remove).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(backend->savedSsids(), (QList<QByteArray>{"Home", "Caf\xff"}));

        // The reads never wait for NetworkManager: they answer at once even
        // while it does not answer at all.
        nm_->pause();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 200; ++i) {
            QVERIFY(backend->hasInterface());
            QVERIFY(!backend->currentAssociation().ssid);
            QCOMPARE(backend->savedSsids().size(), 2);
        }
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        nm_->resume();
    }

    void hiddenCurrentNetworkIsNamedByItsProfile()
    {
        const QString ap = nm_->addAccessPoint(device_, QStringLiteral("hidden"), QByteArray(),
                                               QStringLiteral("02:00:00:00:00:07"), 5180, 70, 0, 0, 0);
        const QString profile = nm_->addSavedWifi(QStringLiteral("Attic"), "Attic", QString(), QString());
        auto backend = makeBackend();
        QDBusMessage activate =
            QDBusMessage::createMethodCall(QString::fromLatin1(MockNetworkManager::service), kManagerPath,
                                           kManager, QStringLiteral("ActivateConnection"));
        activate.setArguments({QVariant::fromValue(QDBusObjectPath(profile)),
                               QVariant::fromValue(QDBusObjectPath(device_)),
                               QVariant::fromValue(QDBusObjectPath(ap))});
        QCOMPARE(nm_->connection().call(activate).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(backend->currentAssociation().ssid, std::optional<QString>(QStringLiteral("Attic")));
        QCOMPARE(backend->currentAssociation().bssid,
                 std::optional<QString>(QStringLiteral("02:00:00:00:00:07")));
    }

    void noWirelessDevice()
    {
        nm_->mock(QStringLiteral("RemoveDevice"), {device_});
        nm_->mock(QStringLiteral("AddEthernetDevice"), {QStringLiteral("eth0"), QStringLiteral("eth0"), 100});
        auto backend = makeBackend();
        QVERIFY(!backend->hasInterface());
        QVERIFY(!backend->interfaceName());
        QVERIFY(!backend->isPoweredOn());
        QCOMPARE(backend->scan().error, std::optional<SystemError>(WiFiError::noInterface));
        QCOMPARE(backend->join(AccessPoint{}, std::nullopt),
                 std::optional<SystemError>(WiFiError::noInterface));

        // A Wi-Fi device that appears later is picked up.
        const QString wlan = nm_->addWirelessDevice(QStringLiteral("wlan1"));
        QTRY_VERIFY(backend->hasInterface());
        QCOMPARE(backend->interfaceName(), std::optional<QString>(QStringLiteral("wlan1")));
    }

    void radioOffAndOn()
    {
        auto backend = makeBackend();
        QVERIFY(backend->isPoweredOn());
        QCOMPARE(backend->setPower(false), std::nullopt);
        QVERIFY(!backend->isPoweredOn());
        QCOMPARE(nm_->property(kManagerPath, kManager, QStringLiteral("WirelessEnabled")).toBool(), false);
        QCOMPARE(backend->setPower(true), std::nullopt);
        QVERIFY(backend->isPoweredOn());

        // Switched off elsewhere: the status follows.
        nm_->setProperty(kManagerPath, kManager, QStringLiteral("WirelessEnabled"), false);
        QTRY_VERIFY(!backend->isPoweredOn());

        nm_->mock(QStringLiteral("SetDenied"), {QStringList{QStringLiteral("WirelessEnabled")}});
        const std::optional<SystemError> denied = backend->setPower(true);
        QVERIFY(denied);
        QCOMPARE(denied->domain(), NetworkManagerBackend::kNetworkManagerDomain);
        QCOMPARE(denied->code(), NetworkManagerBackend::kNotPermitted);
        QVERIFY(!denied->description().contains(QLatin1String("org.freedesktop")));
        QVERIFY(!backend->isPoweredOn());
    }

    void joinAndDisconnect_data()
    {
        QTest::addColumn<QByteArray>("ssid");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<uint>("rsn");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("keyMgmt");
        QTest::addColumn<int>("stepMs");
        QTest::addColumn<int>("authorizationMs"); // the user authenticating first

        QTest::newRow("open") << QByteArray("Cafe") << 0u << 0u << QString() << QString() << 20 << 0;
        QTest::newRow("enhanced open") << QByteArray("Lobby") << kPrivacy << (kCcmp | kOwe) << QString()
                                       << QStringLiteral("owe") << 20 << 0;
        QTest::newRow("wpa2 with password")
            << QByteArray("Home") << kPrivacy << (kCcmp | kPsk) << QStringLiteral("correct horse")
            << QStringLiteral("wpa-psk") << 20 << 0;
        QTest::newRow("wpa3 with password")
            << QByteArray("Six") << kPrivacy << (kCcmp | kSae) << QStringLiteral("correct horse")
            << QStringLiteral("sae") << 20 << 0;
        QTest::newRow("wep key") << QByteArray("Old") << kPrivacy << 0u << QStringLiteral("abcde")
                                 << QStringLiteral("none") << 20 << 0;
        QTest::newRow("after the user authenticated")
            << QByteArray("Cafe") << 0u << 0u << QString() << QString() << 20 << 600;
        QTest::newRow("non-ASCII, states before the reply")
            << QByteArray("\xe6\x97\xa5\xff") << kPrivacy << (kCcmp | kPsk) << QStringLiteral("pässwörd")
            << QStringLiteral("wpa-psk") << -1 << 0;
    }
    void joinAndDisconnect()
    {
        QFETCH(QByteArray, ssid);
        QFETCH(uint, flags);
        QFETCH(uint, rsn);
        QFETCH(QString, password);
        QFETCH(QString, keyMgmt);
        QFETCH(int, stepMs);
        QFETCH(int, authorizationMs);

        nm_->mock(QStringLiteral("SetActivationStepMs"), {stepMs});
        nm_->setNetworkBehaviour(ssid, password);
        const QString path =
            nm_->addAccessPoint(device_, QStringLiteral("ap"), ssid, QStringLiteral("AA:00:00:00:00:01"),
                                5180, 80, flags, 0, rsn, 40, 300000);
        auto limits = quickLimits();
        limits.call = authorizationMs ? 300ms : limits.call; // shorter than the wait for the user
        auto backend = makeBackend(limits);
        const AccessPoint ap = scanned(*backend, ssid);
        QCOMPARE(ap.handle, path);

        const std::optional<QString> typed =
            password.isEmpty() ? std::nullopt : std::optional<QString>(password);
        nm_->mock(QStringLiteral("SetAuthorizationMs"), {authorizationMs});
        QCOMPARE(backend->join(ap, typed), std::nullopt);
        nm_->mock(QStringLiteral("SetAuthorizationMs"), {0});

        const Association now = backend->currentAssociation();
        QCOMPARE(now.ssid, nm::decodeSsid(ssid));
        QCOMPARE(now.bssid, std::optional<QString>(QStringLiteral("AA:00:00:00:00:01")));
        QCOMPARE(now.txRate, 300.0);
        QCOMPARE(now.rssi, -52);
        QVERIFY(now.channel);
        QCOMPARE(now.channel->number, 36);

        // The new profile is kept, on disk, for the exact bytes of the name.
        const QStringList connections = nm_->savedConnections();
        QCOMPARE(connections.size(), 1);
        const QVariantMap stored = nm_->connectionSecrets(connections.first());
        QCOMPARE(stored.value(QStringLiteral("unsaved")).toBool(), false);
        QCOMPARE(stored.value(QStringLiteral("volatile")).toBool(), false);
        QCOMPARE(
            stored
                .value(keyMgmt == QLatin1String("none") ? QStringLiteral("wep-key0") : QStringLiteral("psk"))
                .toString(),
            keyMgmt == QLatin1String("owe") ? QString() : password);
        QTRY_COMPARE(backend->savedSsids(), QList<QByteArray>{ssid});

        backend->disconnect();
        QVERIFY(!backend->currentAssociation().ssid);
        QCOMPARE(nm_->property(device_, kDevice, QStringLiteral("State")).toUInt(), 30u);
        QCOMPARE(nm_->savedConnections().size(), 1);
    }

    void failedJoins_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<uint>("reason");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");

        const QString reasons = NetworkManagerBackend::kDeviceStateReasonDomain;
        const QString manager = NetworkManagerBackend::kNetworkManagerDomain;
        QTest::newRow("wrong password, new") << false << QStringLiteral("secret") << 0u
                                             << QStringLiteral("wrong pass") << reasons << qint64(7);
        QTest::newRow("supplicant time-out")
            << false << QStringLiteral("fail") << 11u << QStringLiteral("whatever1") << reasons << qint64(11);
        QTest::newRow("network not found")
            << true << QStringLiteral("fail") << 53u << QString() << reasons << qint64(53);
        QTest::newRow("never finishes")
            << false << QStringLiteral("stall") << 0u << QStringLiteral("whatever1") << manager
            << NetworkManagerBackend::kTimedOut;
    }
    void failedJoins()
    {
        QFETCH(bool, saved);
        QFETCH(QString, outcome);
        QFETCH(uint, reason);
        QFETCH(QString, typed);
        QFETCH(QString, domain);
        QFETCH(qint64, code);

        nm_->setNetworkBehaviour("Home", QStringLiteral("the right one"), outcome, reason);
        addSecuredAp(QStringLiteral("home"), "Home");
        nm_->addSavedWifi(QStringLiteral("Other"), "Other", QStringLiteral("wpa-psk"), QStringLiteral("x"));
        if (saved)
            nm_->addSavedWifi(QStringLiteral("Home"), "Home", QStringLiteral("wpa-psk"),
                              QStringLiteral("outdated"));
        const QStringList before = nm_->savedConnections();
        auto limits = quickLimits();
        limits.activation = 800ms;
        auto backend = makeBackend(limits);

        const std::optional<QString> password =
            typed.isEmpty() ? std::nullopt : std::optional<QString>(typed);
        const std::optional<SystemError> error = backend->join(scanned(*backend, "Home"), password);
        QVERIFY(error);
        QCOMPARE(error->domain(), domain);
        QCOMPARE(error->code(), code);
        QVERIFY(!error->description().isEmpty());
        QVERIFY(!error->description().contains(QLatin1String("org.freedesktop")));
        QCOMPARE(nm_->savedConnections(), before); // nothing left behind, nothing lost
        QVERIFY(!backend->currentAssociation().ssid);
        QCOMPARE(nm_->pathProperty(device_, kWireless, QStringLiteral("ActiveAccessPoint")),
                 QStringLiteral("/"));
    }

    // A saved profile never changes before a join has worked: by the owner
    // of its secret (NetworkManager 0, the keyring agent 1) and the password typed.
    void savedProfileJoins_data()
    {
        QTest::addColumn<QString>("keyMgmt");
        QTest::addColumn<uint>("owner");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("code");       // 0: joined, else the device state reason
        QTest::addColumn<QString>("kept");      // the secret afterwards
        QTest::addColumn<int>("agentRequests"); // requests NetworkManager made to Ondrel's agent
        QTest::addColumn<int>("copies");        // further profiles while connected

        const QString psk = QStringLiteral("wpa-psk");
        const QString right = QStringLiteral("the right one");
        const QString old = QStringLiteral("outdated");
        const QString typo = QStringLiteral("typo one");
        QTest::newRow("stored secret works") << psk << 0u << right << QString() << 0ll << right << 0 << 0;
        QTest::newRow("stored secret is wrong") << psk << 0u << old << QString() << 7ll << old << 1 << 0;
        QTest::newRow("right password, own secret") << psk << 0u << old << right << 0ll << right << 0 << 1;
        QTest::newRow("wrong password, own secret") << psk << 0u << old << typo << 7ll << old << 1 << 0;
        QTest::newRow("keyring secret works") << psk << 1u << right << QString() << 0ll << right << 1 << 0;
        QTest::newRow("right password, keyring") << psk << 1u << old << right << 0ll << right << 1 << 0;
        QTest::newRow("wrong password, keyring") << psk << 1u << old << typo << 7ll << old << 2 << 0;
        QTest::newRow("open network, stray password")
            << QString() << 0u << QString() << right << 0ll << QString() << 0 << 0;
    }
    void savedProfileJoins()
    {
        QFETCH(QString, keyMgmt);
        QFETCH(uint, owner);
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(qint64, code);
        QFETCH(QString, kept);
        QFETCH(int, agentRequests);
        QFETCH(int, copies);

        nm_->setNetworkBehaviour("Home", keyMgmt.isEmpty() ? QString() : QStringLiteral("the right one"));
        addSecuredAp(QStringLiteral("home"), "Home", keyMgmt.isEmpty() ? 0u : kCcmp | kPsk);
        // An older profile of the same name is not the one a join uses.
        nm_->addSavedWifi(QStringLiteral("Home"), "Home", QStringLiteral("wpa-psk"), QStringLiteral("older"),
                          kWifi, {{QStringLiteral("timestamp"), 100}});
        const QString saved =
            nm_->addSavedWifi(QStringLiteral("Home"), "Home", keyMgmt, stored, kWifi,
                              {{QStringLiteral("secret-flags"), owner}, {QStringLiteral("timestamp"), 200}});
        const QStringList before = nm_->savedConnections();
        auto backend = makeBackend();
        const AccessPoint ap = scanned(*backend, "Home");
        const auto secretKept = [&] {
            const QVariantMap stored = nm_->connectionSecrets(saved);
            return stored.value(owner ? QStringLiteral("keyring") : QStringLiteral("psk")).toString();
        };

        const std::optional<SystemError> error =
            backend->join(ap, typed.isEmpty() ? std::nullopt : std::optional<QString>(typed));
        QVERIFY2((error ? error->code() : 0) == code, qPrintable(error ? error->description() : QString()));
        QTRY_COMPARE(secretKept(), kept);
        if (owner)
            QVERIFY(!nm_->connectionSecrets(saved).contains(
                QStringLiteral("psk"))); // never stored in the profile
        const QVariantMap counters = nm_->counters();
        QCOMPARE(counters.value(QStringLiteral("agent_requests")).toInt(), agentRequests);
        QCOMPARE(counters.value(QStringLiteral("keyring_prompts")).toInt(), 0); // no second dialog
        QCOMPARE(nm_->savedConnections().size(), before.size() + copies);
        QCOMPARE(nm_->connectionSecrets(saved).value(QStringLiteral("key-mgmt")).toString(), keyMgmt);

        // The rest of the profile is as it was; a copy that carried the
        // password vanishes with its connection.
        auto setting = [&](const QString& group, const QString& key) {
            return nm::plainValue(nm_->mock(QStringLiteral("ConnectionSetting"), {saved, group, key}));
        };
        const QVariantList addresses =
            setting(QStringLiteral("ipv4"), QStringLiteral("address-data")).toList();
        QCOMPARE(addresses.value(0).toMap().value(QStringLiteral("address")).toString(),
                 QStringLiteral("192.168.7.2"));
        QCOMPARE(setting(QStringLiteral("ipv4"), QStringLiteral("dns")).toList(), QVariantList{0x08080808u});
        backend->disconnect();
        QTRY_COMPARE(nm_->savedConnections(), before);
    }

    void joinOfAHiddenNetworkNeedsItsName()
    {
        nm_->addAccessPoint(device_, QStringLiteral("hidden"), QByteArray(),
                            QStringLiteral("02:00:00:00:00:07"), 5180, 70, kPrivacy, 0, kCcmp | kPsk);
        auto backend = makeBackend();
        const ScanResult result = backend->scan();
        QCOMPARE(result.accessPoints.size(), 1);
        const std::optional<SystemError> error =
            backend->join(result.accessPoints.first(), QStringLiteral("password1"));
        QVERIFY(error);
        QCOMPARE(error->code(), NetworkManagerBackend::kOtherFailure);
        QVERIFY(error->description().contains(QLatin1String("ssid")));
        QVERIFY(!error->description().contains(QLatin1String("org.freedesktop")));
        QVERIFY(nm_->savedConnections().isEmpty());
    }

    void waitingJoinEndsEarly_data()
    {
        QTest::addColumn<bool>("networkManagerLeaves");
        QTest::newRow("engine going away") << false;
        QTest::newRow("NetworkManager leaving") << true;
    }
    void waitingJoinEndsEarly()
    {
        QFETCH(bool, networkManagerLeaves);
        nm_->setNetworkBehaviour("Home", QString(), QStringLiteral("stall"));
        addSecuredAp(QStringLiteral("home"), "Home");
        auto limits = quickLimits();
        limits.activation = 30s;
        auto backend = makeBackend(limits);
        const AccessPoint ap = scanned(*backend, "Home");

        std::optional<SystemError> result;
        std::atomic<bool> done{false};
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QThread> worker(QThread::create([&] {
            result = backend->join(ap, QStringLiteral("password1"));
            done = true;
        }));
        worker->start();
        QTRY_COMPARE(nm_->counters().value(QStringLiteral("activations")).toUInt(), 1u);
        if (networkManagerLeaves)
            nm_->stop();
        else
            backend->cancel();
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        worker->wait();
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(result);
        if (networkManagerLeaves)
            QCOMPARE(*result, SystemError(WiFiError::noInterface));
        else
            QCOMPARE(result->code(), NetworkManagerBackend::kTimedOut);
    }

    void joinRefusedByPolicy_data()
    {
        QTest::addColumn<QString>("denied");
        QTest::addColumn<bool>("saved");
        QTest::newRow("activation") << QStringLiteral("Activate") << false;
        QTest::newRow("secret agent") << QStringLiteral("Register") << true;
    }
    void joinRefusedByPolicy()
    {
        QFETCH(QString, denied);
        QFETCH(bool, saved);
        addSecuredAp(QStringLiteral("home"), "Home");
        if (saved)
            nm_->addSavedWifi(QStringLiteral("Home"), "Home", QStringLiteral("wpa-psk"), QString(), kWifi,
                              {{QStringLiteral("secret-flags"), 1u}});
        nm_->mock(QStringLiteral("SetDenied"), {QStringList{denied, QStringLiteral("Disconnect")}});
        auto backend = makeBackend();
        const std::optional<SystemError> error =
            backend->join(scanned(*backend, "Home"), QStringLiteral("password1"));
        QVERIFY(error);
        QCOMPARE(error->code(), NetworkManagerBackend::kNotPermitted);
        QVERIFY(!error->description().contains(QLatin1String("org.freedesktop")));
        QCOMPARE(nm_->savedConnections().size(), saved ? 1 : 0);
        QCOMPARE(nm_->counters().value(QStringLiteral("activations")).toUInt(), 0u);
        backend->disconnect(); // refused, reports nothing
    }

    void failureNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        const QString manager = NetworkManagerBackend::kNetworkManagerDomain;
        for (const char* name : {"org.freedesktop.NetworkManager.PermissionDenied",
                                 "org.freedesktop.NetworkManager.Settings.PermissionDenied",
                                 "org.freedesktop.NetworkManager.AgentManager.PermissionDenied",
                                 "org.freedesktop.DBus.Error.AccessDenied"})
            QTest::newRow(name) << QString::fromLatin1(name) << manager
                                << NetworkManagerBackend::kNotPermitted;
        QTest::newRow("no reply") << QStringLiteral("org.freedesktop.DBus.Error.NoReply") << manager
                                  << NetworkManagerBackend::kTimedOut;
        QTest::newRow("gone") << QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")
                              << SystemError::kWiFiErrorDomain << qint64(WiFiError::noInterface);
        QTest::newRow("other") << QStringLiteral("org.freedesktop.NetworkManager.Settings.InvalidSetting")
                               << manager << NetworkManagerBackend::kOtherFailure;
    }
    void failureNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        const SystemError failure =
            NetworkManagerBackend::failureFrom(QDBusMessage::createError(name, QStringLiteral("Refused.")));
        QCOMPARE(failure.domain(), domain);
        QCOMPARE(failure.code(), code);
        QCOMPARE(NetworkManagerBackend::describeStateReason(42),
                 QStringLiteral("The Wi-Fi supplicant is now available."));
    }

    void networkManagerAbsent()
    {
        nm_->stop();
        QElapsedTimer clock;
        clock.start();
        auto backend = makeBackend(NetworkManagerBackend::Limits{});
        QVERIFY(!backend->hasInterface());
        QVERIFY(!backend->isPoweredOn());
        QVERIFY(backend->savedSsids().isEmpty());
        QCOMPARE(backend->scan().error, std::optional<SystemError>(WiFiError::noInterface));
        QCOMPARE(backend->setPower(true), std::optional<SystemError>(WiFiError::noInterface));
        backend->disconnect();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    void networkManagerLeavesAndReturns()
    {
        nm_->addSavedWifi(QStringLiteral("Home"), "Home", QStringLiteral("wpa-psk"),
                          QStringLiteral("secret12"));
        addSecuredAp(QStringLiteral("home"), "Home");
        auto backend = makeBackend();
        QVERIFY(backend->hasInterface());
        QTRY_COMPARE(backend->savedSsids().size(), 1);

        nm_->stop();
        QTRY_VERIFY(!backend->hasInterface());
        QVERIFY(backend->savedSsids().isEmpty());
        QCOMPARE(backend->scan().error, std::optional<SystemError>(WiFiError::noInterface));

        QVERIFY(nm_->start());
        device_ = nm_->addWirelessDevice();
        nm_->addSavedWifi(QStringLiteral("Home"), "Home", QStringLiteral("wpa-psk"),
                          QStringLiteral("secret12"));
        addSecuredAp(QStringLiteral("home"), "Home");
        QTRY_VERIFY(backend->hasInterface());
        QTRY_COMPARE(backend->savedSsids(), QList<QByteArray>{"Home"});
        const ScanResult result = backend->scan();
        QVERIFY(!result.error);
        QCOMPARE(result.accessPoints.size(), 1);
    }

    void networkManagerStopsAnswering()
    {
        addSecuredAp(QStringLiteral("home"), "Home");
        auto limits = quickLimits();
        limits.call = 700ms;
        auto backend = makeBackend(limits);
        QVERIFY(backend->hasInterface());

        nm_->pause();
        QElapsedTimer clock;
        clock.start();
        const ScanResult stuck = backend->scan();
        QVERIFY(stuck.error);
        QCOMPARE(stuck.error->code(), NetworkManagerBackend::kTimedOut);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));

        // A backend created while NetworkManager hangs gives up within the
        // time of one call and reports no interface.
        clock.restart();
        auto late = makeBackend(limits);
        QVERIFY(!late->hasInterface());
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));

        nm_->resume();
        QVERIFY(!backend->scan().error);
        QTRY_VERIFY_WITH_TIMEOUT(late->hasInterface(), 10000);
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerBackend)
#include "tst_NetworkManagerBackend.moc"
