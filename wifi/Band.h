#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

namespace ondrel {

// Radio band of an access point. The raw values are stable: they are stored
// in the speed history and sorted on.
enum class Band { ghz2_4 = 24, ghz5 = 50, ghz6 = 60, unknown = 0 };

int rawValue(Band band);
// Exactly 24, 50, 60 and 0 give a band; any other number gives none.
std::optional<Band> bandFromRawValue(int raw);
// "2.4 GHz", "5 GHz", "6 GHz", or the localized "Unknown". Main thread only.
QString label(Band band);

// The band of a backend's band code: 1 (2.4 GHz), 2 (5 GHz), 3 (6 GHz);
// 0 and every other code are `unknown`.
Band bandFromCode(int bandCode);
// The inverse of bandFromCode(): 1, 2, 3, or 0 for `unknown`.
int bandCode(Band band);

} // namespace ondrel

Q_DECLARE_METATYPE(ondrel::Band)
