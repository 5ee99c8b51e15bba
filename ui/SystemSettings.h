#pragma once

#include <QStringList>

#include <optional>

namespace ondrel {

// The desktop's settings program for Wi-Fi and privacy: the first of
// gnome-control-center, KDE's systemsettings and nm-connection-editor that
// is installed, with its arguments. Absent when none is; windows then
// offer no button for it.
std::optional<QStringList> systemSettingsCommand();

// Starts that program detached; false when there is none or it fails.
bool openSystemSettings();

} // namespace ondrel
