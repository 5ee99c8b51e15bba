#pragma once

#include "store/SortKey.h"
#include "wifi/ScannedNetwork.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace ondrel {

class Prefs;

// Everything the shown list depends on besides the raw scan records.
struct NetworkListInputs {
    bool groupBySSID = true;
    bool showHidden = false;
    SortKey sortKey = SortKey::signal;
    bool ascending = false;
    bool favoritesOnTop = true;
    bool favoritesOnly = false;
    QSet<QString> favorites;
    QSet<QByteArray> savedSsids;         // exact names of the saved profiles
    std::optional<QString> currentSSID;  // name of the network the machine is on
    std::optional<QString> currentBSSID; // its access point's hardware address
    QString searchText;                  // as typed; trimmed and lower-cased here

    // The list preferences and favourites as they stand now.
    void readPreferences(const Prefs& prefs);
};

// Computes the shown list from the records of one scan:
//  1. hidden filter: without showHidden, only records with a non-empty name;
//  2. grouping by name (nameless records by their id, so they merge only
//     when address and channel agree): the strongest access point stands for
//     its group, the earliest on equal strength, with apCount the group size;
//  3. marks: saved by the exact SSID bytes of the row's access point (a
//     record without bytes by its name as UTF-8), favourite by exact name;
//     current by name, and with grouping off also by the current BSSID when
//     it is known;
//  4. favourites only: favourites and the current network;
//  5. search: the text trimmed of spaces and tabs and lower-cased, found in
//     the lower-cased name or BSSID;
//  6. stable order by the sort key in the asked direction, ties to the
//     stronger signal, then to the alphabetically smaller display name;
//  7. favourites on top; 8. the first current record first.
//
// Construction prepares what does not change until the next scan (lower-
// cased names, the names' alphabetical ranks, the groups), so that build(),
// which runs on every keystroke, compares integers only. build() is a pure
// function of the records and its inputs; it reads no preference, radio or
// file. Main thread only (the hidden network's display name is a lookup).
class NetworkListBuilder {
public:
    explicit NetworkListBuilder(QList<ScannedNetwork> raw = {});

    // The records as the scan returned them.
    const QList<ScannedNetwork>& raw() const { return raw_; }

    QList<ScannedNetwork> build(const NetworkListInputs& inputs) const;

private:
    bool bssidsMayContain(const QString& needle) const;

    // What build() reads of one raw record, packed so that a pass over
    // thousands of records stays in the processor's caches.
    struct Record {
        int name;  // index into names_, -1 without a name
        int ssid;  // index of its distinct SSID bytes, -1 without a name
        int group; // group when grouping by name
        int rssi;  // dBm
        int apCount;
        int band;     // raw value
        int security; // raw value
    };

    QList<ScannedNetwork> raw_;
    std::vector<Record> records_;
    std::vector<QString> lowerBSSID_;
    // Every character of the lower-cased BSSIDs (ASCII only; non-ASCII as
    // one flag): a search text with any other character matches none.
    quint64 bssidChars_[2] = {0, 0};
    bool bssidNonAscii_ = false;
    // Per distinct name (present names, including an empty one).
    std::vector<QString> names_;
    std::vector<QString> lowerNames_;
    std::vector<int> nameRank_; // alphabetical rank of the display name, even numbers, equal for equal names
    QHash<QString, int> nameIndex_;
    QHash<QByteArray, int> ssidIndex_; // distinct SSID bytes
    // Display-order names of the ranks, for placing the hidden network's name.
    std::vector<QString> rankedNames_;
    int groupCount_ = 0;
};

// The list for `raw` and `inputs` in one call (prepares and builds).
QList<ScannedNetwork> buildNetworkList(const QList<ScannedNetwork>& raw, const NetworkListInputs& inputs);

// The search text as matched: white space (space separators and tabs, not
// line breaks) trimmed from both ends, then lower-cased.
QString normalizedSearch(const QString& searchText);

} // namespace ondrel
