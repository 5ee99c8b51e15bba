#pragma once

#include "localization/AppLanguage.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace ondrel {

class LocationAuth;
class MainWindow;
class Prefs;
class SpeedTest;
class WiFiStore;

// The windowed application: the objects that live as long as it does (the
// shared preferences, one network list store, one location-permission
// observer), the single main window, the other single-instance windows,
// the start-up task, and the rebuild of every window when the interface
// language changes. Main thread only; needs a QApplication.
class OndrelApp : public QObject {
    Q_OBJECT
public:
    OndrelApp();
    ~OndrelApp() override;

    Prefs& prefs() const { return prefs_; }
    WiFiStore& store() const { return *store_; }
    LocationAuth& location() const { return *location_; }
    MainWindow* mainWindow() const;

    // Opens the main window (at most one exists) and runs the start-up
    // task once, after the window is shown.
    void start();

    // Builds a window's content; used again whenever the language changes.
    using WindowFactory = std::function<QWidget*(OndrelApp&)>;
    void setHistoryWindowFactory(WindowFactory factory) { historyFactory_ = std::move(factory); }
    void setSettingsWindowFactory(WindowFactory factory) { settingsFactory_ = std::move(factory); }
    bool hasHistoryWindow() const { return bool(historyFactory_); }
    bool hasSettingsWindow() const { return bool(settingsFactory_); }
    QWidget* historyWindow() const { return history_; }
    QWidget* settingsWindow() const { return settings_; }

    // Makes the speed tests the speed test window runs (their lengths).
    using SpeedTestFactory = std::function<std::unique_ptr<SpeedTest>()>;
    void setSpeedTestFactory(SpeedTestFactory factory) { speedTestFactory_ = std::move(factory); }
    const SpeedTestFactory& speedTestFactory() const { return speedTestFactory_; }

    // Rebuilds every open window in the current language.
    void rebuildWindows();

public Q_SLOTS:
    void scan();
    // Opens the window, or brings the open one to the front.
    void showHistory();
    void showSettings();

Q_SIGNALS:
    // The start-up task has run (its scan has been started).
    void started();

private:
    void runStartupTask();
    void preferencesChanged();
    void applyLayoutDirection();
    void showSingle(QPointer<QWidget>& window, const WindowFactory& factory);
    void rebuildSingle(QPointer<QWidget>& window, const WindowFactory& factory);

    Prefs& prefs_;
    std::unique_ptr<WiFiStore> store_;
    std::unique_ptr<LocationAuth> location_;
    QPointer<MainWindow> mainWindow_;
    QPointer<QWidget> history_;
    QPointer<QWidget> settings_;
    WindowFactory historyFactory_;
    WindowFactory settingsFactory_;
    SpeedTestFactory speedTestFactory_;
    AppLanguage builtLanguage_;
    bool startupDone_ = false;
};

} // namespace ondrel
