#pragma once

#include "store/SortKey.h"
#include "wifi/ScannedNetwork.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

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
    QSet<QString> savedNames;
    std::optional<QString> currentSSID;  // name of the network the machine is on
    std::optional<QString> currentBSSID; // its access point's hardware address
    QString searchText;                  // as typed; trimmed and lower-cased here

    // The list preferences and favourites as they stand now.
    void readPreferences(const Prefs& prefs);
};

// The list as shown, computed from scratch: hidden filter, grouping by name
// (strongest access point represents its group, the earliest on equal
// strength), saved / favourite / current marks, favourites filter, search,
// stable order, favourites on top, current network first. A pure function:
// no radio, no disk, no preferences read.
QList<ScannedNetwork> buildNetworkList(const QList<ScannedNetwork>& raw, const NetworkListInputs& inputs);

// The search text as matched: white space (space separators and tabs, not
// line breaks) trimmed from both ends, then lower-cased.
QString normalizedSearch(const QString& searchText);

} // namespace ondrel
