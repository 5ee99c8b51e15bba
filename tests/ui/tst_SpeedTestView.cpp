// The speed test sheet: its idle states with and without stored results
// (and their count), a whole test against a loopback server (stored under the
// network current when it finishes), Stop, a failed test, and the keys.

#include "tests/speed/SpeedTestServer.h"
#include "tests/ui/UiTestKit.h"

#include "localization/LocaleSettings.h"
#include "speed/SpeedFormat.h"
#include "speed/SpeedHistory.h"
#include "speed/SpeedTest.h"
#include "store/WiFiStore.h"
#include "ui/ElidedLabel.h"
#include "ui/SpeedTestView.h"
#include "wifi/SsidText.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <sys/stat.h>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {

QJsonObject connectedScenario()
{
    return {{"current", QJsonObject{{"bssid", "a4:2b:b0:10:00:01"}}},
            {"networks", accessPoints({"Home|a4:2b:b0:10:00:01|-48|36|wpa2Personal|50",
                                       "Other|f0:9f:c2:48:00:30|-67|6|open|24"})}};
}

// Quick phases against `baseUrl`.
std::unique_ptr<SpeedTest> quickTest(const QByteArray& baseUrl)
{
    SpeedTest::Options options;
    options.baseUrl = baseUrl;
    options.download = 600ms;
    options.upload = 600ms;
    options.warmUp = 100ms;
    options.tick = 50ms;
    options.minimumWindow = 100ms;
    options.latencyTimeout = 5s;
    options.transferTimeout = 10s;
    return std::make_unique<SpeedTest>(options);
}

QString text(QWidget& view, const char* name)
{
    return view.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

} // namespace

class SpeedTestViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<Room> room_;
    WiFiStore* store_ = nullptr;
    std::unique_ptr<SpeedHistory> history_;

    void makeStore(const QJsonObject& scenario)
    {
        room_ = std::make_unique<Room>(scenario);
        store_ = &room_->store;
        room_->scan();
    }

