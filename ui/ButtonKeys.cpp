#include "ui/ButtonKeys.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace ondrel {

bool ButtonKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat())
        return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled() || !button->isVisible())
        return false;
    if (auto* tool = qobject_cast<QToolButton*>(button)) {
        if (tool->menu() || (tool->defaultAction() && tool->defaultAction()->menu()))
            tool->showMenu();
        else
            tool->animateClick();
        return true;
    }
    if (qobject_cast<QPushButton*>(button)) {
        button->animateClick();
        return true;
    }
    return false;
}

} // namespace ondrel
