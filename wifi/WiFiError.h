#pragma once

#include <QString>

namespace ondrel {

// The engine's own failures. The numeric code of each is its order (0 to 3).
// The engine raises noInterface, powerOff and gone; needsLocation exists for
// its text only.
enum class WiFiError { noInterface = 0, powerOff = 1, gone = 2, needsLocation = 3 };

// The localized text of the failure. Main thread only.
QString description(WiFiError error);

} // namespace ondrel
