#include "ui/OndrelApp.h"

#include "localization/DebugLog.h"
#include "localization/LocaleSettings.h"
#include "speed/SpeedTest.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/ButtonKeys.h"
#include "ui/MainWindow.h"
#include "wifi/LocationAuth.h"

#include <QApplication>
#include <QTimer>

namespace ondrel {

OndrelApp::OndrelApp()
    : prefs_(Prefs::shared()), store_(std::make_unique<WiFiStore>()),
      location_(std::make_unique<LocationAuth>()), builtLanguage_(prefs_.language())
{
    QApplication::setQuitOnLastWindowClosed(true);
    qApp->installEventFilter(new ButtonKeys(this));
    applyLayoutDirection();
    // The language preference keys every window's content; the reaction
    // runs after the change has been stored and applied.
    connect(&prefs_, &Prefs::willChange, this, &OndrelApp::preferencesChanged, Qt::QueuedConnection);
}

OndrelApp::~OndrelApp()
{
    // Windows go before the objects they show.
    delete history_;
    delete settings_;
    delete mainWindow_;
}

MainWindow* OndrelApp::mainWindow() const
{
    return mainWindow_;
}

void OndrelApp::applyLayoutDirection()
{
    QApplication::setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft : Qt::LeftToRight);
}

void OndrelApp::start()
{
    if (mainWindow_) {
        mainWindow_->raise();
        mainWindow_->activateWindow();
        return;
    }
    mainWindow_ = new MainWindow(*this);
    mainWindow_->setAttribute(Qt::WA_DeleteOnClose);
    mainWindow_->show();
    if (!startupDone_) {
        startupDone_ = true;
        QTimer::singleShot(0, this, &OndrelApp::runStartupTask);
    }
}

void OndrelApp::runStartupTask()
{
    debugLog(QStringLiteral("task 開始 status=%1 enabled=%2")
                 .arg(location_->status())
                 .arg(location_->servicesEnabled() ? QStringLiteral("true") : QStringLiteral("false")));
    if (location_->status() == 0)
        location_->requestPermission();
    debugLog(QStringLiteral("request 後 status=%1").arg(location_->status()));
    store_->scan();
    Q_EMIT started();
}

void OndrelApp::scan()
{
    store_->scan();
}

void OndrelApp::preferencesChanged()
{
    if (prefs_.language() == builtLanguage_)
        return;
    builtLanguage_ = prefs_.language();
    rebuildWindows();
}

void OndrelApp::rebuildWindows()
{
    applyLayoutDirection();
    if (mainWindow_) {
        mainWindow_->setLayoutDirection(QApplication::layoutDirection());
        mainWindow_->rebuild();
    }
    rebuildSingle(history_, historyFactory_);
    rebuildSingle(settings_, settingsFactory_);
}

void OndrelApp::showHistory()
{
    showSingle(history_, historyFactory_);
}

void OndrelApp::showSettings()
{
    showSingle(settings_, settingsFactory_);
}

void OndrelApp::showSingle(QPointer<QWidget>& window, const WindowFactory& factory)
{
    if (!window) {
        if (!factory)
            return;
        window = factory(*this);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void OndrelApp::rebuildSingle(QPointer<QWidget>& window, const WindowFactory& factory)
{
    if (!window || !factory)
        return;
    // A new window in the new language, where the old one was.
    const QRect geometry = window->geometry();
    const bool visible = window->isVisible();
    QWidget* old = window;
    window = factory(*this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setGeometry(geometry);
    if (visible)
        window->show();
    // Closing the old window after the new one is shown keeps the
    // application from quitting on its last window.
    old->close();
}

} // namespace ondrel
