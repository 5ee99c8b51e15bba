#include "ui/AccessibleRoles.h"

#include "ui/NetworkListAccessible.h"
#include "ui/NetworkListView.h"

#include <QAccessibleWidget>
#include <QFrame>

namespace ondrel {

namespace {

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("ondrel::NetworkListView"))
        return new NetworkListAccessible(static_cast<NetworkListView*>(widget));
    if (className == QLatin1String("ondrel::Banner") || className == QLatin1String("ondrel::Announcer"))
        return new QAccessibleWidget(widget, QAccessible::AlertMessage);
    if (className == QLatin1String("ondrel::ElidedLabel"))
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    if (className == QLatin1String("ondrel::SpeedHistoryChart"))
        return new QAccessibleWidget(widget, QAccessible::Chart);
    // A QFrame of no class of its own (a line, the current-network card).
    if (className == QLatin1String("QFrame")) {
        const QFrame::Shape shape = static_cast<QFrame*>(widget)->frameShape();
        const bool line = shape == QFrame::HLine || shape == QFrame::VLine;
        return new QAccessibleWidget(widget, line ? QAccessible::Separator : QAccessible::Pane);
    }
    return nullptr;
}

} // namespace

void installAccessibleRoles()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace ondrel
