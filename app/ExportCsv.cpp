// "--export-csv PATH": the speed history as a CSV file for spreadsheets.

#include "app/Modes.h"

#include "app/HistoryExport.h"
#include "speed/SpeedHistory.h"

namespace ondrel {

int runExportCsv(const QString& path)
{
    const SpeedHistory* history = exportableHistory();
    if (!history)
        return 1;
    // The byte-order mark makes spreadsheets read the file as UTF-8.
    return writeExport(path, QByteArrayLiteral("\xEF\xBB\xBF") + history->csv().toUtf8(),
                       history->entries().size());
}

} // namespace ondrel
