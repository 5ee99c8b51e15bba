#include "ui/NetworkRowAccessible.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/WiFiStore.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRow.h"
#include "ui/Strength.h"

#include <QWidget>
#include <QWindow>

namespace ondrel {

NetworkRowAccessible::NetworkRowAccessible(NetworkListView* view, const QModelIndex& index)
    : view_(view), index_(index)
{
}

int NetworkRowAccessible::row() const
{
    return isValid() ? index_.row() : -1;
}

bool NetworkRowAccessible::isValid() const
{
    return view_ && index_.isValid() && index_.model() == view_->model();
}

const ScannedNetwork& NetworkRowAccessible::network() const
{
    return view_->networks()->network(index_.row());
}

QString NetworkRowAccessible::favoriteAction()
{
    return QStringLiteral("favorite");
}

QWindow* NetworkRowAccessible::window() const
{
    return view_ ? view_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* NetworkRowAccessible::parent() const
{
    return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString NetworkRowAccessible::nameOf(const ScannedNetwork& network)
{
    QString text = NetworkListModel::accessibleText(network);
    QStringList marks;
    if (network.isCurrent)
        marks.append(L("接続中", "Connected"));
    if (network.isSaved)
        marks.append(L("保存済み", "Saved"));
    if (network.isFavorite)
        marks.append(L("お気に入り", "Favorite"));
    for (const QString& mark : std::as_const(marks))
        text = Lf("%@、%@", "%@, %@", {text, mark});
    return text;
}

QString NetworkRowAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    const ScannedNetwork& n = network();
    switch (t) {
    case QAccessible::Name:
        return nameOf(n);
    case QAccessible::Description: {
        // The strength as the row shows it, in the chosen unit, then its chips.
        const NetworkListModel& model = *view_->networks();
        QStringList figures = NetworkRow::chipTexts(model, index_.row());
        figures.prepend(strengthText(n.rssi, model.unit()));
        QStringList lines{figures.join(QStringLiteral(" · "))};
        if (n.ssid)
            lines.append(nameBytesLine(*n.ssid));
        // Why the row offers no Connect action.
        if (n.security == Security::enterprise)
            lines.append(WiFiStore::enterpriseMessage());
        lines.removeAll(QString());
        return lines.join(QLatin1Char('\n'));
    }
    default:
        return {};
    }
}

QRect NetworkRowAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect rect = view_->visualRect(index_);
    return QRect(view_->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

QAccessible::State NetworkRowAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.focusable = true;
    state.focused = view_->hasFocus() && view_->currentIndex() == index_;
    state.active = network().isCurrent;
    state.busy = view_->networks()->isBusy(index_.row());
    const QRect viewport = view_->viewport()->rect();
    state.offscreen = !viewport.intersects(view_->visualRect(index_));
    return state;
}

void* NetworkRowAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList NetworkRowAccessible::actionNames() const
{
    if (!isValid())
        return {};
    const ScannedNetwork& n = network();
    QStringList names;
    if (!n.isCurrent && n.security != Security::enterprise && !view_->networks()->isBusy(index_.row()))
        names.append(pressAction());
    if (n.ssid && !n.ssid->isEmpty())
        names.append(favoriteAction());
    return names;
}

QString NetworkRowAccessible::localizedActionName(const QString& name) const
{
    if (name == pressAction())
        return L("接続", "Connect");
    if (name == favoriteAction() && isValid())
        return network().isFavorite ? L("お気に入りから削除", "Remove from Favorites")
                                    : L("お気に入りに追加", "Add to Favorites");
    return {};
}

QString NetworkRowAccessible::localizedActionDescription(const QString& name) const
{
    return localizedActionName(name);
}

void NetworkRowAccessible::doAction(const QString& name)
{
    if (!actionNames().contains(name))
        return;
    // The same signals as a click on the row's button or star.
    NetworkRow* delegate = view_->rowDelegate();
    if (name == pressAction())
        Q_EMIT delegate->connectRequested(index_);
    else
        Q_EMIT delegate->favoriteToggled(index_);
}

QStringList NetworkRowAccessible::keyBindingsForAction(const QString& name) const
{
    if (name == pressAction())
        return {QStringLiteral("Return")};
    return {};
}

} // namespace ondrel
