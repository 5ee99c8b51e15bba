// Modes that this build does not have yet. Each says so on standard error and
// ends with status 2.

#include "app/Modes.h"

#include <cstdio>

namespace ondrel {

namespace {

int notYetAvailable(const char* mode)
{
    std::fprintf(stderr, "ondrel: %s is not available in this build\n", mode);
    return 2;
}

} // namespace

int runShot(const QString&, bool, const QStringList&)
{
    return notYetAvailable("--shot");
}

int runWindowedApp()
{
    return notYetAvailable("the windowed application");
}

} // namespace ondrel
