// The windowed application: the main window and the event loop until the
// last window closes.

#include "app/Modes.h"

#include "speed/SpeedHistory.h"
#include "ui/OndrelApp.h"
#include "ui/SettingsView.h"
#include "ui/SpeedHistoryView.h"

#include <QApplication>

namespace ondrel {

int runWindowedApp()
{
    OndrelApp app;
    app.setHistoryWindowFactory([](OndrelApp&) -> QWidget* {
        auto* window = new SpeedHistoryView(SpeedHistory::shared());
        window->resize(1020, 500);
        return window;
    });
    app.setSettingsWindowFactory([](OndrelApp& app) -> QWidget* {
        auto* window = new SettingsView(app.prefs(), &app.store(), &app.location());
        window->resize(SettingsView::width, 600);
        return window;
    });
    app.start();
    return QApplication::exec();
}

} // namespace ondrel
