#include "ui/SortButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace ondrel {

SortButton::SortButton(QWidget* parent) : QToolButton(parent)
{
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::TabFocus);
}

QSize SortButton::sizeHint() const
{
    return QToolButton::sizeHint() + QSize(kChevronRoom, 0);
}

QSize SortButton::minimumSizeHint() const
{
    return sizeHint();
}

void SortButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The style's own menu arrow is replaced by the chevron below.
    option.features &= ~(QStyleOptionToolButton::HasMenu | QStyleOptionToolButton::MenuButtonPopup);

    // The panel (hover, press, focus) over the whole button ...
    QStyleOptionToolButton panel = option;
    panel.text.clear();
    panel.icon = QIcon();
    panel.toolButtonStyle = Qt::ToolButtonIconOnly;
    painter.drawComplexControl(QStyle::CC_ToolButton, panel);

    // ... the icon and caption in the leading part ...
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    const QRect logical = rect().adjusted(frame, frame, -frame - kChevronRoom, -frame);
    QStyleOptionToolButton label = option;
    label.rect = QStyle::visualRect(layoutDirection(), rect(), logical);
    painter.drawControl(QStyle::CE_ToolButtonLabel, label);

    // ... and the chevron centred in the room kept at the trailing end.
    const QRect room =
        QStyle::visualRect(layoutDirection(), rect(),
                           QRect(rect().right() - frame - kChevronRoom + 1, 0, kChevronRoom, height()));
    const QPointF c = QRectF(room).center() - QPointF(layoutDirection() == Qt::RightToLeft ? -1 : 1, 0);
    QPainterPath chevron;
    chevron.moveTo(c + QPointF(-3.5, -1.75));
    chevron.lineTo(c + QPointF(0, 1.75));
    chevron.lineTo(c + QPointF(3.5, -1.75));
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor color =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
}

} // namespace ondrel
