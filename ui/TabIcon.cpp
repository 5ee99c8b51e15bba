#include "ui/TabIcon.h"

#include "ui/PaintedIconEngine.h"
#include "ui/Tints.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ondrel {

namespace {

// The tab symbols, drawn so that they look the same with any icon theme or
// none; they take the palette's text colour when painted.
class TabIconEngine : public PaintedIconEngine {
public:
    explicit TabIconEngine(TabGlyph glyph) : glyph_(glyph) {}
    QIconEngine* clone() const override { return new TabIconEngine(glyph_); }
    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette pal = QApplication::palette();
        QColor color = mode == QIcon::Disabled ? tertiaryColor(pal) : primaryColor(pal);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const qreal s = qMin(rect.width(), rect.height());
        const QRectF r(rect.x() + (rect.width() - s) / 2, rect.y() + (rect.height() - s) / 2, s, s);
        const QPointF c = r.center();
        QPen pen(color, qMax(1.2, s / 12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p->setPen(pen);
        p->setBrush(Qt::NoBrush);
        switch (glyph_) {
        case TabGlyph::gear: {
            const qreal outer = s * 0.46, inner = s * 0.33;
            QPainterPath path;
            for (int i = 0; i < 16; ++i) {
                const qreal a = i * M_PI / 8 - M_PI / 32;
                const qreal radius = (i % 2 == 0) ? outer : inner;
                const qreal a2 = a + M_PI / 16;
                const QPointF p1 = c + QPointF(std::cos(a), std::sin(a)) * radius;
                const QPointF p2 = c + QPointF(std::cos(a2), std::sin(a2)) * radius;
                if (i == 0)
                    path.moveTo(p1);
                else
                    path.lineTo(p1);
                path.lineTo(p2);
            }
            path.closeSubpath();
            p->drawPath(path);
            p->drawEllipse(c, s * 0.13, s * 0.13);
            break;
        }
        case TabGlyph::list:
            for (int i = 0; i < 3; ++i) {
                const qreal y = r.top() + s * (0.24 + 0.26 * i);
                p->setBrush(color);
                p->drawEllipse(QPointF(r.left() + s * 0.16, y), s * 0.05, s * 0.05);
                p->setBrush(Qt::NoBrush);
                p->drawLine(QPointF(r.left() + s * 0.34, y), QPointF(r.right() - s * 0.08, y));
            }
            break;
        case TabGlyph::info:
            p->drawEllipse(c, s * 0.42, s * 0.42);
            p->drawLine(QPointF(c.x(), c.y() - s * 0.04), QPointF(c.x(), c.y() + s * 0.22));
            p->setBrush(color);
            p->setPen(Qt::NoPen);
            p->drawEllipse(QPointF(c.x(), c.y() - s * 0.2), s * 0.055, s * 0.055);
            break;
        }
        p->restore();
    }

private:
    TabGlyph glyph_;
};

} // namespace

QIcon tabIcon(TabGlyph glyph)
{
    return QIcon(new TabIconEngine(glyph));
}

} // namespace ondrel
