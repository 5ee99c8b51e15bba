#pragma once

#include <QStyledItemDelegate>

namespace ondrel {

// Draws figures with units ("5 GHz", "12 ms", dates) left to right also in
// right-to-left windows, where the cell's base direction would otherwise
// turn "5 GHz" into "GHz 5".
class FigureCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // `text` kept in left-to-right order inside a right-to-left paragraph.
    static QString leftToRight(const QString& text);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace ondrel
