#pragma once

#include <QString>

namespace ondrel {

// How network names are ordered in the list: the display name lower-cased
// and put in composed form (so that canonically equivalent names come out
// equal), then compared by Unicode code point.
QString orderName(const QString& displayName);

// Compares by Unicode code point (UTF-16 code-unit order differs from it for
// characters beyond the Basic Multilingual Plane): negative, zero, positive.
int compareCodePoints(const QString& a, const QString& b);

} // namespace ondrel
