// The speed test sheet: idle with and without stored results, whole tests
// against a loopback server on a virtual clock (stored under the network
// current when they finish, or not), Stop, a refused test, and the keys.

#include "tests/speed/SpeedTestServer.h"
#include "tests/store/ManualClock.h"
#include "tests/ui/UiTestKit.h"

#include "speed/SpeedFormat.h"
#include "ui/ElidedLabel.h"
#include "ui/SpeedTestView.h"
#include "ui/UnitText.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;
using Phase = SpeedTest::Phase;

namespace {

QString text(QWidget& view, const char* name)
{
    return find<QLabel>(view, name)->text();
}

QStringList texts(QWidget& view, std::initializer_list<const char*> names)
{
    QStringList all;
    for (const char* name : names)
        all << text(view, name);
    return all;
}

bool shown(QWidget& view, const char* name)
{
    return find(view, name)->isVisibleTo(&view);
}

} // namespace

class SpeedTestViewTest : public QObject {
    Q_OBJECT
    std::unique_ptr<HistoryFile> file_;
    std::unique_ptr<Room> room_;
    SpeedTestServer server_;
    ManualClock clock_;

    std::unique_ptr<SpeedTest> quickTest()
    {
        SpeedTest::Options options;
        options.baseUrl = server_.url();
        options.download = options.upload = 60s; // ended by the virtual clock
        options.warmUp = options.minimumWindow = 0ms;
        options.tick = 1s; // few ticks: each one redraws the view
        options.clock = &clock_;
        return std::make_unique<SpeedTest>(options);
    }
    // Runs a started test's throughput phases on the virtual clock: ticks
    // until bytes have flowed, then on to the phase's end.
    void runThrough(SpeedTest& test)
    {
        const auto tick = [&] {
            clock_.advance(1s);
            return test.liveMbps() > 0;
        };
        for (Phase::Kind kind : {Phase::download, Phase::upload}) {
            QTRY_VERIFY(test.phase().kind() == kind);
            QTRY_VERIFY(tick());
            clock_.advance(60s);
        }
    }

private Q_SLOTS:
    void initTestCase() { useEnglish(); }
    // An empty history, and radios joined to "Home", scanned.
    void init()
    {
        file_ = std::make_unique<HistoryFile>();
        room_ = std::make_unique<Room>(
            QJsonObject{{"current", QJsonObject{{"bssid", "a4:2b:b0:10:00:01"}}},
                        {"networks", accessPoints({"Home|a4:2b:b0:10:00:01|-48|36|wpa2Personal|50",
                                                   "Other|f0:9f:c2:48:00:30|-67|6|open|24"})}});
        room_->scan();
    }
    void cleanup() { room_.reset(); }

    // Idle, the sheet shows the current network's last stored result, as
    // it arrives, or that there is none; the count needs two of them.
    void idle()
    {
        SpeedTestView view(room_->store, file_->history);
        // A dash, not a speed of zero; no Measured row.
        QCOMPARE(texts(view, {"speedFigure", "speedPhase", "speedValue0"}),
                 (QStringList{"–", "Mbps · Not measured yet", ""}));
        QVERIFY(!shown(view, "speedValue5"));
        QVERIFY(find<QPushButton>(view, "startButton")->isEnabled());
        QVERIFY(!shown(view, "stopButton") && !shown(view, "speedCount"));
        QCOMPARE(read(find<ElidedLabel>(view, "speedSubtitle")->text()), QStringLiteral("Home"));
        QSignalSpy history(&view, &SpeedTestView::historyRequested);
        find<QPushButton>(view, "showHistoryButton")->click();
        QCOMPARE(history.size(), 1);

        file_->history.add(measurement(QStringLiteral("Home"), 5, 87.46));
        file_->history.add(measurement(QStringLiteral("Other"), 1, 5)); // another network's is not shown
        // Download, upload (2000 / 87.46), latency, jitter, data: each figure in its own row.
        QCOMPARE(
            texts(view, {"speedFigure", "speedPhase", "speedValue0", "speedValue1", "speedValue2",
                         "speedValue3", "speedValue4", "speedLoaded0", "speedLoaded1", "speedLoaded2"}),
            (QStringList{mbps(87.46), "Mbps · Download", mbps(87.46) + " Mbps", mbps(2000 / 87.46) + " Mbps",
                         "14 ms", "3 ms", "234 MB", "62 ms", "118 ms", "Fair · +104 ms under load"}));
        QVERIFY(shown(view, "speedValue5") && !shown(view, "speedCount"));
        SpeedEntry earlier = measurement(QStringLiteral("Home"), 9, 50); // stored before these were measured
        earlier.downloadLatency = earlier.uploadLatency = std::nullopt;
        earlier.date = QDateTime::currentDateTimeUtc();
        file_->history.add(earlier);
        QCOMPARE(texts(view, {"speedCount", "speedLoaded0", "speedLoaded1", "speedLoaded2"}),
                 (QStringList{"2 for this network", "—", "—", "—"}));
    }

