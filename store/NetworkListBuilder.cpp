#include "store/NetworkListBuilder.h"

#include "store/DisplayName.h"
#include "store/NetworkOrder.h"
#include "store/Prefs.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace ondrel {

namespace {

bool hasName(const ScannedNetwork& network)
{
    return network.ssid.has_value() && !network.ssid->isEmpty();
}

bool isSearchSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// Steps 1 and 2: the hidden filter and, when asked, one representative per
// name. Named records group by name; nameless ones by their identifier, kept
// in a map of their own so that no name can ever collide with one.
QList<ScannedNetwork> filterAndGroup(const QList<ScannedNetwork>& raw, const NetworkListInputs& in)
{
    QList<ScannedNetwork> records;
    records.reserve(raw.size());
    if (!in.groupBySSID) {
        for (const ScannedNetwork& record : raw) {
            if (in.showHidden || hasName(record))
                records.append(record);
        }
        return records;
    }

    QHash<QString, qsizetype> byName;
    QHash<QString, qsizetype> byIdentifier;
    byName.reserve(raw.size());
    for (const ScannedNetwork& record : raw) {
        if (!in.showHidden && !hasName(record))
            continue;
        QHash<QString, qsizetype>& groups = record.ssid ? byName : byIdentifier;
        const QString key = record.ssid ? *record.ssid : record.id();
        const auto found = groups.constFind(key);
        if (found == groups.cend()) {
            groups.insert(key, records.size());
            records.append(record);
            continue;
        }
        ScannedNetwork& kept = records[*found];
        const int count = kept.apCount + 1;
        if (kept.rssi < record.rssi)
            kept = record;
        kept.apCount = count;
    }
    return records;
}

bool isCurrent(const ScannedNetwork& record, const NetworkListInputs& in)
{
    if (!record.ssid || !in.currentSSID || *record.ssid != *in.currentSSID)
        return false;
    if (in.groupBySSID || !in.currentBSSID)
        return true;
    return record.bssid && *record.bssid == *in.currentBSSID;
}

} // namespace

void NetworkListInputs::readPreferences(const Prefs& prefs)
{
    groupBySSID = prefs.groupBySSID();
    showHidden = prefs.showHidden();
    sortKey = prefs.sortKey();
    ascending = prefs.ascending();
    favoritesOnTop = prefs.favoritesOnTop();
    favoritesOnly = prefs.favoritesOnly();
    favorites = prefs.favoriteSet();
}

QString normalizedSearch(const QString& searchText)
{
    qsizetype begin = 0;
    qsizetype end = searchText.size();
    while (begin < end && isSearchSpace(searchText.at(begin)))
        ++begin;
    while (end > begin && isSearchSpace(searchText.at(end - 1)))
        --end;
    return searchText.mid(begin, end - begin).toLower();
}

QList<ScannedNetwork> buildNetworkList(const QList<ScannedNetwork>& raw, const NetworkListInputs& in)
{
    QList<ScannedNetwork> records = filterAndGroup(raw, in);

    // Steps 3 to 5: marks, favourites filter and search, in one pass. The
    // lower-cased name serves both the search and the order.
    const QString needle = normalizedSearch(in.searchText);
    const QString hiddenSortName = orderName(hiddenNetworkName());
    QList<ScannedNetwork> kept;
    kept.reserve(records.size());
    std::vector<NetworkOrderFields> fields;
    fields.reserve(size_t(records.size()));
    for (ScannedNetwork& record : records) {
        record.isSaved = record.ssid && in.savedNames.contains(*record.ssid);
        record.isFavorite = hasName(record) && in.favorites.contains(*record.ssid);
        record.isCurrent = isCurrent(record, in);
        if (in.favoritesOnly && !record.isFavorite && !record.isCurrent)
            continue;
        const QString lowerName = record.ssid ? record.ssid->toLower() : QString();
        if (!needle.isEmpty() && !lowerName.contains(needle)
            && !(record.bssid && record.bssid->toLower().contains(needle)))
            continue;
        QString sortName =
            lowerName.isEmpty() ? hiddenSortName : lowerName.normalized(QString::NormalizationForm_C);
        fields.push_back(orderFields(record, std::move(sortName)));
        kept.append(std::move(record));
    }

    // Steps 6 to 8: stable order, favourites ahead, the current network first.
    std::vector<qsizetype> order(size_t(kept.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return comesBefore(fields[size_t(a)], fields[size_t(b)], in.sortKey, in.ascending);
    });
    if (in.favoritesOnTop) {
        std::stable_partition(order.begin(), order.end(),
                              [&](qsizetype i) { return kept.at(i).isFavorite; });
    }
    const auto current =
        std::find_if(order.begin(), order.end(), [&](qsizetype i) { return kept.at(i).isCurrent; });
    if (current != order.end())
        std::rotate(order.begin(), current, current + 1);

    QList<ScannedNetwork> shown;
    shown.reserve(kept.size());
    for (qsizetype i : order)
        shown.append(std::move(kept[i]));
    return shown;
}

} // namespace ondrel
