// "--export-json PATH": the speed history as JSON for scripts, written
// atomically to PATH, or to standard output when PATH is "-".

#include "app/Modes.h"

#include "app/JsonOutput.h"
#include "app/TerminalText.h"
#include "speed/SpeedHistory.h"

#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ondrel {

int runExportJson(const QString& path)
{
    if (const QString problem = SpeedHistory::shared().fileProblem(); !problem.isEmpty()) {
        // An empty export would pass for an empty history.
        std::fprintf(stderr, "書き出せませんでした: %s\n", qUtf8Printable(terminalSafe(problem)));
        return 1;
    }
    const QList<SpeedEntry>& entries = SpeedHistory::shared().entries();
    const QJsonObject history = historyJson(entries);
    if (path == QLatin1String("-")) {
        if (writeJson(history))
            return 0;
        std::fprintf(stderr, "書き出せませんでした: -: %s\n", std::strerror(errno));
        return 1;
    }

    const QByteArray bytes = jsonText(history);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "書き出せませんでした: %s: %s\n", qUtf8Printable(terminalSafe(path)),
                     qUtf8Printable(terminalSafe(file.errorString())));
        return 1;
    }
    std::printf("%lld 件を書き出しました: %s\n", qlonglong(entries.size()),
                qUtf8Printable(terminalSafe(path)));
    return 0;
}

} // namespace ondrel
