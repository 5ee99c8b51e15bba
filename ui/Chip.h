#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;
class QPalette;

namespace ondrel {

// A small rounded label: band, security, "Known", a measured speed and the
// detail values of a network row. Emphasized chips are semibold in the
// primary colour, the others regular in the secondary colour. The text is
// always plain and reads in its own direction (that of its first letter).
struct Chip {
    QString text;
    bool emphasized = false;

    // The chip's font derived from the row's base font (11 px).
    static QFont font(const QFont& base, bool emphasized);
    QSizeF size(const QFont& base) const;
    // Draws the chip with its top-left corner at `origin`.
    void paint(QPainter& painter, const QPointF& origin, const QFont& base, const QPalette& palette) const;

    static constexpr double kPaddingX = 6.0;
    static constexpr double kPaddingY = 2.0;
};

} // namespace ondrel
