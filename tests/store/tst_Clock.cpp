// The system clock's repeating timers, in real time, since they are what
// every virtual clock in the other tests stands in for: they fire at their
// interval, not rounded to whole seconds, and stop when they go.

#include "store/Clock.h"

#include <QElapsedTimer>
#include <QTest>

using namespace ondrel;
using namespace std::chrono_literals;

class tst_Clock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void repeatsAtItsInterval()
    {
        int fired = 0;
        qint64 fifth = 0; // ms from the start to the fifth firing
        QElapsedTimer elapsed;
        elapsed.start();
        auto timer = Clock::system().repeat(50ms, [&] {
            if (++fired == 5)
                fifth = elapsed.elapsed();
        });
        // Five firings take five intervals: not less, as a timer rounded down
        // to nothing would, and far less than whole seconds each.
        QTRY_VERIFY_WITH_TIMEOUT(fired >= 5, 4000);
        QVERIFY2(fifth >= 245 && fifth < 2000, qPrintable(QString::number(fifth)));
        timer.reset();
        const int before = fired;
        QTest::qWait(120);
        QCOMPARE(fired, before);
    }
};

QTEST_GUILESS_MAIN(tst_Clock)
#include "tst_Clock.moc"
