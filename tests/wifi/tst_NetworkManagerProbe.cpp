// "ondrel --probe" as a process against the NetworkManager mock: the table,
// joins and their exit statuses, and NetworkManager absent or hanging.

#include "tests/wifi/MockNetworkManager.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

using ondrel::test::MockNetworkManager;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

constexpr uint kPrivacy = 0x1;
constexpr uint kCcmpPsk = 0x8 | 0x80 | 0x100;
constexpr uint kSae = 0x400;

} // namespace

class tst_NetworkManagerProbe : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MockNetworkManager> nm_;
    QString device_;

    QProcessEnvironment environment(const QByteArray& bus = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("ONDREL_WIFI_SIMULATION"));
        env.remove(QStringLiteral("ONDREL_LOG"));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                   bus.isEmpty() ? nm_->busAddress() : QString::fromUtf8(bus));
        return env;
    }

    Run probe(const QStringList& extra = {}, const QByteArray& bus = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment(bus));
        QElapsedTimer clock;
        clock.start();
        process.start(qEnvironmentVariable("ONDREL_BINARY"), QStringList{QStringLiteral("--probe")} + extra);
        Run run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.ms = clock.elapsed();
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
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
        QVERIFY(nm_->start({{QStringLiteral("ActivationStepMs"), 20}, {QStringLiteral("ScanMs"), 50}}));
        device_ = nm_->addWirelessDevice(QStringLiteral("wlp2s0"));
        nm_->addAccessPoint(device_, QStringLiteral("a1"), "Caf\xc3\xa9 Wi-Fi",
                            QStringLiteral("AA:BB:CC:DD:EE:01"), 5180, 80, kPrivacy, 0, kCcmpPsk, 80);
        nm_->addAccessPoint(device_, QStringLiteral("a2"), "HomeNet", QStringLiteral("AA:BB:CC:DD:EE:02"),
                            2437, 60, kPrivacy, 0, kCcmpPsk | kSae, 20);
        nm_->addAccessPoint(device_, QStringLiteral("a3"), "", QStringLiteral("AA:BB:CC:DD:EE:03"), 5955, 40,
                            kPrivacy, 0, 0x8 | 0x80 | kSae, 160);
        nm_->addAccessPoint(device_, QStringLiteral("a4"), "Evil\x1b[31m",
                            QStringLiteral("AA:BB:CC:DD:EE:04"), 2412, 30, 0, 0, 0, 20);
        nm_->addSavedWifi(QStringLiteral("HomeNet"), "HomeNet", QStringLiteral("wpa-psk"),
                          QStringLiteral("secret12"));
        nm_->setNetworkBehaviour("HomeNet", QStringLiteral("secret12"));
        nm_->setNetworkBehaviour("Caf\xc3\xa9 Wi-Fi", QStringLiteral("croissant"));
    }
    void cleanup() { nm_->stop(); }

    void listsTheNetworks()
    {
        const Run run = probe();
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out,
                 QStringLiteral(
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
        QVERIFY(run.err.contains(QStringLiteral("wlp2s0")));
    }

    void joins_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("profiles");
        QTest::addColumn<QString>("saying");
        QTest::newRow("new network, right password")
            << QStringList{QStringLiteral("--connect"), QStringLiteral("Café Wi-Fi"),
                           QStringLiteral("--password"), QStringLiteral("croissant")}
            << 0 << 2 << QStringLiteral("成功。現在の接続先: Café Wi-Fi\n");
        QTest::newRow("new network, wrong password")
            << QStringList{QStringLiteral("--connect"), QStringLiteral("Café Wi-Fi"),
                           QStringLiteral("--password"), QStringLiteral("baguette")}
            << 1 << 1 << QStringLiteral("（コード 7）\n");
        QTest::newRow("saved network") << QStringList{QStringLiteral("--connect"), QStringLiteral("HomeNet")}
                                       << 0 << 1 << QStringLiteral("成功。現在の接続先: HomeNet\n");
    }
    void joins()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(int, profiles);
        QFETCH(QString, saying);
        const Run run = probe(args);
        QCOMPARE(run.status, status);
        QVERIFY2((run.out + run.err).contains(saying), qPrintable(run.out + run.err));
        QVERIFY(!run.err.contains(QLatin1String("baguette")) && !run.out.contains(QLatin1String("baguette")));
        QCOMPARE(nm_->savedConnections().size(), profiles);
        for (const QString& path : nm_->savedConnections())
            QCOMPARE(nm_->connectionSecrets(path).value(QStringLiteral("unsaved")).toBool(), false);
    }

    // The probe killed at random moments of joins with a wrong password (a
    // profile whose secret NetworkManager keeps, a new network, a profile
    // whose secret is in the keyring): once the activation has ended every
    // saved profile is as it was and no new one is left.
    void killedJoinsChangeNothing()
    {
        nm_->addAccessPoint(device_, QStringLiteral("a5"), "Keyring", QStringLiteral("AA:BB:CC:DD:EE:05"),
                            2412, 50, kPrivacy, 0, kCcmpPsk, 20);
        nm_->addSavedWifi(QStringLiteral("Keyring"), "Keyring", QStringLiteral("wpa-psk"),
                          QStringLiteral("in keyring"), QStringLiteral("802-11-wireless"),
                          {{QStringLiteral("secret-flags"), 1u}});
        const QStringList profiles = nm_->savedConnections();
        QList<QVariantMap> secrets;
        for (const QString& path : profiles)
            secrets << nm_->connectionSecrets(path);
        const QStringList targets{QStringLiteral("HomeNet"), QStringLiteral("Café Wi-Fi"),
                                  QStringLiteral("Keyring")};
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int i = 0; i < 9; ++i) {
            // Killed at a random moment after the activation began (the
            // device's first state change).
            QEventLoop began;
            nm_->connection().connect(QString::fromLatin1(MockNetworkManager::service), device_,
                                      QStringLiteral("org.freedesktop.NetworkManager.Device"),
                                      QStringLiteral("StateChanged"), &began, SLOT(quit()));
            QTimer::singleShot(10000, &began, &QEventLoop::quit);
            QProcess process;
            process.setProcessEnvironment(environment());
            process.start(qEnvironmentVariable("ONDREL_BINARY"),
                          {QStringLiteral("--probe"), QStringLiteral("--connect"), targets[i % 3],
                           QStringLiteral("--password"), QStringLiteral("-")});
            process.write("wrong password\n");
            process.closeWriteChannel();
            began.exec();
            const int moment = int(random.bounded(100u));
            if (!process.waitForFinished(moment))
                process.kill();
            process.waitForFinished();
            const QString context =
                QStringLiteral("seed %1, run %2, killed at %3 ms").arg(seed).arg(i).arg(moment);
            QTRY_VERIFY2(nm_->pathProperty(device_, QStringLiteral("org.freedesktop.NetworkManager.Device"),
                                           QStringLiteral("ActiveConnection")) == QLatin1String("/"),
                         qPrintable(context));
            QTRY_COMPARE(nm_->savedConnections(), profiles);
            for (qsizetype p = 0; p < profiles.size(); ++p)
                QVERIFY2(nm_->connectionSecrets(profiles[p]) == secrets[p], qPrintable(context));
        }
    }

    void withoutNetworkManager_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("limitMs");
        QTest::newRow("absent") << QStringLiteral("absent") << 2500;
        QTest::newRow("no system bus at all") << QStringLiteral("no bus") << 2500;
        QTest::newRow("not answering") << QStringLiteral("hangs") << 6000;
    }
    void withoutNetworkManager()
    {
        QFETCH(QString, how);
        QFETCH(int, limitMs);
        if (how == QLatin1String("hangs"))
            nm_->pause();
        else
            nm_->stop();
        const Run run =
            probe({}, how == QLatin1String("no bus") ? "unix:path=/nonexistent/bus" : QByteArray());
        nm_->resume();
        QCOMPARE(run.status, 1);
        QVERIFY2(run.ms < limitMs, qPrintable(QString::number(run.ms)));
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(QStringLiteral("Wi-Fi インターフェースが見つかりません。")),
                 qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerProbe)
#include "tst_NetworkManagerProbe.moc"
