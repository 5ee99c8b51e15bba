#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QString>

namespace ondrel {

class NetworkListView;

// What screen readers see of the network list: a list whose children are
// the rows (NetworkRowAccessible), each with its name, marks and actions.
// A row's object belongs to its network for as long as the network stays in
// the list, wherever the list moves it, so that a screen reader keeps its
// place when the list is reordered. The scroll bars and the viewport are not
// exposed, as in Qt's own views.
class NetworkListAccessible : public QAccessibleWidget {
public:
    explicit NetworkListAccessible(NetworkListView* view);
    ~NetworkListAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    NetworkListView* view() const;

    // The row interfaces handed out, by the network's id; one whose network
    // has left the list is dropped when its id is asked for again.
    mutable QHash<QString, QAccessible::Id> rows_;
};

} // namespace ondrel
