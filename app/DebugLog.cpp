#include "app/DebugLog.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <mutex>

namespace ondrel {

void debugLog(const QString& message)
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

} // namespace ondrel
