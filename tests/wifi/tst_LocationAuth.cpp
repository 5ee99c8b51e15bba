// Location permission: a request answered later on the main loop, a change
// made in the system settings, failures that only log.

#include "app/DebugLogFile.h"
#include "wifi/LocationAuth.h"
#include "wifi/SimulatedLocationProvider.h"

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

    // The user's answer, one log line; only "always" (3) counts, and updates
    // run until the user has decided (anything but 0).
    void request()
    {
        for (int answer : {0, 2, 3, 4}) {
            QFile::remove(dir_.filePath(QStringLiteral("log.txt")));
            SimulatedLocationProvider provider(0, answer, 0ms, true);
            LocationAuth auth(&provider);
            QSignalSpy changed(&auth, &LocationAuth::statusChanged);
            auth.requestPermission();
            QVERIFY(provider.isUpdating() && auth.status() == 0);
            QTRY_VERIFY(log().endsWith(QStringLiteral("許可の状態が変わりました status=%1\n").arg(answer)));
            QCOMPARE(log().count(QLatin1Char('\n')), 1);
            QCOMPARE(QList<QVariantList>(changed),
                     answer ? QList<QVariantList>{{answer}} : QList<QVariantList>());
            QCOMPARE(auth.isAuthorized(), answer == 3);
            QCOMPARE(provider.isUpdating(), answer == 0);
            // A failure only logs, shown as text; a change in the system
            // settings is read at once and applied on a later turn.
            provider.failUpdates(QStringLiteral("no\x1b fix"));
            QVERIFY(log().endsWith(QStringLiteral("位置情報の失敗: no\\x1b fix\n")));
            provider.changeStatus(1);
            QCOMPARE(auth.status(), answer);
            QVERIFY(changed.wait());
            QCOMPARE(changed.last(), QVariantList{1});
            QVERIFY(auth.status() == 1 && LocationAuth(&provider).status() == 1);
        }
    }
};

QTEST_GUILESS_MAIN(tst_LocationAuth)
#include "tst_LocationAuth.moc"
