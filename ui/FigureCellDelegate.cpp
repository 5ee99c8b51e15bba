#include "ui/FigureCellDelegate.h"

namespace ondrel {

QString FigureCellDelegate::leftToRight(const QString& text)
{
    // LEFT-TO-RIGHT MARKs on both sides make the whole figure one
    // left-to-right run, whatever its digits and spaces.
    const QChar mark(0x200E);
    return mark + text + mark;
}

void FigureCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->direction == Qt::RightToLeft && !option->text.isEmpty())
        option->text = leftToRight(option->text);
}

} // namespace ondrel
