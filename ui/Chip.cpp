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
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

} // namespace ondrel
