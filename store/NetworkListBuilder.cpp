#include "store/NetworkListBuilder.h"

#include "store/DisplayName.h"
#include "store/NetworkOrder.h"
#include "store/Prefs.h"

#include <algorithm>

namespace ondrel {

namespace {

bool isSearchSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

struct CodePointLess {
    bool operator()(const QString& a, const QString& b) const { return compareCodePoints(a, b) < 0; }
};

// One shown row while the list is being ordered.
struct Row {
    int record; // raw index of the representative
    int count;  // apCount
    bool isCurrent;
    bool isSaved;
    bool isFavorite;
};

// A row's place in the order as two integers compared in turn: the sort
// key's value in the asked direction and the signal (stronger first); then
// the name's alphabetical rank and the row's position before sorting, which
// makes the sort stable.
struct OrderKey {
    quint64 high;
    quint64 low;
    bool operator<(const OrderKey& other) const
    {
        return high != other.high ? high < other.high : low < other.low;
    }
};

// An int as an unsigned number of the same order.
inline quint64 ordered(int value)
{
    return quint64(quint32(value) ^ 0x80000000u);
}
inline quint64 reversed(int value)
{
    return ordered(value) ^ 0xffffffffu;
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

NetworkListBuilder::NetworkListBuilder(QList<ScannedNetwork> raw) : raw_(std::move(raw))
{
    const size_t n = size_t(raw_.size());
    records_.resize(n);
    lowerBSSID_.resize(n);
    nameIndex_.reserve(raw_.size());

    for (size_t i = 0; i < n; ++i) {
        const ScannedNetwork& network = raw_.at(qsizetype(i));
        Record& record = records_[i];
        record = {
            -1, -1, -1, network.rssi, network.apCount, rawValue(network.band), rawValue(network.security)};
        if (network.bssid) {
            lowerBSSID_[i] = network.bssid->toLower();
            for (QChar c : std::as_const(lowerBSSID_[i])) {
                if (c.unicode() < 128)
                    bssidChars_[c.unicode() / 64] |= quint64(1) << (c.unicode() % 64);
                else
                    bssidNonAscii_ = true;
            }
        }
        if (!network.ssid)
            continue;
        const QByteArray bytes = network.ssidBytes.isEmpty() ? network.ssid->toUtf8() : network.ssidBytes;
        auto known = ssidIndex_.find(bytes);
        if (known == ssidIndex_.end())
            known = ssidIndex_.insert(bytes, int(ssidIndex_.size()));
        record.ssid = *known;
        const auto found = nameIndex_.constFind(*network.ssid);
        if (found != nameIndex_.cend()) {
            record.name = *found;
            continue;
        }
        record.name = int(names_.size());
        nameIndex_.insert(*network.ssid, record.name);
        names_.push_back(*network.ssid);
        lowerNames_.push_back(network.ssid->toLower());
    }

    // Named records group by name; nameless ones by their id, in groups of
    // their own so that no name can collide with one.
    groupCount_ = int(names_.size());
    QHash<QString, int> nameless;
    for (size_t i = 0; i < n; ++i) {
        Record& record = records_[i];
        if (record.name >= 0) {
            record.group = record.name;
            continue;
        }
        const QString id = raw_.at(qsizetype(i)).id();
        const auto found = nameless.constFind(id);
        if (found != nameless.cend()) {
            record.group = *found;
        } else {
            nameless.insert(id, groupCount_);
            record.group = groupCount_++;
        }
    }

    // Alphabetical ranks of the non-empty names (the empty name shows as the
    // hidden network's, which depends on the language and is placed by
    // build()). Ranks are even, leaving odd ones in between for it.
    std::vector<QString> orderNames(names_.size());
    std::vector<int> byName;
    for (size_t id = 0; id < names_.size(); ++id) {
        if (names_[id].isEmpty())
            continue;
        orderNames[id] = lowerNames_[id].normalized(QString::NormalizationForm_C);
        byName.push_back(int(id));
    }
    std::sort(byName.begin(), byName.end(), [&](int a, int b) {
        return compareCodePoints(orderNames[size_t(a)], orderNames[size_t(b)]) < 0;
    });
    nameRank_.assign(names_.size(), 0);
    for (int id : byName) {
        if (rankedNames_.empty() || rankedNames_.back() != orderNames[size_t(id)])
            rankedNames_.push_back(orderNames[size_t(id)]);
        nameRank_[size_t(id)] = int(rankedNames_.size()) * 2;
    }
}

bool NetworkListBuilder::bssidsMayContain(const QString& needle) const
{
    for (QChar c : needle) {
        if (c.unicode() >= 128 ? !bssidNonAscii_ : !(bssidChars_[c.unicode() / 64] >> (c.unicode() % 64) & 1))
            return false;
    }
    return true;
}

QList<ScannedNetwork> NetworkListBuilder::build(const NetworkListInputs& in) const
{
    const size_t n = records_.size();
    auto hasName = [&](size_t i) {
        return records_[i].name >= 0 && !names_[size_t(records_[i].name)].isEmpty();
    };

    // Steps 1 and 2: hidden filter and grouping, as representatives with
    // their group sizes, in order of first appearance.
    std::vector<int> reps;
    std::vector<int> counts;
    reps.reserve(n);
    counts.reserve(n);
    if (in.groupBySSID) {
        std::vector<int> slot(size_t(groupCount_), -1);
        for (size_t i = 0; i < n; ++i) {
            if (!in.showHidden && !hasName(i))
                continue;
            int& s = slot[size_t(records_[i].group)];
            if (s < 0) {
                s = int(reps.size());
                reps.push_back(int(i));
                counts.push_back(records_[i].apCount);
                continue;
            }
            counts[size_t(s)] += 1;
            if (records_[size_t(reps[size_t(s)])].rssi < records_[i].rssi)
                reps[size_t(s)] = int(i);
        }
    } else {
        for (size_t i = 0; i < n; ++i) {
            if (in.showHidden || hasName(i)) {
                reps.push_back(int(i));
                counts.push_back(records_[i].apCount);
            }
        }
    }

    // Step 3's name marks, looked up once per listed name rather than once
    // per record.
    std::vector<char> saved(size_t(ssidIndex_.size()), 0);
    std::vector<char> favorite(names_.size(), 0);
    for (const QByteArray& ssid : in.savedSsids) {
        if (const int id = ssidIndex_.value(ssid, -1); id >= 0)
            saved[size_t(id)] = 1;
    }
    for (const QString& name : in.favorites) {
        if (const int id = nameIndex_.value(name, -1); id >= 0 && !name.isEmpty())
            favorite[size_t(id)] = 1;
    }
    const int currentName = in.currentSSID ? nameIndex_.value(*in.currentSSID, -1) : -1;
    const bool byBSSID = !in.groupBySSID && in.currentBSSID.has_value();

    const QString needle = normalizedSearch(in.searchText);
    std::vector<signed char> nameMatches(needle.isEmpty() ? 0 : names_.size(), -1);
    const bool searchBSSIDs = !needle.isEmpty() && bssidsMayContain(needle);

    // The hidden network's display name among the ranked names.
    const QString hiddenName = orderName(hiddenNetworkName());
    const auto place =
        std::lower_bound(rankedNames_.begin(), rankedNames_.end(), hiddenName, CodePointLess());
    const int hiddenRank =
        2 * int(place - rankedNames_.begin()) + (place != rankedNames_.end() && *place == hiddenName ? 2 : 1);

    std::vector<Row> rows;
    std::vector<OrderKey> keys;
    rows.reserve(reps.size());
    keys.reserve(reps.size());
    for (size_t r = 0; r < reps.size(); ++r) {
        const size_t i = size_t(reps[r]);
        const Record& record = records_[i];
        const int name = record.name;
        Row row{};
        row.record = int(i);
        row.count = counts[r];
        row.isSaved = record.ssid >= 0 && saved[size_t(record.ssid)];
        row.isFavorite = name >= 0 && favorite[size_t(name)];
        row.isCurrent =
            name >= 0 && name == currentName && (!byBSSID || raw_.at(qsizetype(i)).bssid == in.currentBSSID);

        // Steps 4 and 5: favourites filter and search.
        if (in.favoritesOnly && !row.isFavorite && !row.isCurrent)
            continue;
        if (!needle.isEmpty()) {
            bool found = false;
            if (name >= 0) {
                signed char& known = nameMatches[size_t(name)];
                if (known < 0)
                    known = lowerNames_[size_t(name)].contains(needle) ? 1 : 0;
                found = known == 1;
            }
            if (!found && !(searchBSSIDs && lowerBSSID_[i].contains(needle)))
                continue;
        }

        const int nameRank = hasName(i) ? nameRank_[size_t(name)] : hiddenRank;
        int value = 0;
        switch (in.sortKey) {
        case SortKey::signal:
            value = record.rssi;
            break;
        case SortKey::name:
            value = nameRank;
            break;
        case SortKey::band:
            value = record.band;
            break;
        case SortKey::security:
            value = record.security;
            break;
        }
        const quint64 primary = in.ascending ? ordered(value) : reversed(value);
        keys.push_back(
            {primary << 32 | reversed(record.rssi), ordered(nameRank) << 32 | quint64(rows.size())});
        rows.push_back(row);
    }

    // Steps 6 to 8: order, favourites ahead, the current network first.
    std::sort(keys.begin(), keys.end());
    std::vector<int> order(keys.size());
    for (size_t k = 0; k < keys.size(); ++k)
        order[k] = int(keys[k].low & 0xffffffffu);
    if (in.favoritesOnTop)
        std::stable_partition(order.begin(), order.end(), [&](int r) { return rows[size_t(r)].isFavorite; });
    const auto current =
        std::find_if(order.begin(), order.end(), [&](int r) { return rows[size_t(r)].isCurrent; });
    if (current != order.end())
        std::rotate(order.begin(), current, current + 1);

    // Copied out in scan order, each to its place: the records (and their
    // names, allocated as the scan went) are then read front to back, which
    // matters once thousands of them no longer fit the processor's caches.
    std::vector<int> position(rows.size());
    for (size_t k = 0; k < order.size(); ++k)
        position[size_t(order[k])] = int(k);
    QList<ScannedNetwork> shown(qsizetype(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        ScannedNetwork& network = shown[position[r]];
        network = raw_.at(row.record);
        network.apCount = row.count;
        network.isCurrent = row.isCurrent;
        network.isSaved = row.isSaved;
        network.isFavorite = row.isFavorite;
    }
    return shown;
}

QList<ScannedNetwork> buildNetworkList(const QList<ScannedNetwork>& raw, const NetworkListInputs& inputs)
{
    return NetworkListBuilder(raw).build(inputs);
}

} // namespace ondrel
