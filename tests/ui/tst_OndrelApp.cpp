// The windowed application: one main window with its menus, the start-up
// task (log lines, permission request, first scan), single-instance
// windows, and the rebuild on a language change without a new scan.

#include "tests/ui/UiTestKit.h"

#include "app/DebugLogFile.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/OndrelApp.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

using namespace ondrel;

namespace {

QTemporaryDir home;

// The simulated computer: the demo's networks, and a user who has not yet
// been asked for the location permission and grants it when asked.
void prepareEnvironment()
{
    QFile file(home.filePath(QStringLiteral("scenario.json")));
    const QJsonObject location{{"status", 0}, {"answer", 3}, {"answerDelayMs", 300}};
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(testing::demoRoom({{"location", location}})).toJson()) < 0)
        qFatal("cannot write the scenario");
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("ONDREL_WIFI_SIMULATION", file.fileName().toUtf8());
    qputenv("ONDREL_LOG", home.filePath(QStringLiteral("ondrel.log")).toUtf8());
}

// A menu's items with their keys.
QStringList menuTexts(QAction* menu)
{
    QStringList texts;
    for (QAction* action : menu->menu()->actions()) {
        if (!action->isSeparator())
            texts.append(action->text() + QLatin1Char('|') + action->shortcut().toString());
    }
    return texts;
}

// The windows on screen: the main window and the single-instance windows.
qsizetype shownWindows()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::count_if(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); });
}

} // namespace

class TestOndrelApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Ondrel"));
        QCoreApplication::setApplicationName(QStringLiteral("Ondrel"));
        installDebugLogFile();
        Prefs::shared().setLanguage(AppLanguage::en);
    }

    void application()
    {
        OndrelApp app;
        QSignalSpy started(&app, &OndrelApp::started);
        app.start();
        app.start();
        QCOMPARE(shownWindows(), 1);
        MainWindow* window = app.mainWindow();

        // The start-up task: two log lines, the request while not yet asked,
        // and the first scan.
        QVERIFY(started.wait(5000));
        QCOMPARE(started.count(), 1);
        QFile log(home.filePath(QStringLiteral("ondrel.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(log.readAll());
        QVERIFY2(lines.contains(QStringLiteral("task 開始 status=0 enabled=true\n")), qPrintable(lines));
        QVERIFY2(lines.contains(QStringLiteral("request 後 status=0\n")), qPrintable(lines));
        QTRY_COMPARE(app.location().status(), 3);
        QTRY_VERIFY(app.store().lastScan().has_value());

        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menuTexts(menus[0]), (QStringList{"Settings…|Ctrl+,", "Quit|Ctrl+Q"}));
        QCOMPARE(menuTexts(menus[1]),
                 (QStringList{"Scan\tCtrl+R|", "Speed Test|Ctrl+T", "Speed Test History|Ctrl+Y"}));

        // Single-instance windows, built by their factories.
        int built = 0;
        app.setHistoryWindowFactory([&built](OndrelApp&) -> QWidget* {
            ++built;
            return new QLabel(LocaleSettings::isJapaneseCache ? QStringLiteral("ja")
                                                              : QStringLiteral("other"));
        });
        app.showHistory();
        app.showHistory();
        QCOMPARE(built, 1);
        QPointer<QWidget> history = app.historyWindow();
        QVERIFY(history && history->isVisible());

        // A language change rebuilds every window, in the new language and
        // direction, without running the start-up task or scanning again.
        const std::optional<QDateTime> lastScan = app.store().lastScan();
        QPointer<ContentView> content = window->content();
        Prefs::shared().setLanguage(AppLanguage::ja);
        QTRY_VERIFY(!content);
        QCOMPARE(window->menuBar()->actions().at(1)->text(), QStringLiteral("表示"));
        QTRY_VERIFY(!history);
        QCOMPARE(built, 2);
        QVERIFY(app.historyWindow()->isVisible());
        QCOMPARE(static_cast<QLabel*>(app.historyWindow())->text(), QStringLiteral("ja"));

        Prefs::shared().setLanguage(AppLanguage::he);
        QTRY_COMPARE(QApplication::layoutDirection(), Qt::RightToLeft);
        QCOMPARE(window->content()->layoutDirection(), Qt::RightToLeft);
        Prefs::shared().setLanguage(AppLanguage::en);
        QTRY_COMPARE(QApplication::layoutDirection(), Qt::LeftToRight);
        QCOMPARE(window->content()->layoutDirection(), Qt::LeftToRight);
        QCOMPARE(started.count(), 1);
        QCOMPARE(app.store().lastScan(), lastScan);
        QVERIFY(!app.store().isScanning());
        QCOMPARE(shownWindows(), 2);
    }
};

int main(int argc, char** argv)
{
    prepareEnvironment();
    QApplication app(argc, argv);
    TestOndrelApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_OndrelApp.moc"
