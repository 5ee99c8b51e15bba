#pragma once

#include <QJsonArray>

class QWidget;

namespace ondrel {

// What a screen reader is given of `window`: each element of its
// accessibility tree that is not hidden, depth first from the window itself,
// as {"role", "name", "description", "value", "depth"}. The role is Qt's
// token for it ("PushButton", "ListItem", …); the texts are the window's
// own, in its language. The walk stops kMaxAccessibleDepth levels down, so that an
// element that names itself among its children cannot make it endless.
QJsonArray accessibleTree(QWidget* window);

inline constexpr int kMaxAccessibleDepth = 32;

} // namespace ondrel
