#include "app/AccessibleTree.h"

#include <QAccessible>
#include <QJsonObject>
#include <QMetaEnum>
#include <QWidget>

namespace ondrel {

namespace {

void appendElements(QAccessibleInterface* element, int depth, QJsonArray& out)
{
    if (!element || !element->isValid() || element->state().invisible || depth > kMaxAccessibleDepth)
        return;
    const QMetaEnum roles = QMetaEnum::fromType<QAccessible::Role>();
    const char* role = roles.valueToKey(element->role());
    out.append(QJsonObject{
        {QStringLiteral("role"), role ? QString::fromLatin1(role) : QString::number(element->role())},
        {QStringLiteral("name"), element->text(QAccessible::Name)},
        {QStringLiteral("description"), element->text(QAccessible::Description)},
        {QStringLiteral("value"), element->text(QAccessible::Value)},
        {QStringLiteral("depth"), depth},
    });
    const int count = element->childCount();
    for (int i = 0; i < count; ++i)
        appendElements(element->child(i), depth + 1, out);
}

} // namespace

QJsonArray accessibleTree(QWidget* window)
{
    QJsonArray elements;
    appendElements(QAccessible::queryAccessibleInterface(window), 0, elements);
    return elements;
}

} // namespace ondrel
