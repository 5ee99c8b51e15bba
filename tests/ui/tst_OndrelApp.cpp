// The windowed application: one main window with its menus, the start-up task,
// single-instance windows, the rebuild on a language change without a new
// scan, and the keys every window answers: Return, Ctrl+W and Escape.

#include "tests/ui/UiTestKit.h"

#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/OndrelApp.h"
#include "ui/ToolWindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

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
}

} // namespace

class TestOndrelApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Ondrel"));
        QCoreApplication::setApplicationName(QStringLiteral("Ondrel"));
        Prefs::shared().setLanguage(AppLanguage::en);
    }

    void application()
    {
        OndrelApp app;
        app.setSettingsWindowFactory(
            [](OndrelApp&) -> QWidget* { return new QLabel(QStringLiteral("settings")); });
        QSignalSpy started(&app, &OndrelApp::started);
        app.start();
        MainWindow* window = app.mainWindow();
        app.start();
        QCOMPARE(app.mainWindow(), window);

        // The start-up task: the request while not yet asked, and the first scan.
        QVERIFY(started.wait(5000));
        QCOMPARE(started.count(), 1);
        QTRY_COMPARE(app.location().status(), 3);
        QTRY_VERIFY(app.store().lastScan().has_value());

        // The menus' items with their keys.
        QStringList items;
        for (QAction* menu : window->menuBar()->actions()) {
            for (QAction* action : menu->menu()->actions())
                items.append(action->text() + QLatin1Char('|') + action->shortcut().toString());
        }
        // Each key bound once: Ctrl+R and Ctrl+T are the window's own actions.
        QCOMPARE(items, (QStringList{"Wi-Fi|", "Connect to Hidden Network…|", "|", "Settings…|Ctrl+,", "|",
                                     "Quit|Ctrl+Q", "Scan|Ctrl+R", "Speed Test|Ctrl+T",
                                     "Speed Test History|Ctrl+Y"}));
        QVERIFY(window->content()->powerAction()->isChecked());

        // File > Settings… opens Settings, and only Settings.
        QAction* settingsItem = window->menuBar()->actions().at(0)->menu()->actions().at(3);
        QVERIFY(settingsItem->isEnabled());
        settingsItem->trigger();
        QVERIFY(app.settingsWindow() && app.settingsWindow()->isVisible());
        QCOMPARE(static_cast<QLabel*>(app.settingsWindow())->text(), QStringLiteral("settings"));
        QVERIFY(!app.historyWindow());

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
        QCOMPARE(app.mainWindow(), window);
    }

    // Return presses the focused button, once a key press, not while held
    // down or with a modifier; a tool window closes on Ctrl+W and Escape.
    void windowKeys()
    {
        OndrelApp app;
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("Press"), &window);
        QSignalSpy clicked(button, &QPushButton::clicked);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        button->setFocus();
        // A press shows at once (the button is down until the click).
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QApplication::sendEvent(button, &held);
        QTest::keyClick(button, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!button->isDown());
        QTest::keyClick(button, Qt::Key_Return);
        QVERIFY(button->isDown());
        QTRY_COMPARE(clicked.count(), 1);

        for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
            ToolWindow tool(new QLabel(QStringLiteral("content")), QSize(300, 200));
            tool.show();
            tool.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&tool));
            QCOMPARE(tool.size(), QSize(300, 200)); // the screen has room for it
            QTest::keySequence(&tool, key);
            QVERIFY2(!tool.isVisible(), qPrintable(key.toString()));
        }
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
