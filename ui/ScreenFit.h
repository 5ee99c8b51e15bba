#pragma once

#include <QSize>

class QWidget;

namespace ondrel {

// Sizes a window to `preferred` (device-independent pixels) where its screen
// has room, else to the room there is, and lowers its minimum size to that
// room as well: with large fonts or 2× scaling a window never opens larger
// than the screen or needs more of it than there is.
void fitToScreen(QWidget* window, QSize preferred);

// The room a window has on the screen it is on (or the primary screen):
// the available area less a margin for the window's frame.
QSize screenRoom(const QWidget* window);

} // namespace ondrel
