#include "ui/ViewStyle.h"

#include "store/DisplayName.h"
#include "ui/Tints.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPainter>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace ondrel::viewstyle {

QFont scaled(const QFont& base, double size, QFont::Weight weight)
{
    constexpr double body = 13;
    const QFont desktop = QApplication::font();
    QFont f = base;
    if (desktop.pointSizeF() > 0)
        f.setPointSizeF(desktop.pointSizeF() * size / body);
    else
        f.setPixelSize(std::max(1, int(std::lround(desktop.pixelSize() * size / body))));
    f.setWeight(weight);
    return f;
}

double scaledSize(double designPixels, const QFont& base)
{
    const double body = QFontInfo(scaled(base, 13)).pixelSize();
    return std::max(designPixels * 0.75, designPixels * body / 13.0);
}

QFont font(double size, QFont::Weight weight)
{
    return scaled(QApplication::font(), size, weight);
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    widget->setPalette(p);
}

void setSecondary(QWidget* widget)
{
    // From the inherited palette, not the widget's own: it may carry a colour
    // set earlier (a note that was red).
    const QPalette base =
        widget->parentWidget() ? widget->parentWidget()->palette() : QApplication::palette(widget);
    setTextColor(widget, secondaryColor(base));
}

void alignLeading(QLabel* label, bool rightToLeft)
{
    const Qt::Alignment vertical = label->alignment() & Qt::AlignVertical_Mask;
    label->setAlignment(Qt::AlignAbsolute | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft) | vertical);
}

void levelBaseline(QLabel* label)
{
    QTextLayout layout(label->text().section(QLatin1Char('\n'), 0, 0), label->font());
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6);
    layout.endLayout();
    const QFontMetricsF own(label->font());
    // Centring puts the baseline (ascent - descent) / 2 below the middle.
    const double down =
        line.isValid() ? ((own.ascent() - own.descent()) - (line.ascent() - line.descent())) / 2 : 0;
    const int margin = qRound(2 * std::abs(down));
    label->setContentsMargins(0, down > 0 ? margin : 0, 0, down < 0 ? margin : 0);
}

void drawOwnDirection(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text)
{
    painter.save();
    painter.setLayoutDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    painter.drawText(rect, int(Qt::AlignAbsolute | alignment | Qt::TextSingleLine), text);
    painter.restore();
}

QString plainToolTip(const QString& text)
{
    if (text.isEmpty() || !Qt::mightBeRichText(text))
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

void setToolTip(QWidget* widget, const QString& text, const QString& description)
{
    const QString tip = plainToolTip(text);
    widget->setToolTip(tip);
    widget->setAccessibleDescription(description.isEmpty() && tip != text ? text : description);
}

void describeName(QLabel* label, const std::optional<QString>& ssid)
{
    const QString bytes = ssid ? nameBytesLine(*ssid) : QString();
    setToolTip(label, bytes.isEmpty() ? QString() : label->text() + QLatin1Char('\n') + bytes, bytes);
}

} // namespace ondrel::viewstyle