    // While downloading and uploading, the line under the phase follows the
    // latency under load of that phase; the result's rows show each phase's
    // (the download's queue holds 100 ms over a 30 ms round trip) and the grade.
    void latencyUnderLoad()
    {
        const auto restore = qScopeGuard([this] {
            server_.setLatencyDelay(0ms);
            server_.setQueue(SpeedTestServer::Kind::download, 0, 10e6);
            for (auto kind : {SpeedTestServer::Kind::download, SpeedTestServer::Kind::upload})
                server_.setAnswerLimit(kind, -1);
        });
        server_.setLatencyDelay(30ms);
        server_.setQueue(SpeedTestServer::Kind::download, 1'000'000, 10e6);
        for (auto kind : {SpeedTestServer::Kind::download, SpeedTestServer::Kind::upload})
            server_.setAnswerLimit(kind, 1); // then the streams stall, the queue full
        SpeedTestView view(room_->store, file_->history, quickTest());
        view.test().start();
        QStringList live;
        for (auto [phase, kind] : {std::pair(Phase::download, SpeedTestServer::Kind::download),
                                   std::pair(Phase::upload, SpeedTestServer::Kind::upload)}) {
            QTRY_VERIFY(view.test().phase().kind() == phase);
            QCOMPARE(text(view, "speedLiveLatency"), QString()); // nothing measured in this phase yet
            QTRY_VERIFY(server_.stats().requests[size_t(kind)] > SpeedTest::streams);
            clock_.advance(400ms);
            QTRY_VERIFY(view.test().liveLatencyMs());
            live.append(text(view, "speedLiveLatency"));
            // The jump ends the phase and, at once, the next one's warm-up: its first request
            // goes out while (in real time) the download's queue is still full.
            if (kind == SpeedTestServer::Kind::download)
                server_.setQueue(SpeedTestServer::Kind::download, 0, 10e6);
            clock_.advance(60s);
        }
        QTRY_COMPARE(view.test().phase().kind(), Phase::done);
        const SpeedResult result = view.test().result();
        QVERIFY(result.downloadLatency && result.uploadLatency);
        QVERIFY2(result.downloadLatency->latencyMs >= 130 && result.uploadLatency->latencyMs >= 30 &&
                     result.uploadLatency->latencyMs < 80,
                 qPrintable(QString::number(result.uploadLatency->latencyMs)));
        // One answer each: the live line showed the figure the phase kept.
        QCOMPARE(live,
                 QStringList({"Latency under load: " + millisecondsText(result.downloadLatency->latencyMs),
                              "Latency under load: " + millisecondsText(result.uploadLatency->latencyMs)}));
        QCOMPARE(texts(view, {"speedLoaded0", "speedLoaded1", "speedLoaded2", "speedLiveLatency"}),
                 (QStringList{millisecondsText(result.downloadLatency->latencyMs),
                              millisecondsText(result.uploadLatency->latencyMs),
                              QStringLiteral("Fair · +%1 ms under load")
                                  .arg(result.downloadLatency->latencyMs - result.latencyMs),
                              QString()}));
    }

