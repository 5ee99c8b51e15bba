// "ondrel --probe" as a process against the NetworkManager mock: the table,
// joins and their exit statuses, joins killed midway, NetworkManager absent.

#include "tests/wifi/MockNetworkManager.h"

#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

using ondrel::test::MockNetworkManager;

namespace {

constexpr uint kCcmpPsk = 0x8 | 0x80 | 0x100, kSae = 0x400;
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");

} // namespace

class tst_NetworkManagerProbe : public QObject {
    Q_OBJECT

    std::unique_ptr<MockNetworkManager> nm_;
    QString device_;

    // Starts the probe; its environment names the private bus (or `bus`).
    void start(QProcess& process, const QStringList& args, const QString& bus = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("ONDREL_WIFI_SIMULATION"));
        env.remove(QStringLiteral("ONDREL_LOG"));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.isEmpty() ? nm_->busAddress() : bus);
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("ONDREL_BINARY"), QStringList{QStringLiteral("--probe")} + args);
    }
    // Exit status, standard output and error.
    std::tuple<int, QString, QString> probe(const QStringList& args = {}, const QString& bus = {})
    {
        QProcess process;
        start(process, args, bus);
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ONDREL_BINARY"))
            QSKIP("ONDREL_BINARY names the program under test (set by ctest)");
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY(nm_->busRunning());
    }
    void init()
    {
        QVERIFY(nm_->start({{"ActivationStepMs", 20}, {"ScanMs", 50}}));
        device_ = nm_->addWirelessDevice(QStringLiteral("wlp2s0"));
        using Ap = MockNetworkManager::Ap;
        nm_->addAccessPoint(device_, Ap{.ssid = "Caf\xc3\xa9 Wi-Fi",
                                        .bssid = "AA:BB:CC:DD:EE:01",
                                        .frequency = 5180,
                                        .strength = 80,
                                        .rsn = kCcmpPsk,
                                        .bandwidth = 80});
        nm_->addAccessPoint(
            device_,
            Ap{.ssid = "HomeNet", .bssid = "AA:BB:CC:DD:EE:02", .strength = 60, .rsn = kCcmpPsk | kSae});
        nm_->addAccessPoint(device_, Ap{.ssid = "",
                                        .bssid = "AA:BB:CC:DD:EE:03",
                                        .frequency = 5955,
                                        .strength = 40,
                                        .rsn = 0x88 | kSae,
                                        .bandwidth = 160});
        nm_->addAccessPoint(
            device_,
            Ap{.ssid = "Evil\x1b[31m", .bssid = "AA:BB:CC:DD:EE:04", .frequency = 2412, .strength = 30});
        nm_->addSavedWifi("HomeNet", "wpa-psk", "secret12");
        nm_->setNetworkBehaviour("HomeNet", "secret12");
        nm_->setNetworkBehaviour("Caf\xc3\xa9 Wi-Fi", "croissant");
    }
    void cleanup() { nm_->stop(); }

    void listsTheNetworks()
    {
        const auto [status, out, err] = probe();
        QCOMPARE(status, 0);
        QCOMPARE(out, QStringLiteral(
                          "SSID                                RSSI    ch Band       Security         BSSID\n"
                          " Café Wi-Fi                       -52 dBm   36 5 GHz      WPA2             "
                          "AA:BB:CC:DD:EE:01\n"
                          "*HomeNet                          -64 dBm    6 2.4 GHz    WPA2/WPA3        "
                          "AA:BB:CC:DD:EE:02\n"
                          " (hidden)                         -76 dBm    1 6 GHz      WPA3             "
                          "AA:BB:CC:DD:EE:03\n"
                          " Evil\\x1b[31m                     -82 dBm    1 2.4 GHz    Open             "
                          "AA:BB:CC:DD:EE:04\n"
                          "計 4 件（* はシステムに登録済み）\n"));
        QVERIFY(err.contains(QStringLiteral("wlp2s0")));
    }

    void joins_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("profiles");
        QTest::addColumn<QString>("saying");
        QTest::newRow("new network, right password")
            << QStringList{"--connect", "Café Wi-Fi", "--password", "croissant"} << 0 << 2
            << "成功。現在の接続先: Café Wi-Fi\n";
        QTest::newRow("new network, wrong password")
            << QStringList{"--connect", "Café Wi-Fi", "--password", "baguette"} << 1 << 1 << "（コード 7）\n";
        QTest::newRow("saved network")
            << QStringList{"--connect", "HomeNet"} << 0 << 1 << "成功。現在の接続先: HomeNet\n";
    }
    void joins()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, saying);
        const auto [status, out, err] = probe(args);
        QTEST(status, "status");
        QVERIFY2((out + err).contains(saying), qPrintable(out + err));
        QVERIFY(!(out + err).contains(QLatin1String("baguette")));
        QTEST(int(nm_->savedConnections().size()), "profiles");
        for (const QString& path : nm_->savedConnections())
            QCOMPARE(nm_->connectionSecrets(path).value("unsaved").toBool(), false);
    }

    // The probe killed at random moments of joins with a wrong password (a
    // profile whose secret NetworkManager keeps, a new network, a profile
    // whose secret is in the keyring): once the activation has ended every
    // saved profile is as it was and no new one is left.
    void killedJoinsChangeNothing()
    {
        nm_->addAccessPoint(device_, {.ssid = "Keyring", .bssid = "AA:BB:CC:DD:EE:05", .rsn = kCcmpPsk});
        nm_->addSavedWifi("Keyring", "wpa-psk", "in keyring", {{"secret-flags", 1u}});
        const QStringList profiles = nm_->savedConnections();
        QList<QVariantMap> secrets;
        for (const QString& path : profiles)
            secrets << nm_->connectionSecrets(path);
        const QStringList targets{"HomeNet", "Café Wi-Fi", "Keyring"};
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int i = 0; i < 9; ++i) {
            // Killed at a random moment after the activation began (the
            // device's first state change).
            QEventLoop began;
            nm_->connection().connect(QString::fromLatin1(MockNetworkManager::service), device_, kDevice,
                                      "StateChanged", &began, SLOT(quit()));
            QTimer::singleShot(10000, &began, &QEventLoop::quit);
            QProcess process;
            start(process, {"--connect", targets[i % 3], "--password", "-"});
            process.write("wrong password\n");
            process.closeWriteChannel();
            began.exec();
            const int moment = int(random.bounded(100u));
            if (!process.waitForFinished(moment))
                process.kill();
            process.waitForFinished();
            const QString context =
                QStringLiteral("seed %1, run %2, killed at %3 ms").arg(seed).arg(i).arg(moment);
            QTRY_VERIFY2(nm_->property(device_, kDevice, "ActiveConnection").toString() == QLatin1String("/"),
                         qPrintable(context));
            QTRY_COMPARE(nm_->savedConnections(), profiles);
            for (qsizetype p = 0; p < profiles.size(); ++p)
                QVERIFY2(nm_->connectionSecrets(profiles[p]) == secrets[p], qPrintable(context));
        }
    }

    // Absent or no system bus at all: no interface, exit status 1.
    void withoutNetworkManager()
    {
        nm_->stop();
        for (const QString& bus : {QString(), QStringLiteral("unix:path=/nonexistent/bus")}) {
            const auto [status, out, err] = probe({}, bus);
            QCOMPARE(status, 1);
            QVERIFY(out.isEmpty());
            QVERIFY2(err.contains(QStringLiteral("Wi-Fi インターフェースが見つかりません。")),
                     qPrintable(err));
        }
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerProbe)
#include "tst_NetworkManagerProbe.moc"
