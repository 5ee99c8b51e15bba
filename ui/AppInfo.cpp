#include "ui/AppInfo.h"

namespace ondrel {

QString AppInfo::versionText(const QString& shortVersion, const QString& build)
{
    const QString s = shortVersion.isEmpty() ? QStringLiteral("1.0.0") : shortVersion;
    const QString b = build.isEmpty() ? s : build;
    return b == s ? s : QStringLiteral("%1 (%2)").arg(s, b);
}

QString AppInfo::version()
{
#ifdef ONDREL_BUILD_NUMBER
    const QString build = QStringLiteral(ONDREL_BUILD_NUMBER);
#else
    const QString build;
#endif
    return versionText(QStringLiteral(ONDREL_VERSION), build);
}

} // namespace ondrel
