#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

#include <optional>

class QPainter;

namespace ondrel {

// Small pictograms the windows draw themselves, so that they look the same
// with any icon theme, with none at all (the off-screen renderer has none)
// and in dark themes.
enum class Symbol {
    star,            // outline star
    starFill,        // filled star
    lockFill,        // closed padlock
    lockOpen,        // open padlock
    checkmarkCircle, // filled circle with a check mark cut out
    speedometer,
    arrowClockwise, // rescan
    arrowUpDown,    // sort order
    wifi,           // three arcs over a dot
    wifiSlash,      // Wi-Fi with a stroke through it
    antenna,        // a mast sending waves both ways
    warningFill,    // filled triangle with an exclamation mark
    infoFill,       // filled circle with an "i"
    magnifier,      // search
};

// Draws `symbol` centred in `rect` (kept square) in `color`.
void drawSymbol(QPainter& painter, Symbol symbol, const QRectF& rect, const QColor& color);

// An icon that draws `symbol` at any size. Without a colour it takes the
// application palette's text colour at paint time (and the disabled text
// colour for disabled actions), so it follows theme changes.
QIcon symbolIcon(Symbol symbol, std::optional<QColor> color = std::nullopt);

// The icon theme's icon `themeName` when the desktop has one, else the
// drawn symbol.
QIcon themedIcon(const QString& themeName, Symbol fallback);

} // namespace ondrel
