#pragma once

#include <QString>

namespace ondrel {

// What the About page says about this build.
struct AppInfo {
    // "short", or "short (build)" when the build number differs.
    static QString versionText(const QString& shortVersion, const QString& build);
    // This program's version text.
    static QString version();
};

} // namespace ondrel
