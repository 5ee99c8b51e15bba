#pragma once

#include <QLoggingCategory>
#include <QString>

namespace ondrel {

// The program's diagnostics, category "ondrel". The program writes them to
// the file that ONDREL_LOG names (app/DebugLogFile.h); without that handler
// they take Qt's usual way (standard error, a test's log).
Q_DECLARE_LOGGING_CATEGORY(debugLogCategory)

// One diagnostic line, from any thread.
inline void debugLog(const QString& message)
{
    qCInfo(debugLogCategory).noquote() << message;
}

} // namespace ondrel
