#include "ui/NetworkListAccessible.h"

#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRowAccessible.h"

namespace ondrel {

namespace {

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ondrel::NetworkListView") && object && object->isWidgetType())
        return new NetworkListAccessible(static_cast<NetworkListView*>(object));
    return nullptr;
}

} // namespace

NetworkListAccessible::NetworkListAccessible(NetworkListView* view)
    : QAccessibleWidget(view, QAccessible::List)
{
}

NetworkListAccessible::~NetworkListAccessible()
{
    for (QAccessible::Id id : std::as_const(rows_))
        QAccessible::deleteAccessibleInterface(id);
}

void NetworkListAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
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
    if (const auto it = rows_.constFind(index); it != rows_.constEnd()) {
        auto* row = static_cast<NetworkRowAccessible*>(QAccessible::accessibleInterface(*it));
        if (row && row->isValid() && row->row() == index)
            return row;
        QAccessible::deleteAccessibleInterface(*it);
        rows_.erase(it);
    }
    auto* row = new NetworkRowAccessible(view(), view()->networks()->index(index));
    rows_.insert(index, QAccessible::registerAccessibleInterface(row));
    return row;
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
