#include "ui/NetworkListView.h"

#include "ui/AccessibleRoles.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkRow.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QKeyEvent>

#include <algorithm>

namespace ondrel {

NetworkListView::NetworkListView(NetworkListModel* model, QWidget* parent)
    : QListView(parent), model_(model), delegate_(new NetworkRow(this))
{
    installAccessibleRoles();
    setModel(model_);
    setItemDelegate(delegate_);
    setUniformItemSizes(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QListView::doubleClicked, this, &NetworkListView::askToJoin);
}

void NetworkListView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        askForMenu(currentIndex(), true);
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        Q_EMIT contextMenuRequested(index.row(), viewport()->mapToGlobal(event->pos()), false);
}

void NetworkListView::askForMenu(const QModelIndex& index, bool fromKeyboard)
{
    if (index.isValid())
        Q_EMIT contextMenuRequested(index.row(), viewport()->mapToGlobal(visualRect(index).center()),
                                    fromKeyboard);
}

void NetworkListView::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    // After the list's own focus announcement, so that the row's comes last
    // and screen readers read the row.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!hasFocus() || model_->rowCount() == 0)
                return;
            if (!currentIndex().isValid()) {
                setCurrentIndex(model_->index(0));
                return;
            }
            QAccessibleEvent focus(this, QAccessible::Focus);
            focus.setChild(currentIndex().row());
            QAccessible::updateAccessibility(&focus);
        },
        Qt::QueuedConnection);
}

void NetworkListView::askToJoin(const QModelIndex& index)
{
    if (index.isValid() && !model_->network(index.row()).isCurrent)
        Q_EMIT joinRequested(index.row());
}

bool NetworkListView::startsSearch(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers held =
        event.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier);
    const QString text = event.text();
    if (held != Qt::NoModifier || text.trimmed().isEmpty())
        return false;
    return std::ranges::all_of(text, [](QChar c) { return c.isPrint(); });
}

void NetworkListView::keyPressEvent(QKeyEvent* event)
{
    if (startsSearch(*event)) {
        Q_EMIT typed(event->text());
        event->accept();
        return;
    }
    const QModelIndex current = currentIndex();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Return joins the focused row, as a double click does.
        askToJoin(current);
        event->accept();
        return;
    case Qt::Key_F10:
        // Shift+F10, the other context-menu key (the Menu key comes as a
        // context menu event).
        if (event->modifiers() == Qt::ShiftModifier) {
            askForMenu(current, true);
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
