#include "store/NetworkOrder.h"

#include "store/DisplayName.h"

#include <algorithm>

namespace ondrel {

namespace {

// Maps a UTF-16 code unit so that code-unit order becomes code-point order:
// surrogates (D800-DFFF) encode code points above FFFF and must sort after
// E000-FFFF.
inline char16_t codePointRank(char16_t unit)
{
    if (unit >= 0xE000)
        return char16_t(unit - 0x800);
    if (unit >= 0xD800)
        return char16_t(unit + 0x2000);
    return unit;
}

template <typename T>
inline int directed(T a, T b, bool ascending)
{
    if (a == b)
        return 0;
    const bool aFirst = ascending ? a < b : a > b;
    return aFirst ? -1 : 1;
}

} // namespace

int compareCodePoints(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] != pb[i])
            return codePointRank(pa[i]) < codePointRank(pb[i]) ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

QString orderName(const QString& displayName)
{
    return displayName.toLower().normalized(QString::NormalizationForm_C);
}

NetworkOrderFields orderFields(const ScannedNetwork& network, QString sortName)
{
    NetworkOrderFields fields;
    fields.rssi = network.rssi;
    fields.bandOrder = rawValue(network.band);
    fields.securityOrder = rawValue(network.security);
    fields.sortName = std::move(sortName);
    return fields;
}

NetworkOrderFields orderFields(const ScannedNetwork& network)
{
    return orderFields(network, orderName(displayName(network)));
}

bool comesBefore(const NetworkOrderFields& a, const NetworkOrderFields& b, SortKey key, bool ascending)
{
    int order = 0;
    switch (key) {
    case SortKey::signal:
        order = directed(a.rssi, b.rssi, ascending);
        break;
    case SortKey::name:
        order = directed(compareCodePoints(a.sortName, b.sortName), 0, ascending);
        break;
    case SortKey::band:
        order = directed(a.bandOrder, b.bandOrder, ascending);
        break;
    case SortKey::security:
        order = directed(a.securityOrder, b.securityOrder, ascending);
        break;
    }
    if (order != 0)
        return order < 0;
    if (a.rssi != b.rssi)
        return a.rssi > b.rssi;
    return compareCodePoints(a.sortName, b.sortName) < 0;
}

bool comesBefore(const ScannedNetwork& a, const ScannedNetwork& b, SortKey key, bool ascending)
{
    return comesBefore(orderFields(a), orderFields(b), key, ascending);
}

} // namespace ondrel
