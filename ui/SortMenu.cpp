#include "ui/SortMenu.h"

#include "localization/Lookup.h"
#include "store/Prefs.h"
#include "store/SortKey.h"

#include <QActionGroup>
#include <QMenu>

#include <functional>

namespace ondrel {

void fillSortMenu(QMenu* menu, Prefs& prefs)
{
    menu->clear();
    menu->addSection(L("並べ替え", "Sort by"));
    auto* keys = new QActionGroup(menu);
    for (SortKey key : allSortKeys()) {
        QAction* action = menu->addAction(label(key));
        action->setCheckable(true);
        action->setChecked(prefs.sortKey() == key);
        keys->addAction(action);
        QObject::connect(action, &QAction::triggered, menu, [&prefs, key] { prefs.setSortKey(key); });
    }
    menu->addSection(L("向き", "Order"));
    auto* order = new QActionGroup(menu);
    const std::pair<QString, bool> orders[] = {{L("強い順", "Strongest first"), false},
                                               {L("弱い順", "Weakest first"), true}};
    for (const auto& [title, ascending] : orders) {
        QAction* action = menu->addAction(title);
        action->setCheckable(true);
        action->setChecked(prefs.ascending() == ascending);
        order->addAction(action);
        QObject::connect(action, &QAction::triggered, menu,
                         [&prefs, ascending] { prefs.setAscending(ascending); });
    }
    auto toggle = [menu](const QString& title, bool value, std::function<void(bool)> set) {
        QAction* action = menu->addAction(title);
        action->setCheckable(true);
        action->setChecked(value);
        QObject::connect(action, &QAction::toggled, menu, std::move(set));
    };
    menu->addSeparator();
    toggle(L("お気に入りだけ表示", "Show favorites only"), prefs.favoritesOnly(),
           [&prefs](bool on) { prefs.setFavoritesOnly(on); });
    toggle(L("お気に入りを上にまとめる", "Keep favorites at the top"), prefs.favoritesOnTop(),
           [&prefs](bool on) { prefs.setFavoritesOnTop(on); });
    menu->addSeparator();
    toggle(L("同じ名前をまとめる", "Group by name"), prefs.groupBySSID(),
           [&prefs](bool on) { prefs.setGroupBySSID(on); });
    toggle(L("非公開ネットワークも出す", "Show hidden networks"), prefs.showHidden(),
           [&prefs](bool on) { prefs.setShowHidden(on); });
    toggle(L("細かい値も出す", "Show details"), prefs.showDetails(),
           [&prefs](bool on) { prefs.setShowDetails(on); });
}

} // namespace ondrel
