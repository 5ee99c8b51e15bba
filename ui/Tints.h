#pragma once

#include <QColor>
#include <QPalette>

namespace ondrel {

// The few colours the windows use beyond the palette's own roles. Each
// follows the palette: the dark variants are used when the window colour is
// dark, so that tints keep their contrast in dark themes.

bool isDark(const QPalette& palette);

QColor tintGreen(const QPalette& palette);
QColor tintOrange(const QPalette& palette);
QColor tintRed(const QPalette& palette);
QColor tintYellow(const QPalette& palette);

// The text colour ("primary") and a dimmer one for secondary lines.
QColor primaryColor(const QPalette& palette);
QColor secondaryColor(const QPalette& palette);
QColor tertiaryColor(const QPalette& palette);

// The primary colour at `opacity` (0 to 1): the faint fills behind chips,
// banners and the unlit signal bars.
QColor primaryFill(const QPalette& palette, double opacity);

} // namespace ondrel
