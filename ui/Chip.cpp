#include "ui/Chip.h"

#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace ondrel {

QFont Chip::font(const QFont& base, bool emphasized)
{
    return viewstyle::scaled(base, 11, emphasized ? QFont::DemiBold : QFont::Normal);
}

QSizeF Chip::size(const QFont& base) const
{
    const QFontMetricsF metrics(font(base, emphasized));
    return QSizeF(std::ceil(metrics.horizontalAdvance(text)) + 2 * kPaddingX,
                  std::ceil(metrics.height()) + 2 * kPaddingY);
}

void Chip::paint(QPainter& painter, const QPointF& origin, const QFont& base, const QPalette& palette) const
{
    const QRectF box(origin, size(base));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath background;
    background.addRoundedRect(box, 4, 4);
    painter.fillPath(background, primaryFill(palette, isDark(palette) ? 0.12 : 0.07));
    painter.setFont(font(base, emphasized));
    painter.setPen(emphasized ? primaryColor(palette) : secondaryColor(palette));
    // A chip reads in its own direction, whatever the window's: "5 GHz" and
    // "S/N 32 dB" stay so in an Arabic row, an Arabic chip runs right to left.
    viewstyle::drawOwnDirection(painter, box, Qt::AlignCenter, text);
    painter.restore();
}

} // namespace ondrel
