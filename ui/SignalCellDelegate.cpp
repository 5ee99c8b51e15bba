#include "ui/SignalCellDelegate.h"

#include "ui/FigureCellDelegate.h"
#include "ui/SignalBars.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/Strength.h"

#include <QApplication>
#include <QPainter>

namespace ondrel {

void SignalCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text =
        opt.direction == Qt::RightToLeft ? FigureCellDelegate::leftToRight(opt.text) : opt.text;
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget); // background and selection

    // A little air after the trailing-aligned figures of the column before.
    constexpr int lead = 8;
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                           .adjusted(opt.direction == Qt::RightToLeft ? 0 : lead, 0,
                                     opt.direction == Qt::RightToLeft ? -lead : 0, 0);
    const bool rtl = opt.direction == Qt::RightToLeft;
    constexpr int barHeight = 12;
    const int barsX = rtl ? area.right() - int(SignalBars::kWidth) : area.left();
    const QRectF bars(barsX, area.center().y() - barHeight / 2.0 + 0.5, SignalBars::kWidth, barHeight);
    SignalBars::paint(*painter, bars, barsFor(index.data(SpeedHistoryModel::RssiRole).toInt()), opt.palette);

    const int gap = int(SignalBars::kWidth) + 6;
    const QRect textRect = rtl ? area.adjusted(0, 0, -gap, 0) : area.adjusted(gap, 0, 0, 0);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, int(Qt::AlignVCenter | (rtl ? Qt::AlignRight : Qt::AlignLeft)),
                      opt.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
    painter->restore();
}

QSize SignalCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += int(SignalBars::kWidth) + 6 + 8;
    return size;
}

} // namespace ondrel
