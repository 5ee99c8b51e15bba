// "ondrel --probe" as a process against the NetworkManager mock: what the
// command line adds to the backend's joins (exit status, sentences, no
// password echoed), joins killed midway, no system bus at all.

#include "tests/wifi/MockNetworkManager.h"
#include "wifi/NetworkManagerNames.h"

#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

using ondrel::test::MockNetworkManager;

class tst_NetworkManagerProbe : public QObject {
    Q_OBJECT

    std::unique_ptr<MockNetworkManager> nm_;
    QString device_;

    // Starts the probe on this system bus.
    void start(QProcess& process, const QString& bus, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("ONDREL_WIFI_SIMULATION"));
        env.remove(QStringLiteral("ONDREL_LOG"));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus);
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("ONDREL_BINARY"), QStringList{QStringLiteral("--probe")} + args);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ONDREL_BINARY"))
            QSKIP("ONDREL_BINARY names the program under test (set by ctest)");
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY(nm_->start({{"ActivationStepMs", 20}, {"ScanMs", 10}}));
    }
    // A new network and a profile whose secret NetworkManager keeps.
    void init()
    {
        QVERIFY(nm_->reset());
        device_ = nm_->addWirelessDevice(QStringLiteral("wlp2s0"));
        for (const QByteArray ssid : {"Caf\xc3\xa9 Wi-Fi", "HomeNet"}) {
            nm_->addAccessPoint(device_, {.ssid = ssid,
                                          .bssid = "AA:BB:CC:DD:EE:0" + QString::number(ssid.size()),
                                          .rsn = 0x8 | 0x80 | 0x100});
            nm_->setNetworkBehaviour(ssid, "secret12");
        }
        nm_->addSavedWifi("HomeNet", "wpa-psk", "secret12");
    }

    // A new network's profile is on disk before the process ends, or not there at all.
    void joins_data()
    {
        QTest::addColumn<QString>("password"); // none: no system bus at all
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("saying");
        QTest::newRow("right password") << "secret12" << 0 << "成功。現在の接続先: Café Wi-Fi\n";
        QTest::newRow("wrong password") << "baguette" << 1 << "（コード 7）\n";
        QTest::newRow("no system bus") << QString() << 1 << "Wi-Fi インターフェースが見つかりません。\n";
    }
    void joins()
    {
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(QString, saying);
        QProcess process;
        if (password.isEmpty())
            start(process, QStringLiteral("unix:path=/nonexistent/bus"), {});
        else
            start(process, nm_->busAddress(), {"--connect", "Café Wi-Fi", "--password", password});
        QVERIFY(process.waitForFinished(60000));
        const QString output =
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        QCOMPARE(process.exitCode(), status);
        QVERIFY2(output.contains(saying) && (password.isEmpty() || !output.contains(password)),
                 qPrintable(output));
        QCOMPARE(nm_->savedConnections().size(), 2 - status);
        for (const QString& path : nm_->savedConnections())
            QCOMPARE(nm_->connectionSecrets(path).value("persist"), QVariant("disk"));
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
        for (const char* target : {"HomeNet", "Café Wi-Fi"}) {
            // Killed at a random moment after the activation began (the
            // device's first state change).
            QEventLoop began;
            nm_->connection().connect(QString::fromLatin1(MockNetworkManager::service), device_,
                                      ondrel::nm::dbus::kDevice, "StateChanged", &began, SLOT(quit()));
            QTimer::singleShot(10000, &began, &QEventLoop::quit);
            QProcess process;
            start(process, nm_->busAddress(), {"--connect", QString::fromUtf8(target), "--password", "-"});
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
};

QTEST_GUILESS_MAIN(tst_NetworkManagerProbe)
#include "tst_NetworkManagerProbe.moc"
