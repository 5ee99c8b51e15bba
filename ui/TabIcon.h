#pragma once

#include <QIcon>

namespace ondrel {

enum class TabGlyph { gear, list, info };

// The settings window's tab symbols, drawn so that they look the same with
// any icon theme or none; they take the palette's text colour when painted.
QIcon tabIcon(TabGlyph glyph);

} // namespace ondrel
