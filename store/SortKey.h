#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace ondrel {

// Primary order of the network list.
enum class SortKey { signal, name, band, security };

const QList<SortKey>& allSortKeys();
QString rawValue(SortKey key);
std::optional<SortKey> sortKeyFromRawValue(const QString& raw);
QString label(SortKey key);

} // namespace ondrel
