#pragma once

#include "wifi/ScannedNetwork.h"

#include <QString>

namespace ondrel {

// The name a network is ordered, compared and joined by: its name when
// present and not empty, otherwise the localized "Hidden network". Never put
// on a screen as it is: see shownName. Main thread only (the lookup is).
QString displayName(const ScannedNetwork& network);

// The name as the windows and their messages show it: the name by the rule
// of screenName (wifi/SsidText.h), or the localized "Hidden network". Main
// thread only.
QString shownName(const ScannedNetwork& network);

// For a name that is not plain printable ASCII, the line that tells it apart
// from every other name in a tooltip or an accessible description:
// "Name bytes: 45 76 69 6C E2 80 AE" (localized); empty for a plain name.
// Main thread only.
QString nameBytesLine(const QString& ssid);

// The localized name of a network that broadcasts none.
QString hiddenNetworkName();

} // namespace ondrel
