#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <optional>

namespace ondrel {

class NetworkListModel;
struct ScannedNetwork;

// Draws one network of the main window's list (the favourite star, signal
// bars, the name with its marks, the chips, the strength and the join
// control) and turns clicks on the star and on the join button into
// signals. Works on a NetworkListModel; the view must track the mouse so
// that rows know when the pointer is over them.
class NetworkRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit NetworkRow(QObject* parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The parts of a row, for hit tests.
    enum class Part { none, star, checkmark, padlock, joinButton, moreChips, row };
    Part partAt(const QStyleOptionViewItem& option, const QModelIndex& index, const QPoint& pos) const;
    // Where a part is drawn; nothing when the row does not show it.
    std::optional<QRect> partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                                  Part part) const;

    // Texts of the chip line, in order, for a row.
    static QStringList chipTexts(const NetworkListModel& model, int row);

Q_SIGNALS:
    void favoriteToggled(const QModelIndex& index);
    void connectRequested(const QModelIndex& index);

private:
    QPersistentModelIndex pressed_;
    Part pressedPart_ = Part::none;
};

} // namespace ondrel
