// The log of a daemon's announcements that scans and joins wait on: a wait sees only what came after its
// mark, moves its mark past what it looked at, wakes for what another thread announces, and ends at once when
// cancelled.

#include "wifi/EventLog.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace ondrel;

namespace {

struct Event {
    int what = 0;
    quint64 sequence = 0;
};

const auto any = [](const Event&) { return true; };

} // namespace

class tst_EventLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void marksAndWaits()
    {
        EventLog<Event> log;
        log.push({10});
        log.push({20});
        quint64 mark = log.mark();
        QCOMPARE(mark, 2u);
        // Nothing new after the mark: the announcement just before it is old.
        QVERIFY(!log.waitForEvent(mark, any, QDeadlineTimer(0)));
        QCOMPARE(mark, 2u);
        quint64 from = 1;
        QCOMPARE(log.waitForEvent(from, any, QDeadlineTimer(0))->what, 20);
        // A filtered wait moves past the events it passed over.
        from = 0;
        const auto twenty = [](const Event& e) { return e.what == 20; };
        QCOMPARE(log.waitForEvent(from, twenty, QDeadlineTimer(0))->sequence, 2u);
        QCOMPARE(from, 2u);

        // A waiter blocked on another thread wakes for the event it waits for. It holds the log's lock from
        // looking at event 30 until it blocks, so event 40 comes while it waits.
        std::atomic<bool> looked = false;
        std::optional<Event> seen;
        log.push({30});
        std::thread waiter([&] {
            seen = log.waitForEvent(
                mark,
                [&](const Event& e) {
                    if (e.what == 30)
                        looked = true;
                    return e.what == 40;
                },
                QDeadlineTimer(std::chrono::hours(1))); // only the push can end it
        });
        while (!looked)
            std::this_thread::yield();
        log.push({40});
        waiter.join();
        QVERIFY(seen);
        QCOMPARE(std::pair(seen->what, seen->sequence), std::pair(40, quint64(4)));
        QCOMPARE(mark, 4u);

        // Only the latest 4096 are kept.
        for (int i = 0; i < 5000; ++i)
            log.push({i});
        from = 0;
        QCOMPARE(log.waitForEvent(from, any, QDeadlineTimer(0))->sequence, log.mark() - 4095);
    }

    void conditionsAndCancel()
    {
        EventLog<Event> log;
        std::atomic<bool> ready = false;
        QVERIFY(!log.waitUntil([&] { return ready.load(); }, QDeadlineTimer(0)));
        std::thread other([&] {
            ready = true;
            log.changed();
        });
        QVERIFY(log.waitUntil([&] { return ready.load(); }, QDeadlineTimer(10000)));
        other.join();

        // Cancelled: a blocked wait with a long deadline ends at once, and so do later ones. The waiter holds
        // the lock from looking at the event until it blocks, so cancel() comes while it waits.
        log.push({50});
        quint64 mark = log.mark() - 1;
        std::atomic<bool> waiting = false;
        std::optional<Event> seen{Event{}};
        std::thread waiter([&] {
            seen = log.waitForEvent(
                mark,
                [&](const Event&) {
                    waiting = true;
                    return false;
                },
                QDeadlineTimer(std::chrono::hours(1)));
        });
        while (!waiting)
            std::this_thread::yield();
        log.cancel();
        waiter.join();
        QVERIFY(!seen && log.isCancelled());
        QVERIFY(!log.waitUntil([] { return false; }, QDeadlineTimer(std::chrono::hours(1))));
    }
};

QTEST_GUILESS_MAIN(tst_EventLog)
#include "tst_EventLog.moc"
