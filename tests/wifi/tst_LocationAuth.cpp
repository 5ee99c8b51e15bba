// Location permission: a request answered later on the main loop, a change made in the system settings, and
// the system's own, which Linux always grants.

#include "wifi/LocationAuth.h"
#include "wifi/simulation/SimulatedLocationProvider.h"

#include <QSignalSpy>
#include <QTest>

using namespace ondrel;
using namespace std::chrono_literals;

class tst_LocationAuth : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The user's answer; only "always" (3) counts, and updates run until the user has decided (anything but
    // 0).
    void request()
    {
        for (int answer : {0, 2, 3, 4}) {
            SimulatedLocationProvider provider(0, answer, 0ms, true);
            LocationAuth auth(&provider);
            QSignalSpy asked(&provider, &LocationProvider::authorizationChanged);
            QSignalSpy changed(&auth, &LocationAuth::statusChanged);
            auth.requestPermission();
            QVERIFY(provider.isUpdating() && auth.status() == 0);
            QVERIFY(asked.wait());
            QCoreApplication::sendPostedEvents(); // the answer is applied on a later turn
            QCOMPARE(QList<QVariantList>(changed),
                     answer ? QList<QVariantList>{{answer}} : QList<QVariantList>());
            QCOMPARE(auth.isAuthorized(), answer == 3);
            QCOMPARE(provider.isUpdating(), answer == 0);
            // A change made in the system settings: read at once, applied later.
            provider.changeStatus(1);
            QCOMPARE(auth.status(), answer);
            QVERIFY(changed.wait());
            QVERIFY(auth.status() == 1 && LocationAuth(&provider).status() == 1);
        }
        // Once decided, asking again changes nothing, even where this program never asked.
        SimulatedLocationProvider decided(2, 3, 0ms, true);
        decided.requestWhenInUse();
        QTest::qWait(0); // where a request would be answered
        QCOMPARE(decided.authorizationStatus(), 2);
    }

    // Without a simulated computer the permission is the system's: granted ("always", not "when in use")
    // before anything is asked, and asking changes nothing.
    void systemGrantsAtOnce()
    {
        qunsetenv("ONDREL_WIFI_SIMULATION");
        LocationAuth auth;
        QSignalSpy changed(&auth, &LocationAuth::statusChanged);
        QCOMPARE(auth.status(), 3);
        QVERIFY(auth.isAuthorized() && auth.servicesEnabled());
        auth.requestPermission();
        QTest::qWait(0);
        QVERIFY(changed.isEmpty() && auth.status() == 3);
    }
};

QTEST_GUILESS_MAIN(tst_LocationAuth)
#include "tst_LocationAuth.moc"
