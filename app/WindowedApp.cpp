// The windowed application: the main window and the event loop until the
// last window closes.

#include "app/Modes.h"

#include "speed/SpeedHistory.h"
#include "ui/OndrelApp.h"
#include "ui/SettingsView.h"
#include "ui/SpeedHistoryView.h"
#include "ui/ToolWindow.h"

#include <QApplication>

namespace ondrel {

void installWindows(OndrelApp& app)
{
    app.setHistoryWindowFactory([](OndrelApp&) -> QWidget* {
        return new ToolWindow(new SpeedHistoryView(SpeedHistory::shared()), QSize(1020, 500));
    });
    app.setSettingsWindowFactory([](OndrelApp& app) -> QWidget* {
        return new ToolWindow(new SettingsView(app.prefs(), &app.store(), &app.location()),
                              QSize(SettingsView::width, 600));
    });
    app.setSpeedTestFactory([] { return std::make_unique<SpeedTest>(speedTestOptions()); });
}

int runWindowedApp()
{
    OndrelApp app;
    installWindows(app);
    app.start();
    return QApplication::exec();
}

} // namespace ondrel
