// CSV export round trip: entries with names and BSSIDs from the input (any
// characters, CR, LF, quotes, commas, formula starts) and figures from its
// bytes are written as CSV, read back with a strict RFC 4180 reader, and
// every row must have 11 fields with the name and BSSID as written (a
// leading = + - @ tab or CR guarded by an apostrophe).

#include "FuzzCheck.h"

#include "speed/SpeedHistory.h"
#include "wifi/SsidText.h"

#include <cstring>

using namespace ondrel;

namespace {

// RFC 4180 with CR LF record ends; a malformed text breaks the property.
QList<QStringList> parse(const QString& csv)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    qsizetype i = 0;
    const qsizetype n = csv.size();
    while (i < n) {
        if (csv[i] == u'"') {
            for (++i;; ++i) {
                FUZZ_CHECK(i < n); // a quoted field ends
                if (csv[i] == u'"') {
                    if (i + 1 < n && csv[i + 1] == u'"') {
                        field += u'"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += csv[i];
            }
        } else {
            while (i < n && csv[i] != u',' && csv[i] != u'\r' && csv[i] != u'\n' && csv[i] != u'"')
                field += csv[i++];
            FUZZ_CHECK(i == n || csv[i] != u'"');  // no quote inside an unquoted field
            FUZZ_CHECK(i == n || csv[i] != u'\n'); // no bare LF
        }
        row += std::exchange(field, QString());
        if (i < n && csv[i] == u',') {
            ++i;
            continue;
        }
        FUZZ_CHECK(i + 1 < n && csv[i] == u'\r' && csv[i + 1] == u'\n'); // CR LF ends each record
        i += 2;
        rows += std::exchange(row, QStringList());
    }
    return rows;
}

QString guarded(const QString& text)
{
    return !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()) ? u'\'' + text : text;
}

template <typename T> T take(const uint8_t*& data, size_t& size)
{
    T value{};
    const size_t n = std::min(size, sizeof value);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QList<SpeedEntry> entries;
    while (size > 0 && entries.size() < 16) {
        SpeedEntry entry;
        entry.date = QDateTime::fromSecsSinceEpoch(take<uint32_t>(data, size), Qt::UTC);
        entry.rssi = take<qint64>(data, size);
        entry.band = take<int8_t>(data, size);
        entry.downloadMbps = take<double>(data, size);
        entry.bytes = take<qint64>(data, size);
        // The name and BSSID run up to the next two NUL bytes.
        const auto text = [&] {
            const auto* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
            const size_t length = end ? size_t(end - data) : size;
            const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(length));
            data += std::min(size, length + 1);
            size -= std::min(size, length + 1);
            return value;
        };
        entry.ssid = text();
        if (const QString bssid = text(); !bssid.isEmpty())
            entry.bssid = bssid;
        entries.prepend(entry); // the history keeps the newest first
    }
    const QList<QStringList> rows = parse(SpeedHistory::csv(entries));
    FUZZ_CHECK(rows.size() == entries.size() + 1);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        FUZZ_CHECK(rows[r].size() == 11);
        if (r == 0)
            continue;
        const SpeedEntry& entry = entries[entries.size() - r]; // rows run oldest first
        FUZZ_CHECK(rows[r][1] == guarded(visibleName(entry.ssid))); // names by the name rule
        FUZZ_CHECK(rows[r][2] == guarded(entry.bssid.value_or(QString())));
    }
    return 0;
}
