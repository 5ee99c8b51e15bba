#include "store/SortKey.h"

#include "localization/Lookup.h"

namespace ondrel {

const QList<SortKey>& allSortKeys()
{
    static const QList<SortKey> all{SortKey::signal, SortKey::name, SortKey::band, SortKey::security};
    return all;
}

QString rawValue(SortKey key)
{
    switch (key) {
    case SortKey::signal:
        return QStringLiteral("signal");
    case SortKey::name:
        return QStringLiteral("name");
    case SortKey::band:
        return QStringLiteral("band");
    case SortKey::security:
        break;
    }
    return QStringLiteral("security");
}

std::optional<SortKey> sortKeyFromRawValue(const QString& raw)
{
    for (SortKey key : allSortKeys()) {
        if (rawValue(key) == raw)
            return key;
    }
    return std::nullopt;
}

QString label(SortKey key)
{
    switch (key) {
    case SortKey::signal:
        return L("電波の強さ", "Signal strength");
    case SortKey::name:
        return L("名前", "Name");
    case SortKey::band:
        return L("周波数帯", "Band");
    case SortKey::security:
        break;
    }
    return L("セキュリティ", "Security");
}

} // namespace ondrel
