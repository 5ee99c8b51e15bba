#include "ui/ScreenFit.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

namespace ondrel {

namespace {

// Room for the window manager's title bar and borders.
constexpr QSize kFrame{16, 48};

} // namespace

QSize screenRoom(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return (screen->availableSize() - kFrame).expandedTo(QSize(200, 150));
}

void fitToScreen(QWidget* window, QSize preferred)
{
    const QSize room = screenRoom(window);
    if (window->layout())
        window->layout()->activate();
    window->setMinimumSize(window->minimumSize().boundedTo(room));
    window->resize(preferred.expandedTo(window->minimumSize()).boundedTo(room));
}

} // namespace ondrel
