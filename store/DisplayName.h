#pragma once

#include "wifi/ScannedNetwork.h"

#include <QString>

namespace ondrel {

// The name a network is shown, ordered and spoken of by: its name when
// present and not empty, otherwise the localized "Hidden network". Main
// thread only (the lookup is).
QString displayName(const ScannedNetwork& network);

// The localized name of a network that broadcasts none.
QString hiddenNetworkName();

} // namespace ondrel
