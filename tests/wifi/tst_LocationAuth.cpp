// Location permission: the status as the provider reports it, a request
// answered later on the main loop, failures that only log.

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

class tst_LocationAuth : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString log() const
    {
        QFile file(dir_.filePath(QStringLiteral("log.txt")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ONDREL_LOG", dir_.filePath(QStringLiteral("log.txt")).toUtf8());
        installDebugLogFile();
        qunsetenv("ONDREL_WIFI_SIMULATION");
    }
    void init() { QFile::remove(dir_.filePath(QStringLiteral("log.txt"))); }

    // A request answered later, on the main loop, with one log line; then a
    // change made in the system settings. Only "always" (3) counts.
    void requestIsAnswered()
    {
        for (int answer : {2, 3, 4}) {
            init();
            SimulatedLocationProvider provider(0, answer, 20ms, true);
            LocationAuth auth(&provider);
            QSignalSpy changed(&auth, &LocationAuth::statusChanged);
            auth.requestPermission();
            QVERIFY(provider.isUpdating() && auth.status() == 0);
            QVERIFY(changed.wait());
            QCOMPARE(changed.takeFirst().first().toInt(), answer);
            QCOMPARE(auth.isAuthorized(), answer == 3);
            QVERIFY(!provider.isUpdating());
            QVERIFY(log().endsWith(QStringLiteral("許可の状態が変わりました status=%1\n").arg(answer)));
            QCOMPARE(log().count(QLatin1Char('\n')), 1);
            provider.changeStatus(1);
            QCOMPARE(auth.status(), answer);
            QVERIFY(changed.wait());
            QVERIFY(auth.status() == 1 && LocationAuth(&provider).status() == 1);
        }
    }

    void undeterminedKeepsUpdatesRunning()
    {
        SimulatedLocationProvider provider(0, 0, 0ms, true);
        LocationAuth auth(&provider);
        auth.requestPermission();
        provider.changeStatus(0);
        QTRY_VERIFY(log().contains(QStringLiteral("status=0")));
        QVERIFY(provider.isUpdating());
        QCOMPARE(auth.status(), 0);
    }

    // A failure only logs: the first change announced afterwards is the next real one.
    void failureOnlyLogs()
    {
        SimulatedLocationProvider provider(2, 3, 0ms, true);
        LocationAuth auth(&provider);
        QSignalSpy changed(&auth, &LocationAuth::statusChanged);
        provider.failUpdates(QStringLiteral("no fix"));
        QCOMPARE(auth.status(), 2);
        QVERIFY(log().endsWith(QStringLiteral("位置情報の失敗: no fix\n")));
        provider.changeStatus(1);
        QVERIFY(changed.wait());
        QCOMPARE(changed.takeFirst().value(0).toInt(), 1);
        QVERIFY(changed.isEmpty());
    }

    // On Linux nothing asks: authorized at once, and a request changes nothing
    // (no announcement before a call queued after it).
    void linuxNeedsNoRequest()
    {
        LocationAuth auth;
        QVERIFY(qobject_cast<SystemLocationProvider*>(&auth.provider()));
        QVERIFY(auth.isAuthorized() && auth.servicesEnabled());
        QSignalSpy changed(&auth, &LocationAuth::statusChanged);
        auth.requestPermission();
        bool later = false;
        QMetaObject::invokeMethod(
            this, [&] { later = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(later);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(auth.status(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_LocationAuth)
#include "tst_LocationAuth.moc"
