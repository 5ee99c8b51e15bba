#pragma once

class QMenu;

namespace ondrel {

// Makes the first enabled item of a menu opened from the keyboard the
// chosen one, so that the focus (and a screen reader) lands on it and
// Return takes it, as in the desktop's own menus.
void activateFirst(QMenu* menu);

} // namespace ondrel
