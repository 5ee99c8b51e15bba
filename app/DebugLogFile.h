#pragma once

namespace ondrel {

// Sends the diagnostics (debugLog(), localization/DebugLog.h) to the file
// named by the environment variable ONDREL_LOG, read at each line: appends
// "YYYY-MM-DD HH:MM:SS +0000 message\n" (UTC), creating the file if needed;
// drops them while the variable is unset; never reports its own failures.
// Lines from concurrent threads never interleave. Other messages go on to
// the handler installed before. Call on the main thread, again after another
// handler has been installed (QTest installs its own in qExec()).
void installDebugLogFile();

} // namespace ondrel
