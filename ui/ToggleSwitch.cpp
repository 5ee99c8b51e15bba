#include "ui/ToggleSwitch.h"

#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace ondrel {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const
{
    return {34, 20};
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    const QPalette pal = palette();
    QColor fill = isChecked() ? pal.color(QPalette::Highlight) : primaryFill(pal, 0.18);
    if (!isEnabled())
        fill.setAlphaF(fill.alphaF() * 0.45f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);

    // The knob sits at the trailing end when on, mirrored in right-to-left layouts.
    const qreal d = track.height() - 4;
    bool atEnd = isChecked();
    if (layoutDirection() == Qt::RightToLeft)
        atEnd = !atEnd;
    const qreal x = atEnd ? track.right() - 2 - d : track.left() + 2;
    p.setBrush(QColor(Qt::white));
    p.setPen(QPen(primaryFill(pal, 0.12), 0.5));
    p.drawEllipse(QRectF(x, track.top() + 2, d, d));

    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        QColor ring = pal.color(QPalette::Highlight);
        ring.setAlphaF(0.5f);
        p.setPen(QPen(ring, 2));
        p.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
    }
}

} // namespace ondrel