private Q_SLOTS:
    void initTestCase() { useEnglish(); }
    void init()
    {
        QFile::remove(dir_.filePath(QStringLiteral("history.json")));
        history_ = std::make_unique<SpeedHistory>(dir_.filePath(QStringLiteral("history.json")));
    }
    void cleanup()
    {
        room_.reset();
        history_.reset();
        LocaleSettings::apply(AppLanguage::en);
    }

    void idleWithoutResult()
    {
        makeStore(connectedScenario());
        SpeedTestView view(*store_, *history_);
        QCOMPARE(text(view, "speedFigure"), QStringLiteral("0.0"));
        QCOMPARE(text(view, "speedPhase"), QStringLiteral("Mbps · Not measured yet"));
        for (int row = 0; row < 5; ++row)
            QCOMPARE(view.findChild<QLabel*>(QStringLiteral("speedValue%1").arg(row))->text(), QString());
        QVERIFY(
            !view.findChild<QLabel*>(QStringLiteral("speedValue5"))->isVisibleTo(&view)); // no Measured row
        auto* bar = view.findChild<QProgressBar*>(QStringLiteral("speedProgress"));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(static_cast<QGraphicsOpacityEffect*>(bar->graphicsEffect())->opacity(), 0.25);
        QVERIFY(text(view, "speedNote").contains(QStringLiteral("(speed.cloudflare.com)")));
        QVERIFY(view.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled());
        QVERIFY(!view.findChild<QPushButton*>(QStringLiteral("stopButton"))->isVisibleTo(&view));
        QVERIFY(!view.findChild<QLabel*>(QStringLiteral("speedCount"))->isVisibleTo(&view));
    }

    void hostileNameInTheSubtitle()
    {
        makeStore(QJsonObject{{"current", QJsonObject{{"bssid", "b1"}}},
                              {"networks", accessPoints({"\u202eemoH<b>|b1|-48|36|wpa2Personal|50"})}});
        SpeedTestView view(*store_, *history_);
        const auto* subtitle = view.findChild<ElidedLabel*>(QStringLiteral("speedSubtitle"));
        QCOMPARE(subtitle->text(), screenName(QStringLiteral("\u202eemoH<b>")));
        QTextDocument tip;
        tip.setHtml(subtitle->toolTip());
        QVERIFY2(tip.toPlainText().contains(QStringLiteral("E2 80 AE 65 6D 6F 48 3C 62 3E")),
                 qPrintable(subtitle->toolTip()));
    }

    void idleShowsTheNetworksLastStoredResult()
    {
        makeStore(connectedScenario());
        history_->add(measurement(QStringLiteral("Home"), 5, 87.46));
        history_->add(measurement(QStringLiteral("Other"), 1, 5)); // another network's result is not shown
        SpeedTestView view(*store_, *history_);
        QCOMPARE(text(view, "speedFigure"), mbps(87.46));
        QCOMPARE(text(view, "speedPhase"), QStringLiteral("Mbps · Download"));
        QCOMPARE(text(view, "speedValue0"), mbps(87.46) + QStringLiteral(" Mbps"));
        QCOMPARE(text(view, "speedValue2"), QStringLiteral("14 ms"));
        QCOMPARE(text(view, "speedValue4"), QStringLiteral("234 MB"));
        QVERIFY(view.findChild<QLabel*>(QStringLiteral("speedValue5"))->isVisibleTo(&view));
        auto* bar = view.findChild<QProgressBar*>(QStringLiteral("speedProgress"));
        QCOMPARE(bar->value(), bar->maximum());
        // The count needs two results of this network.
        QVERIFY(!view.findChild<QLabel*>(QStringLiteral("speedCount"))->isVisibleTo(&view));
        history_->add(measurement(QStringLiteral("Home"), 9, 50));
        SpeedTestView again(*store_, *history_);
        QCOMPARE(text(again, "speedCount"), QStringLiteral("2 for this network"));
    }

    void withoutANetworkStartIsDisabled()
    {
        QJsonObject scenario = connectedScenario();
        scenario.remove(QStringLiteral("current"));
        makeStore(scenario);
        SpeedTestView view(*store_, *history_);
        QCOMPARE(view.findChild<QWidget*>(QStringLiteral("speedSubtitle"))->property("text").toString(),
                 QString());
        QVERIFY(!view.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled());
        QSignalSpy history(&view, &SpeedTestView::historyRequested);
        view.findChild<QPushButton*>(QStringLiteral("showHistoryButton"))->click();
        QCOMPARE(history.size(), 1);
    }

    void japanesePhaseTextsUseTheFullWidthDot()
    {
        makeStore(connectedScenario());
        LocaleSettings::apply(AppLanguage::ja);
        SpeedTestView view(*store_, *history_);
        QCOMPARE(text(view, "speedPhase"), QStringLiteral("Mbps ・ まだ測定していません"));
    }

    void aWholeTestIsStoredUnderTheCurrentNetwork()
    {
        makeStore(connectedScenario());
        SpeedTestServer server;
        SpeedTestView view(*store_, *history_, quickTest(server.url()));
        view.show();
        QSignalSpy phases(&view.test(), &SpeedTest::phaseChanged);
        view.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QTRY_VERIFY(view.findChild<QPushButton*>(QStringLiteral("stopButton"))->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(view.test().phase().kind(), SpeedTest::Phase::done, 30000);

        QCOMPARE(history_->entries().size(), 1);
        const SpeedEntry& e = history_->entries().first();
        QCOMPARE(e.ssid, QStringLiteral("Home"));
        QCOMPARE(e.bssid, std::optional<QString>(QStringLiteral("a4:2b:b0:10:00:01")));
        QCOMPARE(e.band, 50);
        QCOMPARE(e.channel, 36);
        QCOMPARE(e.rssi, -48);
        QCOMPARE(e.date.toSecsSinceEpoch(),
                 view.test().result().date.toSecsSinceEpoch()); // stored in whole seconds
        QCOMPARE(e.downloadMbps, view.test().result().downloadMbps);
        QVERIFY(e.downloadMbps > 0);
        QCOMPARE(text(view, "speedPhase"), QStringLiteral("Mbps · Download"));
        QTRY_COMPARE(text(view, "speedFigure"), mbps(e.downloadMbps)); // after the counting animation
        QVERIFY(view.findChild<QLabel*>(QStringLiteral("speedValue5"))->isVisible());
        QVERIFY(view.findChild<QPushButton*>(QStringLiteral("startButton"))->isVisible());
    }

    void aTestFinishingAfterLeavingTheNetworkIsNotStored()
    {
        makeStore(connectedScenario());
        SpeedTestServer server;
        SpeedTestView view(*store_, *history_, quickTest(server.url()));
        view.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QVERIFY(view.test().phase().isRunning());
        QSignalSpy status(store_, &WiFiStore::statusChanged);
        store_->disconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!store_->status().ssid, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(view.test().phase().kind(), SpeedTest::Phase::done, 30000);
        QVERIFY(history_->entries().isEmpty());
        QCOMPARE(view.findChild<QWidget*>(QStringLiteral("speedSubtitle"))->property("text").toString(),
                 QString());
    }

    void aFailedTestShowsTheErrorInRed_data()
    {
        QTest::addColumn<bool>("refusing");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused connections") << true << "Could not connect to the server.";
        QTest::newRow("the network's 404 page for downloads")
            << false << "The server refused the test's request (HTTP 404).";
    }
    void aFailedTestShowsTheErrorInRed()
    {
        QFETCH(bool, refusing);
        QFETCH(QString, message);
        makeStore(connectedScenario());
        SpeedTestServer server;
        server.setRefusing(refusing);
        server.setErrorStatus(404);
        server.setBehaviour(SpeedTestServer::Kind::download, SpeedTestServer::Behaviour::error);
        SpeedTestView view(*store_, *history_, quickTest(server.url()));
        view.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(view.test().phase().kind(), SpeedTest::Phase::failed, 20000);
        QCOMPARE(text(view, "speedPhase"), QStringLiteral("Mbps · The test did not finish"));
        auto* note = view.findChild<QLabel*>(QStringLiteral("speedNote"));
        QCOMPARE(note->text(), message);
        const QColor color = note->palette().color(QPalette::WindowText);
        QVERIFY(color.red() > 150 && color.green() < 100);
        QVERIFY(view.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled()); // offered again
        QVERIFY(history_->entries().isEmpty());
    }

    void aResultThatCannotBeStoredSaysSo()
    {
        makeStore(connectedScenario());
        const QString path = dir_.filePath(QStringLiteral("fifo.json"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        SpeedHistory history(path);
        SpeedTestServer server;
        SpeedTestView view(*store_, history, quickTest(server.url()));
        view.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(view.test().phase().kind(), SpeedTest::Phase::done, 30000);
        QCOMPARE(text(view, "speedNote"),
                 QStringLiteral("This result could not be saved to the history. ") + history.fileProblem());
        QFile::remove(path);
    }

    void escapeClosesReturnStartsStopStops()
    {
        makeStore(connectedScenario());
        SpeedTestServer server;
        SpeedTestView view(*store_, *history_, quickTest(server.url()));
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy close(&view, &SpeedTestView::closeRequested);
        QTest::keyClick(&view, Qt::Key_Escape);
        QCOMPARE(close.size(), 1);
        QTest::keyClick(&view, Qt::Key_Return);
        QVERIFY(view.test().phase().isRunning());
        QTRY_VERIFY(view.findChild<QPushButton*>(QStringLiteral("stopButton"))->isVisible());
        // Stop returns to idle and stores nothing.
        view.findChild<QPushButton*>(QStringLiteral("stopButton"))->click();
        QCOMPARE(view.test().phase().kind(), SpeedTest::Phase::idle);
        QVERIFY(view.findChild<QPushButton*>(QStringLiteral("startButton"))->isVisible());
        QVERIFY(!view.findChild<QPushButton*>(QStringLiteral("stopButton"))->isVisible());
        QVERIFY(history_->entries().isEmpty());
    }
};

QTEST_MAIN(SpeedTestViewTest)
#include "tst_SpeedTestView.moc"
