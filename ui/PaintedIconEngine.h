#pragma once

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace ondrel {

// An icon drawn by code at whatever size it is asked for; a subclass only
// paints. On a high-density screen QIcon asks for the size in device pixels
// and sets the pixmap's ratio itself, so the drawing is as sharp as the
// screen: no scaledPixmap of our own, which would scale a second time.
class PaintedIconEngine : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }
};

} // namespace ondrel
