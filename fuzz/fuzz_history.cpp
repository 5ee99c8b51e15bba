// The speed history file: any bytes decode to a list or to nothing, a
// decoded list is written back and read again unchanged (what was loaded is
// never altered by the next save), and every stored value can be shown as CSV.

#include "FuzzCheck.h"

#include "speed/SpeedHistory.h"

using namespace ondrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<QList<SpeedEntry>> decoded =
        SpeedHistory::decode(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!decoded)
        return 0;
    const std::optional<QList<SpeedEntry>> again = SpeedHistory::decode(SpeedHistory::encode(*decoded));
    FUZZ_CHECK(again && *again == *decoded);
    const QString csv = SpeedHistory::csv(*decoded);
    FUZZ_CHECK(csv.count(QStringLiteral("\r\n")) >= decoded->size() + 1);
    return 0;
}
