#include "app/HistoryExport.h"

#include "app/TerminalText.h"
#include "speed/SpeedHistory.h"

#include <QSaveFile>

#include <cstdio>

namespace ondrel {

const SpeedHistory* exportableHistory()
{
    const SpeedHistory& history = SpeedHistory::shared();
    if (const QString problem = history.fileProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "書き出せませんでした: %s\n", qUtf8Printable(terminalSafe(problem)));
        return nullptr;
    }
    return &history;
}

int writeExport(const QString& path, const QByteArray& bytes, qsizetype count)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        // Saying "written" for a file that is not there would mislead scripts.
        std::fprintf(stderr, "書き出せませんでした: %s: %s\n", qUtf8Printable(terminalSafe(path)),
                     qUtf8Printable(terminalSafe(file.errorString())));
        return 1;
    }
    std::printf("%lld 件を書き出しました: %s\n", qlonglong(count), qUtf8Printable(terminalSafe(path)));
    return 0;
}

} // namespace ondrel
