#pragma once

#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "wifi/WiFiEngine.h"

#include <QDateTime>
#include <QString>

namespace ondrel {

// The main window's decisions, made from the store's and the permission's
// state alone, so that the rules hold whatever draws them.

// The status banner: the first condition that holds wins.
enum class StatusBanner { none, noInterface, radioOff, locationAsk, locationSettings };
// `locationStatus` is the permission status (0 not yet asked); `authorized`
// whether it lets the program read network names.
StatusBanner statusBannerFor(const WiFiEngine::Status& status, int locationStatus, bool authorized);

// Why the list is empty: the hardware, the radio, the user's own search or
// favourites-only filter, a scan still running, or nothing around.
enum class EmptyList { noInterface, radioOff, search, favorites, scanning, nothingFound };
EmptyList emptyListFor(const WiFiEngine::Status& status, WiFiStore::HidingFilter hiding, bool scanning);

// The current-network card's second line: a hint without a network, else
// "Connected", the strength in `unit`, the signal-to-noise ratio when the
// noise is known, the band and channel when known and
// the transmit rate when above 0, joined by " ・ " in every language.
QString cardSubtitleFor(const WiFiEngine::Status& status, StrengthUnit unit);

// The list's "Last scan 14:02:37": the local time of day with seconds, in
// the user's locale.
QString lastScanText(const QDateTime& when);

} // namespace ondrel
