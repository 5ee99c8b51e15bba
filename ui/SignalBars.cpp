#include "ui/SignalBars.h"

#include "ui/Tints.h"

#include <QPainter>
#include <QPainterPath>

namespace ondrel {

SignalBars::SignalBars(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QString());
}

void SignalBars::setBars(int bars)
{
    if (bars == bars_)
        return;
    bars_ = bars;
    update();
}

void SignalBars::setBarHeight(double height)
{
    height_ = height;
    updateGeometry();
    update();
}

QSize SignalBars::sizeHint() const
{
    return QSize(int(kWidth), int(std::ceil(height_)));
}

void SignalBars::paint(QPainter& painter, const QRectF& rect, int bars, const QPalette& palette)
{
    const QColor tint = bars >= 3 ? tintGreen(palette) : bars == 2 ? tintOrange(palette) : tintRed(palette);
    const QColor unlit = primaryFill(palette, isDark(palette) ? 0.22 : 0.15);
    constexpr double barWidth = 3.0;
    constexpr double gap = 2.0;
    const double height = rect.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    // Centred in the 21-unit frame: four bars and three gaps take 18.
    double x = rect.left() + (rect.width() - (4 * barWidth + 3 * gap)) / 2;
    for (int i = 1; i <= 4; ++i) {
        const double h = height * (0.34 + 0.22 * (i - 1));
        QPainterPath bar;
        bar.addRoundedRect(QRectF(x, rect.bottom() - h, barWidth, h), 1, 1);
        painter.fillPath(bar, i <= bars ? tint : unlit);
        x += barWidth + gap;
    }
    painter.restore();
}

void SignalBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF frame(0, (height() - height_) / 2, kWidth, height_);
    paint(painter, frame, bars_, palette());
}

} // namespace ondrel
