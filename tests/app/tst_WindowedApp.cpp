// The windowed application's own windows: the history and the settings open
// at their sizes where the screen has room and fitted to it where it has not,
// and speed tests are made for the speed test window.

#include "tests/store/SimulatedRadios.h"

#include "app/Modes.h"
#include "ui/OndrelApp.h"
#include "ui/ScreenFit.h"
#include "ui/SettingsView.h"
#include "ui/SpeedHistoryView.h"
#include "ui/ToolWindow.h"

#include <QApplication>
#include <QTest>

using namespace ondrel;

class TestWindowedApp : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private Q_SLOTS:
    void initTestCase()
    {
        testing::useEnglish();
        QFile scenario(home_.filePath(QStringLiteral("scenario.json")));
        QVERIFY(scenario.open(QIODevice::WriteOnly) && scenario.write("{}") == 2);
        scenario.close();
        qputenv("ONDREL_WIFI_SIMULATION", QFile::encodeName(scenario.fileName()));
    }

    void windowsOpenAtTheirSizes()
    {
        OndrelApp app;
        installWindows(app);
        // The window's speed test takes the length the environment asks for, as "--speedtest" does.
        qputenv("ONDREL_SPEEDTEST_DURATION", "2");
        const std::unique_ptr<SpeedTest> test = app.speedTestFactory()();
        qunsetenv("ONDREL_SPEEDTEST_DURATION");
        QVERIFY(test);
        const SpeedTest::Options& o = test->options();
        const auto length =
            std::chrono::duration_cast<std::chrono::milliseconds>(o.download + o.upload + 2 * o.warmUp);
        QVERIFY2(length.count() >= 1996 && length.count() <= 2004,
                 qPrintable(QString::number(length.count())));
        app.showHistory();
        app.showSettings();
        const auto content = [](QWidget* window) {
            return static_cast<ToolWindow*>(window)->centralWidget();
        };
        // The test screen (800 × 600) is narrower than the history's 1020 and lower than the settings' 600.
        const auto fitted = [](QWidget* window, QSize preferred) {
            return preferred.expandedTo(window->minimumSize()).boundedTo(screenRoom(window));
        };
        QWidget* history = app.historyWindow();
        QVERIFY(qobject_cast<SpeedHistoryView*>(content(history)));
        QCOMPARE(history->size(), fitted(history, QSize(1020, 500)));
        QWidget* settings = app.settingsWindow();
        QVERIFY(qobject_cast<SettingsView*>(content(settings)));
        QCOMPARE(settings->size(), fitted(settings, QSize(SettingsView::width, 600)));
        QCOMPARE(settings->width(), SettingsView::width);
    }
};

QTEST_MAIN(TestWindowedApp)
#include "tst_WindowedApp.moc"
