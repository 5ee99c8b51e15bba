#include "ui/Symbols.h"

#include "ui/PaintedIconEngine.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QtMath>

namespace ondrel {

namespace {

// Every symbol is drawn on a 16 × 16 grid that is scaled into the target.
constexpr double kGrid = 16.0;

QPainterPath starPath()
{
    QPainterPath path;
    const QPointF centre(8, 8.6);
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? 7.4 : 3.1;
        const double angle = qDegreesToRadians(-90.0 + 36.0 * i);
        const QPointF p(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

void drawLock(QPainter& p, const QColor& color, bool open)
{
    QPainterPath body;
    body.addRoundedRect(QRectF(3, 7, 10, 8), 1.6, 1.6);
    p.fillPath(body, color);
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    if (open) {
        shackle.moveTo(10.2, 7);
        shackle.lineTo(10.2, 4.6);
        shackle.arcTo(QRectF(10.2, 1.2, 5.2, 6.4), 180, -180);
        shackle.lineTo(15.4, 5.4);
    } else {
        shackle.moveTo(5.4, 7);
        shackle.lineTo(5.4, 4.8);
        shackle.arcTo(QRectF(5.4, 1.4, 5.2, 6.4), 180, -180);
        shackle.lineTo(10.6, 7);
    }
    p.drawPath(shackle);
}

void drawWifiArcs(QPainter& p, const QColor& color, double width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF centre(8, 13.2);
    for (double radius : {3.6, 7.0, 10.4}) {
        if (radius > 10)
            radius = 10.2;
        QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        p.drawArc(box, 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(centre, 1.4, 1.4);
}

void drawCircleMark(QPainter& p, const QColor& color, bool info)
{
    QPainterPath disc;
    disc.addEllipse(QRectF(1, 1, 14, 14));
    QPainterPath mark;
    if (info) {
        mark.addEllipse(QRectF(7, 3.6, 2, 2));
        mark.addRoundedRect(QRectF(7.05, 6.8, 1.9, 6), 0.8, 0.8);
    } else {
        QPainterPathStroker stroker;
        stroker.setWidth(1.9);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        QPainterPath check;
        check.moveTo(4.6, 8.3);
        check.lineTo(7.0, 10.7);
        check.lineTo(11.5, 5.6);
        mark = stroker.createStroke(check);
    }
    p.fillPath(disc.subtracted(mark), color);
}

void drawWarning(QPainter& p, const QColor& color)
{
    QPainterPath triangle;
    triangle.moveTo(8, 1.2);
    triangle.lineTo(15.3, 14.4);
    triangle.lineTo(0.7, 14.4);
    triangle.closeSubpath();
    QPainterPathStroker rounder;
    rounder.setWidth(1.4);
    rounder.setJoinStyle(Qt::RoundJoin);
    QPainterPath shape = triangle.united(rounder.createStroke(triangle));
    QPainterPath mark;
    mark.addRoundedRect(QRectF(7.1, 5.2, 1.8, 5.2), 0.8, 0.8);
    mark.addEllipse(QRectF(7.05, 11.3, 1.9, 1.9));
    p.fillPath(shape.subtracted(mark), color);
}

void drawSpeedometer(QPainter& p, const QColor& color)
{
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF dial(1.2, 2.2, 13.6, 13.6);
    p.drawArc(dial, -30 * 16, 240 * 16);
    const QPointF centre = dial.center();
    // Ticks along the dial.
    pen.setWidthF(1.2);
    p.setPen(pen);
    for (int angle : {210, 150, 90, 30, -30}) {
        const double a = qDegreesToRadians(double(angle));
        const QPointF dir(std::cos(a), -std::sin(a));
        p.drawLine(centre + dir * 4.6, centre + dir * 5.6);
    }
    // The needle pointing up and to the right.
    pen.setWidthF(1.7);
    p.setPen(pen);
    const double needle = qDegreesToRadians(50.0);
    p.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * 4.8);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(centre, 1.5, 1.5);
}

void drawArrowClockwise(QPainter& p, const QColor& color)
{
    QPen pen(color, 1.7, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF circle(2.4, 2.6, 11.2, 11.2);
    p.drawArc(circle, 80 * 16, 290 * 16);
    // The arrow head at the arc's open end, pointing clockwise.
    QPainterPath head;
    head.moveTo(8.2, 0.4);
    head.lineTo(11.6, 2.9);
    head.lineTo(8.0, 5.2);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(head);
}

void drawArrowUpDown(QPainter& p, const QColor& color)
{
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // Up arrow on the left, down arrow on the right.
    p.drawLine(QPointF(5, 2.5), QPointF(5, 13.5));
    p.drawPolyline(QPolygonF({QPointF(2, 5.5), QPointF(5, 2.5), QPointF(8, 5.5)}));
    p.drawLine(QPointF(11, 2.5), QPointF(11, 13.5));
    p.drawPolyline(QPolygonF({QPointF(8, 10.5), QPointF(11, 13.5), QPointF(14, 10.5)}));
}

void drawAntenna(QPainter& p, const QColor& color)
{
    QPen pen(color, 1.3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF centre(8, 7);
    for (double radius : {3.2, 5.8}) {
        QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        p.drawArc(box, 135 * 16, 90 * 16);
        p.drawArc(box, -45 * 16, 90 * 16);
    }
    p.drawLine(QPointF(8, 8), QPointF(5.8, 15));
    p.drawLine(QPointF(8, 8), QPointF(10.2, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(centre, 1.4, 1.4);
}

void drawMagnifier(QPainter& p, const QColor& color)
{
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2, 2, 8.4, 8.4));
    p.drawLine(QPointF(9.4, 9.4), QPointF(14, 14));
}

class SymbolIconEngine : public PaintedIconEngine {
public:
    SymbolIconEngine(Symbol symbol, std::optional<QColor> color) : symbol_(symbol), color_(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QApplication::palette();
        QColor color = color_.value_or(palette.color(QPalette::WindowText));
        if (mode == QIcon::Disabled) {
            if (!color_)
                color = palette.color(QPalette::Disabled, QPalette::WindowText);
            color.setAlphaF(color.alphaF() * 0.45f);
        }
        drawSymbol(*painter, symbol_, rect, color);
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(symbol_, color_); }

private:
    Symbol symbol_;
    std::optional<QColor> color_;
};

} // namespace

void drawSymbol(QPainter& painter, Symbol symbol, const QRectF& rect, const QColor& color)
{
    const double side = std::min(rect.width(), rect.height());
    if (side <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / kGrid, side / kGrid);
    switch (symbol) {
    case Symbol::star: {
        QPen pen(color, 1.3);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(starPath());
        break;
    }
    case Symbol::starFill: {
        QPen pen(color, 0.8);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(color);
        painter.drawPath(starPath());
        break;
    }
    case Symbol::lockFill:
        drawLock(painter, color, false);
        break;
    case Symbol::lockOpen:
        drawLock(painter, color, true);
        break;
    case Symbol::checkmarkCircle:
        drawCircleMark(painter, color, false);
        break;
    case Symbol::infoFill:
        drawCircleMark(painter, color, true);
        break;
    case Symbol::warningFill:
        drawWarning(painter, color);
        break;
    case Symbol::speedometer:
        drawSpeedometer(painter, color);
        break;
    case Symbol::arrowClockwise:
        drawArrowClockwise(painter, color);
        break;
    case Symbol::arrowUpDown:
        drawArrowUpDown(painter, color);
        break;
    case Symbol::wifi:
        drawWifiArcs(painter, color, 1.7);
        break;
    case Symbol::wifiSlash: {
        drawWifiArcs(painter, color, 1.5);
        QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(2.2, 1.8), QPointF(13.8, 14.6));
        break;
    }
    case Symbol::antenna:
        drawAntenna(painter, color);
        break;
    case Symbol::magnifier:
        drawMagnifier(painter, color);
        break;
    }
    painter.restore();
}

QIcon symbolIcon(Symbol symbol, std::optional<QColor> color)
{
    return QIcon(new SymbolIconEngine(symbol, color));
}

QIcon themedIcon(const QString& themeName, Symbol fallback)
{
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return symbolIcon(fallback);
}

} // namespace ondrel
