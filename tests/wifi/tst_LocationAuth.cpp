#include "app/DebugLogFile.h"
#include "wifi/LocationAuth.h"
#include "wifi/SimulatedLocationProvider.h"
#include "wifi/SystemLocationProvider.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ondrel;
using namespace std::chrono_literals;

class TestLocationAuth : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void initialStatus_data();
    void initialStatus();
    void requestIsAnswered_data();
    void requestIsAnswered();
    void undeterminedKeepsUpdatesRunning();
    void failureOnlyLogs();
    void linuxNeedsNoRequest();

private:
    QString log() const;
    QTemporaryDir dir_;
};

void TestLocationAuth::initTestCase()
{
    QVERIFY(dir_.isValid());
    qputenv("ONDREL_LOG", dir_.filePath(QStringLiteral("log.txt")).toUtf8());
    installDebugLogFile();
    qunsetenv("ONDREL_WIFI_SIMULATION");
}

void TestLocationAuth::init()
{
    QFile::remove(dir_.filePath(QStringLiteral("log.txt")));
}

QString TestLocationAuth::log() const
{
    QFile file(dir_.filePath(QStringLiteral("log.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void TestLocationAuth::initialStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("authorized");
    QTest::newRow("not determined") << 0 << false;
    QTest::newRow("restricted") << 1 << false;
    QTest::newRow("denied") << 2 << false;
    QTest::newRow("always") << 3 << true;
    QTest::newRow("when in use does not count") << 4 << false;
}

void TestLocationAuth::initialStatus()
{
    QFETCH(int, status);
    SimulatedLocationProvider provider(status, 3, 0ms, true);
    LocationAuth auth(&provider);
    QCOMPARE(auth.status(), status);
    QTEST(auth.isAuthorized(), "authorized");
}

void TestLocationAuth::requestIsAnswered_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("denied") << 2;
    QTest::newRow("authorized") << 3;
    QTest::newRow("when in use") << 4;
}

void TestLocationAuth::requestIsAnswered()
{
    QFETCH(int, answer);
    SimulatedLocationProvider provider(0, answer, 20ms, true);
    LocationAuth auth(&provider);
    QSignalSpy changed(&auth, &LocationAuth::statusChanged);
    auth.requestPermission();
    QVERIFY(provider.isUpdating());
    QCOMPARE(auth.status(), 0);
    QVERIFY(changed.wait());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toInt(), answer);
    QCOMPARE(auth.status(), answer);
    QCOMPARE(auth.isAuthorized(), answer == 3);
    QVERIFY(!provider.isUpdating());
    QVERIFY2(log().endsWith(QStringLiteral("許可の状態が変わりました status=%1\n").arg(answer)),
             qPrintable(log()));
    QCOMPARE(log().count(QLatin1Char('\n')), 1);

    // The user changes it later in the system settings; the new status
    // arrives on a later turn of the main loop, not inside the callback.
    provider.changeStatus(1);
    QCOMPARE(auth.status(), answer);
    QVERIFY(changed.wait());
    QCOMPARE(auth.status(), 1);
}

void TestLocationAuth::undeterminedKeepsUpdatesRunning()
{
    SimulatedLocationProvider provider(0, 0, 0ms, true);
    LocationAuth auth(&provider);
    auth.requestPermission();
    provider.changeStatus(0);
    QTRY_VERIFY(log().contains(QStringLiteral("status=0")));
    QVERIFY(provider.isUpdating());
    QCOMPARE(auth.status(), 0);
}

void TestLocationAuth::failureOnlyLogs()
{
    SimulatedLocationProvider provider(2, 3, 0ms, true);
    LocationAuth auth(&provider);
    QSignalSpy changed(&auth, &LocationAuth::statusChanged);
    provider.failUpdates(QStringLiteral("no fix"));
    QCOMPARE(auth.status(), 2);
    QVERIFY(log().endsWith(QStringLiteral("位置情報の失敗: no fix\n")));
    QCoreApplication::processEvents();
    QCOMPARE(changed.size(), 0);
}

void TestLocationAuth::linuxNeedsNoRequest()
{
    LocationAuth auth;
    QVERIFY(qobject_cast<SystemLocationProvider*>(&auth.provider()));
    QCOMPARE(auth.status(), 3);
    QVERIFY(auth.isAuthorized());
    QVERIFY(auth.servicesEnabled());
    QSignalSpy changed(&auth, &LocationAuth::statusChanged);
    auth.requestPermission();
    QCoreApplication::processEvents();
    QCOMPARE(changed.size(), 0);
    QCOMPARE(auth.status(), 3);
}

QTEST_GUILESS_MAIN(TestLocationAuth)
#include "tst_LocationAuth.moc"