    // Escape asks to close, Return (the window's default button) starts. Stored under the network current
    // at the end, unless the network was left meanwhile; a history that
    // cannot be written says so; Stop returns to idle; a refused test shows
    // the error in red and offers Start again.
    void aWholeTest_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("stored");
        QTest::newRow("stored") << "" << true;
        QTest::newRow("the network left meanwhile") << "leave" << false;
        QTest::newRow("the history cannot be written: kept in memory") << "fifo" << true;
        QTest::newRow("stopped") << "stop" << false;
        QTest::newRow("the server refuses") << "refuse" << false;
    }
    void aWholeTest()
    {
        QFETCH(QString, event);
        file_ = std::make_unique<HistoryFile>(event == "fifo");
        server_.setRefusing(event == "refuse");
        QDialog window; // as the main window hosts it
        auto* view_ = new SpeedTestView(room_->store, file_->history, quickTest(), &window);
        SpeedTestView& view = *view_;
        (new QVBoxLayout(&window))->addWidget(view_);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy close(&view, &SpeedTestView::closeRequested);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(close.size(), 1);
        QTest::keyClick(&window, Qt::Key_Return);
        QTRY_VERIFY(find<QPushButton>(view, "stopButton")->isVisible());
        if (event == "leave") {
            room_->store.disconnect();
            QTRY_COMPARE(find<ElidedLabel>(view, "speedSubtitle")->text(), QStringLiteral("Not connected"));
        }
        if (event == "stop") {
            find<QPushButton>(view, "stopButton")->click();
            QCOMPARE(view.test().phase().kind(), Phase::idle);
        } else if (event == "refuse") {
            QTRY_COMPARE_WITH_TIMEOUT(view.test().phase().kind(), Phase::failed, 20000);
            server_.setRefusing(false);
        } else {
            runThrough(view.test());
            QTRY_COMPARE(view.test().phase().kind(), Phase::done);
        }
        QVERIFY(shown(view, "startButton") && !shown(view, "stopButton"));
        QCOMPARE(find<QPushButton>(view, "startButton")->isEnabled(), event != "leave"); // nothing to measure
        QFETCH(bool, stored);
        QCOMPARE(file_->history.entries().size(), stored ? 1 : 0);
        auto* note = find<QLabel>(view, "speedNote");
        if (event == "fifo")
            QCOMPARE(note->text(),
                     "This result could not be saved to the history. " + file_->history.fileProblem());
        if (event == "refuse") {
            QCOMPARE(texts(view, {"speedPhase", "speedNote"}),
                     (QStringList{"Mbps · The test did not finish", "Could not connect to the server."}));
            QCOMPARE(view.announcement(), note->text()); // read out
            const QColor color = note->palette().color(QPalette::WindowText);
            QVERIFY(color.red() > 150 && color.green() < 100);
        }
        if (!stored)
            return;
        // Built from the test's result and the store's status (tst_SpeedTest checks every field).
        const SpeedEntry& e = file_->history.entries().first();
        QCOMPARE(std::tuple(e.ssid, e.rssi, e.downloadMbps),
                 std::tuple(QStringLiteral("Home"), -48, view.test().result().downloadMbps));
        // The counting animation heads for the stored download.
        QCOMPARE(std::pair(text(view, "speedPhase"), view.targetFigure()),
                 std::pair(QStringLiteral("Mbps · Download"), mbps(e.downloadMbps)));
        QVERIFY2(
            view.announcement().startsWith("The test finished: download " + mbps(e.downloadMbps) + " Mbps, "),
            qPrintable(view.announcement()));
        QVERIFY(shown(view, "speedValue5"));
    }
};

QTEST_MAIN(SpeedTestViewTest)
#include "tst_SpeedTestView.moc"
