#include "ui/Announcer.h"

#include "ui/AccessibleRoles.h"

namespace ondrel {

Announcer::Announcer(QWidget* parent) : QWidget(parent)
{
    installAccessibleRoles();
    setFixedSize(0, 0);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void Announcer::announce(const QString& message)
{
    // Hidden first, so that a second message while the first is still up
    // appears again.
    hide();
    setAccessibleName(message);
    if (!message.isEmpty())
        show();
}

} // namespace ondrel
