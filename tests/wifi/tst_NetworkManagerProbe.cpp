// "ondrel --probe" as a process against the NetworkManager mock: joins and
// their exit statuses, joins killed midway, no system bus at all.

#include "tests/wifi/MockNetworkManager.h"
#include "wifi/NetworkManagerNames.h"

#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

using ondrel::test::MockNetworkManager;

namespace {

constexpr uint kCcmpPsk = 0x8 | 0x80 | 0x100;

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
    // Exit status, and standard output and error together.
    std::pair<int, QString> probe(const QStringList& args, const QString& bus = {})
    {
        QProcess process;
        start(process, args, bus);
        if (!process.waitForFinished(60000))
            process.kill();
        return {process.exitCode(),
                QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ONDREL_BINARY"))
            QSKIP("ONDREL_BINARY names the program under test (set by ctest)");
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY(nm_->start({{"ActivationStepMs", 20}, {"ScanMs", 10}}));
    }
    // A new network, a profile whose secret NetworkManager keeps, one whose secret is in the keyring.
    void init()
    {
        QVERIFY(nm_->reset());
        device_ = nm_->addWirelessDevice(QStringLiteral("wlp2s0"));
        const QList<std::pair<QByteArray, uint>> profiles{
            {"Caf\xc3\xa9 Wi-Fi", 2}, {"HomeNet", 0}, {"Keyring", 1}};
        for (const auto& [ssid, owner] : profiles) {
            nm_->addAccessPoint(
                device_,
                {.ssid = ssid, .bssid = "AA:BB:CC:DD:EE:0" + QString::number(owner), .rsn = kCcmpPsk});
            if (owner < 2)
                nm_->addSavedWifi(ssid, "wpa-psk", owner ? "in keyring" : "secret12",
                                  {{"secret-flags", owner}});
            nm_->setNetworkBehaviour(ssid, "secret12");
        }
    }

    void joins_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("saying");
        QTest::newRow("right password") << "secret12" << 0 << "成功。現在の接続先: Café Wi-Fi\n";
        QTest::newRow("wrong password") << "baguette" << 1 << "（コード 7）\n";
    }
    // A new network's profile is on disk before the process ends, or not there at all.
    void joins()
    {
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(QString, saying);
        const auto [exitStatus, output] = probe({"--connect", "Café Wi-Fi", "--password", password});
        QCOMPARE(exitStatus, status);
        QVERIFY2(output.contains(saying) && !output.contains(password), qPrintable(output));
        QCOMPARE(nm_->savedConnections().size(), 3 - status);
        for (const QString& path : nm_->savedConnections())
            QCOMPARE(nm_->connectionSecrets(path).value("unsaved").toBool(), false);
    }

    // The probe killed at random moments of joins with a wrong password:
    // once the activation has ended every saved profile is as it was and no
    // new one is left.
    void killedJoinsChangeNothing()
    {
        const QStringList profiles = nm_->savedConnections();
        QList<QVariantMap> secrets;
        for (const QString& path : profiles)
            secrets << nm_->connectionSecrets(path);
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (const char* target : {"HomeNet", "Café Wi-Fi", "Keyring"}) {
            // Killed at a random moment after the activation began (the
            // device's first state change).
            QEventLoop began;
            nm_->connection().connect(QString::fromLatin1(MockNetworkManager::service), device_,
                                      ondrel::nm::dbus::kDevice, "StateChanged", &began, SLOT(quit()));
            QTimer::singleShot(10000, &began, &QEventLoop::quit);
            QProcess process;
            start(process, {"--connect", QString::fromUtf8(target), "--password", "-"});
            process.write("wrong password\n");
            process.closeWriteChannel();
            began.exec();
            const int moment = int(random.bounded(100u));
            if (!process.waitForFinished(moment))
                process.kill();
            process.waitForFinished();
            const QString context =
                QStringLiteral("seed %1, %2 killed at %3 ms").arg(seed).arg(target).arg(moment);
            QTRY_VERIFY2(nm_->property(device_, ondrel::nm::dbus::kDevice, "ActiveConnection").toString() ==
                             QLatin1String("/"),
                         qPrintable(context));
            QTRY_COMPARE(nm_->savedConnections(), profiles);
            for (qsizetype p = 0; p < profiles.size(); ++p)
                QVERIFY2(nm_->connectionSecrets(profiles[p]) == secrets[p], qPrintable(context));
        }
    }

    // Without a system bus at all: no interface, exit status 1.
    void withoutSystemBus()
    {
        const auto [status, output] = probe({}, QStringLiteral("unix:path=/nonexistent/bus"));
        QCOMPARE(status, 1);
        QVERIFY2(output.endsWith(QStringLiteral("Wi-Fi インターフェースが見つかりません。\n")),
                 qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerProbe)
#include "tst_NetworkManagerProbe.moc"
