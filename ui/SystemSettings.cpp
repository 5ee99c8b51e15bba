#include "ui/SystemSettings.h"

#include <QProcess>
#include <QStandardPaths>

namespace ondrel {

std::optional<QStringList> systemSettingsCommand()
{
    const QList<QStringList> candidates = {
        {QStringLiteral("gnome-control-center"), QStringLiteral("wifi")},
        {QStringLiteral("systemsettings"), QStringLiteral("kcm_networkmanagement")},
        {QStringLiteral("nm-connection-editor")},
    };
    for (const QStringList& candidate : candidates) {
        const QString program = QStandardPaths::findExecutable(candidate.first());
        if (!program.isEmpty()) {
            QStringList command = candidate;
            command.first() = program;
            return command;
        }
    }
    return std::nullopt;
}

bool openSystemSettings()
{
    const std::optional<QStringList> command = systemSettingsCommand();
    if (!command)
        return false;
    return QProcess::startDetached(command->first(), command->mid(1));
}

} // namespace ondrel
