#pragma once

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QPersistentModelIndex>
#include <QPointer>

namespace ondrel {

class NetworkListView;
struct ScannedNetwork;

// One row of the network list for screen readers. Its name says the
// network's name (by the display rule), whether it is the current network,
// saved or a favourite, its signal and its security; its description lists
// the row's chips and, for a name that is not plain ASCII, its bytes. Its
// actions are the row's controls: join (the default action, not offered for
// the current network, an enterprise network or one being joined) and add
// to or remove from the favourites (not for a network without a name).
class NetworkRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NetworkRowAccessible(NetworkListView* view, const QModelIndex& index);

    // The row's current position in the list; -1 once the row is gone.
    int row() const;
    // The name and the description of a row, as read out.
    static QString nameOf(const ScannedNetwork& network);

    // The action that toggles the favourite mark.
    static QString favoriteAction();

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    QString localizedActionName(const QString& name) const override;
    QString localizedActionDescription(const QString& name) const override;
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString& name) const override;

private:
    const ScannedNetwork& network() const;

    QPointer<NetworkListView> view_;
    QPersistentModelIndex index_;
};

} // namespace ondrel
