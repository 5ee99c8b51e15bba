#include "app/DebugLogFile.h"

#include "localization/DebugLog.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <cstring>
#include <mutex>

namespace ondrel {

namespace {

QtMessageHandler previousHandler = nullptr;
QLoggingCategory::CategoryFilter previousFilter = nullptr;
// Read once before the filter is installed: the filter runs while Qt
// registers a category, when creating the category would deadlock.
const char* categoryName = nullptr;

void append(const QString& message)
{
    if (!qEnvironmentVariableIsSet("ONDREL_LOG"))
        return;
    const QString path = qEnvironmentVariable("ONDREL_LOG");
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QByteArray line = (stamp + QStringLiteral(" +0000 ") + message + u'\n').toUtf8();

    // One writer at a time inside this process; each line goes out in a
    // single append write, so other processes' lines do not split it either.
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    QFile existing(path);
    if (existing.exists()) {
        if (existing.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            existing.write(line);
        return;
    }
    QSaveFile created(path);
    if (created.open(QIODevice::WriteOnly) && created.write(line) == line.size())
        created.commit();
}

bool isDebugLog(const char* category)
{
    return category && std::strcmp(category, categoryName) == 0;
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (isDebugLog(context.category))
        append(message);
    else if (previousHandler)
        previousHandler(type, context, message);
}

// ONDREL_LOG asks for the diagnostics: logging rules meant for standard
// error (QT_LOGGING_RULES, qtlogging.ini) do not silence them.
void filter(QLoggingCategory* category)
{
    if (previousFilter)
        previousFilter(category);
    if (isDebugLog(category->categoryName()))
        category->setEnabled(QtInfoMsg, true);
}

} // namespace

void installDebugLogFile()
{
    categoryName = debugLogCategory().categoryName();
    const QtMessageHandler before = qInstallMessageHandler(handle);
    if (before != handle)
        previousHandler = before;
    const QLoggingCategory::CategoryFilter beforeFilter = QLoggingCategory::installFilter(filter);
    if (beforeFilter != filter)
        previousFilter = beforeFilter;
}

} // namespace ondrel
