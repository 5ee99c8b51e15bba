// "--export-json PATH": the speed history as JSON for scripts, written
// atomically to PATH, or to standard output when PATH is "-".

#include "app/Modes.h"

#include "app/HistoryExport.h"
#include "app/JsonOutput.h"
#include "speed/SpeedHistory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ondrel {

int runExportJson(const QString& path)
{
    const SpeedHistory* history = exportableHistory();
    if (!history)
        return 1;
    const QJsonObject document = historyJson(history->entries());
    if (path != QLatin1String("-"))
        return writeExport(path, jsonText(document), history->entries().size());
    if (writeJson(document))
        return 0;
    std::fprintf(stderr, "書き出せませんでした: -: %s\n", std::strerror(errno));
    return 1;
}

} // namespace ondrel
