#pragma once

#include "store/SortKey.h"
#include "wifi/ScannedNetwork.h"

#include <QString>

namespace ondrel {

// What the list order looks at in one record, worked out once per record so
// that a sort of thousands of records does not lower-case names in every
// comparison.
struct NetworkOrderFields {
    int rssi = 0;        // dBm
    int bandOrder = 0;   // 24, 50, 60, or 0 for an unknown band
    int securityOrder = 0; // 0 (open) to 7 (enterprise), 99 for unknown
    QString sortName;    // display name, lower-cased and in composed form
};

NetworkOrderFields orderFields(const ScannedNetwork& network);
// As above with the display name's lower-cased form already at hand.
NetworkOrderFields orderFields(const ScannedNetwork& network, QString sortName);

// The display name lower-cased for ordering: canonically equivalent names
// come out equal.
QString orderName(const QString& displayName);

// True when `a` goes before `b` in the list. The key's values decide in
// the direction `ascending` asks for; equal values fall back to the stronger
// signal, then to the alphabetically smaller name, whatever the direction.
// Two records equal on all of these are neither before the other.
bool comesBefore(const NetworkOrderFields& a, const NetworkOrderFields& b, SortKey key, bool ascending);
bool comesBefore(const ScannedNetwork& a, const ScannedNetwork& b, SortKey key, bool ascending);

// Compares by Unicode code point (UTF-16 code-unit order differs from it for
// characters beyond the Basic Multilingual Plane): negative, zero, positive.
int compareCodePoints(const QString& a, const QString& b);

} // namespace ondrel
