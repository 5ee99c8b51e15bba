#include "ui/NetworkListView.h"

#include "ui/NetworkListAccessible.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkRow.h"

#include <QKeyEvent>

namespace ondrel {

NetworkListView::NetworkListView(NetworkListModel* model, QWidget* parent)
    : QListView(parent), model_(model), delegate_(new NetworkRow(this))
{
    NetworkListAccessible::installFactory();
    setModel(model_);
    setItemDelegate(delegate_);
    setUniformItemSizes(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QListView::doubleClicked, this, &NetworkListView::askToJoin);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid())
            Q_EMIT contextMenuRequested(index.row(), viewport()->mapToGlobal(pos));
    });
}

void NetworkListView::askToJoin(const QModelIndex& index)
{
    if (index.isValid() && !model_->network(index.row()).isCurrent)
        Q_EMIT joinRequested(index.row());
}

void NetworkListView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Return joins the focused row, as a double click does.
        askToJoin(current);
        event->accept();
        return;
    case Qt::Key_Menu:
    case Qt::Key_F10:
        if (event->key() == Qt::Key_Menu || event->modifiers() == Qt::ShiftModifier) {
            if (current.isValid()) {
                const QRect rect = visualRect(current);
                Q_EMIT contextMenuRequested(current.row(), viewport()->mapToGlobal(rect.center()));
            }
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QListView::keyPressEvent(event);
}

} // namespace ondrel
