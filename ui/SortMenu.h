#pragma once

class QMenu;

namespace ondrel {

class Prefs;

// Fills the main window's "Sort by" menu from the preferences: the sort key,
// the order and the list's filters, each item writing its preference when
// chosen. Clears the menu first, so that it can be filled again each time it
// opens.
void fillSortMenu(QMenu* menu, Prefs& prefs);

} // namespace ondrel
