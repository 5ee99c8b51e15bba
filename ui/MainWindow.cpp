#include "ui/MainWindow.h"

#include "localization/Lookup.h"
#include "ui/ContentView.h"
#include "ui/OndrelApp.h"
#include "ui/ScreenFit.h"
#include "ui/Symbols.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace ondrel {

namespace {

// The platform's keys for a standard command; where the platform has none
// (a bare session without a desktop theme), the key most Linux desktop
// programs use.
QList<QKeySequence> platformKeys(QKeySequence::StandardKey key, const QKeySequence& fallback)
{
    const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    return keys.isEmpty() ? QList<QKeySequence>{fallback} : keys;
}

} // namespace

MainWindow::MainWindow(OndrelApp& app, QWidget* parent) : QMainWindow(parent), app_(app)
{
    // The product name, the same in every language.
    setWindowTitle(QStringLiteral("Ondrel"));
    setWindowIcon(symbolIcon(Symbol::wifi));
    rebuild();
    fitToScreen(this, kDefaultSize);
    // Ctrl+W closes this window as it closes the others; the program ends
    // with its last window.
    auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::rebuild()
{
    auto* content = new ContentView(app_.prefs(), app_.store(), app_.location(), this);
    // setCentralWidget() deletes the previous content with its sheets.
    setCentralWidget(content);
    content_ = content;
    connect(content, &ContentView::historyRequested, &app_, &OndrelApp::showHistory);
    content->setSpeedTestFactory(app_.speedTestFactory());
    setMinimumSize(content->minimumSizeHint().boundedTo(screenRoom(this)));
    buildMenus();
}

void MainWindow::buildMenus()
{
    menuBar()->clear();

    QMenu* file = menuBar()->addMenu(L("ファイル", "&File"));
    // The radio, on or off: the way to turn Wi-Fi off, and on again.
    file->addAction(content_->powerAction());
    file->addAction(content_->joinHiddenAction());
    file->addSeparator();
    QAction* settings = file->addAction(L("設定…", "Settings…"));
    settings->setShortcuts(platformKeys(QKeySequence::Preferences, QKeySequence(Qt::CTRL | Qt::Key_Comma)));
    settings->setEnabled(app_.hasSettingsWindow());
    connect(settings, &QAction::triggered, &app_, &OndrelApp::showSettings);
    file->addSeparator();
    QAction* quit = file->addAction(L("終了", "Quit"));
    quit->setShortcuts(platformKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);

    QMenu* view = menuBar()->addMenu(L("表示", "&View"));
    // The content's own actions, so that each key has one binding (two
    // bindings of one key would cancel each other out): Ctrl+R, enabled while
    // no scan runs, and Ctrl+T, enabled while there is a network to measure.
    view->addAction(content_->rescanAction());
    view->addAction(content_->speedTestAction());
    QAction* history = view->addAction(L("速度テストの記録", "Speed Test History"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    history->setEnabled(app_.hasHistoryWindow());
    connect(history, &QAction::triggered, &app_, &OndrelApp::showHistory);
}

} // namespace ondrel
