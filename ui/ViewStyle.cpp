#include "ui/ViewStyle.h"

#include <QApplication>
#include <QWidget>

namespace ondrel::viewstyle {

namespace {

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t), float(a.greenF() * (1 - t) + b.greenF() * t),
                            float(a.blueF() * (1 - t) + b.blueF() * t));
}

} // namespace

QFont font(int pixelSize, QFont::Weight weight)
{
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

QFont figureFont(int pixelSize, QFont::Weight weight)
{
    // The desktop's UI fonts (Noto Sans, DejaVu Sans, Cantarell) draw their
    // default digits at one width; Qt 6.4 cannot ask for tabular figures.
    QFont f = font(pixelSize, weight);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor secondaryText(const QPalette& palette)
{
    return mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.62);
}

QColor tertiaryText(const QPalette& palette)
{
    return mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.36);
}

QColor faint(const QPalette& palette, qreal alpha)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(float(alpha));
    return c;
}

QColor red(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x26, 0x1e);
}

QColor green(const QPalette& palette)
{
    return isDark(palette) ? QColor(0x32, 0xd7, 0x4b) : QColor(0x24, 0xa1, 0x48);
}

QColor orange(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0x9f, 0x0a) : QColor(0xe0, 0x7b, 0x00);
}

QColor yellow(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0xd6, 0x0a) : QColor(0xf2, 0xb1, 0x00);
}

QColor accent(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
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
    setTextColor(widget, secondaryText(widget->palette()));
}

} // namespace ondrel::viewstyle
