#include "ui/Tints.h"

namespace ondrel {

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor tintGreen(const QPalette& palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor tintOrange(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 159, 10) : QColor(230, 126, 0);
}

QColor tintRed(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 69, 58) : QColor(215, 40, 40);
}

QColor tintYellow(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 214, 10) : QColor(245, 180, 0);
}

QColor primaryColor(const QPalette& palette)
{
    return palette.color(QPalette::WindowText);
}

QColor secondaryColor(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(isDark(palette) ? 0.6f : 0.62f);
    return c;
}

QColor tertiaryColor(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.35f);
    return c;
}

QColor primaryFill(const QPalette& palette, double opacity)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(float(opacity));
    return c;
}

} // namespace ondrel
