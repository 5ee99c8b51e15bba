#include "ui/NetworkListAccessible.h"

#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRowAccessible.h"

namespace ondrel {

NetworkListAccessible::NetworkListAccessible(NetworkListView* view)
    : QAccessibleWidget(view, QAccessible::List)
{
}

NetworkListAccessible::~NetworkListAccessible()
{
    for (QAccessible::Id id : std::as_const(rows_))
        QAccessible::deleteAccessibleInterface(id);
}

NetworkListView* NetworkListAccessible::view() const
{
    return static_cast<NetworkListView*>(widget());
}

int NetworkListAccessible::childCount() const
{
    return view()->networks()->rowCount();
}

QAccessibleInterface* NetworkListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    const QModelIndex row = view()->networks()->index(index);
    const QString id = row.data(NetworkListModel::IdRole).toString();
    if (const auto it = rows_.constFind(id); it != rows_.constEnd()) {
        auto* known = static_cast<NetworkRowAccessible*>(QAccessible::accessibleInterface(*it));
        if (known && known->isValid() && known->row() == index)
            return known;
        QAccessible::deleteAccessibleInterface(*it);
        rows_.erase(it);
    }
    auto* made = new NetworkRowAccessible(view(), row);
    rows_.insert(id, QAccessible::registerAccessibleInterface(made));
    return made;
}

int NetworkListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child || child->role() != QAccessible::ListItem || child->parent() != this)
        return -1;
    return static_cast<const NetworkRowAccessible*>(child)->row();
}

QAccessibleInterface* NetworkListAccessible::childAt(int x, int y) const
{
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* NetworkListAccessible::focusChild() const
{
    const QModelIndex current = view()->currentIndex();
    return view()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}

} // namespace ondrel
