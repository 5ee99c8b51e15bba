#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPersistentModelIndex>

namespace ondrel {

class NetworkListView;

// What screen readers see of the network list: a list whose children are
// the rows (NetworkRowAccessible), each with its name, marks and actions.
// The scroll bars and the viewport are not exposed, as in Qt's own views.
class NetworkListAccessible : public QAccessibleWidget {
public:
    explicit NetworkListAccessible(NetworkListView* view);
    ~NetworkListAccessible() override;

    // Makes QAccessible build this interface for every NetworkListView.
    static void installFactory();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    NetworkListView* view() const;

    // The row interfaces handed out, by row; one whose row has gone (the
    // list was replaced) is dropped when its row is asked for again.
    mutable QHash<int, QAccessible::Id> rows_;
};

} // namespace ondrel
