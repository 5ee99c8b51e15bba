#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace ondrel {

// Fonts and colours shared by the settings, speed test and history views.
// Sizes are in device-independent pixels so that a "13" reads the same on
// every desktop whatever its point-to-pixel ratio.
namespace viewstyle {

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
// The font with digits of equal width, for figures that change in place.
QFont figureFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// Text colours derived from the palette, so that dark themes work.
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
// The primary text colour at `alpha` (0..1), for fills and dividers.
QColor faint(const QPalette& palette, qreal alpha);

// System colours tuned for light and dark windows.
QColor red(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor yellow(const QPalette& palette);
QColor accent(const QPalette& palette);

// Gives a label's text the secondary (or an explicit) colour.
void setTextColor(QWidget* widget, const QColor& color);
void setSecondary(QWidget* widget);

// Whether the palette paints light text on a dark window.
bool isDark(const QPalette& palette);

} // namespace viewstyle
} // namespace ondrel
