// "--export-csv PATH": the speed history as a CSV file for spreadsheets.

#include "app/Modes.h"

#include "app/TerminalText.h"
#include "speed/SpeedHistory.h"

#include <QSaveFile>

#include <cstdio>

namespace ondrel {

int runExportCsv(const QString& path)
{
    SpeedHistory& history = SpeedHistory::shared();
    if (const QString problem = history.fileProblem(); !problem.isEmpty()) {
        // An empty export would pass for an empty history.
        std::fprintf(stderr, "書き出せませんでした: %s\n", qUtf8Printable(terminalSafe(problem)));
        return 1;
    }
    // The byte-order mark makes spreadsheets read the file as UTF-8.
    const QByteArray bytes = QByteArrayLiteral("\xEF\xBB\xBF") + history.csv().toUtf8();

    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        // Saying "written" for a file that is not there would mislead scripts.
        std::fprintf(stderr, "書き出せませんでした: %s: %s\n", qUtf8Printable(path),
                     qUtf8Printable(file.errorString()));
        return 1;
    }
    std::printf("%lld 件を書き出しました: %s\n", qlonglong(history.entries().size()), qUtf8Printable(path));
    return 0;
}

} // namespace ondrel
