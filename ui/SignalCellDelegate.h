#pragma once

#include <QStyledItemDelegate>

namespace ondrel {

// Draws a history row's signal cell: 12-pixel signal bars for the RSSI of
// the model's RssiRole and, 6 pixels after them, the cell's "-55 dBm" text.
class SignalCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace ondrel
