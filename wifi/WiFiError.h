#pragma once

#include <QString>

namespace ondrel {

// The engine's own failures. The numeric code of each is its order (0 to 4).
// The engine raises noInterface, powerOff and gone; the backends refuse an
// enterprise (802.1X) network with enterprise before they ask the system
// anything (the program never joins one); needsLocation exists for its text
// only.
enum class WiFiError { noInterface = 0, powerOff = 1, gone = 2, needsLocation = 3, enterprise = 4 };

// The localized text of the failure. Main thread only.
QString description(WiFiError error);

} // namespace ondrel
