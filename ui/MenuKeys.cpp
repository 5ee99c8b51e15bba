#include "ui/MenuKeys.h"

#include <QAction>
#include <QMenu>

namespace ondrel {

void activateFirst(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        if (action->isEnabled() && !action->isSeparator() && action->isVisible()) {
            menu->setActiveAction(action);
            return;
        }
    }
}

} // namespace ondrel
