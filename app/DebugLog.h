#pragma once

#include <QString>

namespace ondrel {

// Appends "YYYY-MM-DD HH:MM:SS +0000 message\n" (UTC) to the file named by
// the environment variable ONDREL_LOG, creating the file if needed. Does
// nothing when the variable is unset; never reports its own failures.
// Safe to call from any thread: concurrent lines never interleave.
void debugLog(const QString& message);

} // namespace ondrel
