// The windowed application: the main window and the event loop until the
// last window closes.

#include "app/Modes.h"

#include "ui/OndrelApp.h"

#include <QApplication>

namespace ondrel {

int runWindowedApp()
{
    OndrelApp app;
    app.start();
    return QApplication::exec();
}

} // namespace ondrel
