#include "ui/ToolWindow.h"

#include "ui/ScreenFit.h"

#include <QEvent>
#include <QKeySequence>
#include <QShortcut>

namespace ondrel {

ToolWindow::ToolWindow(QWidget* content, QSize preferred, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(content->windowTitle());
    setLayoutDirection(content->layoutDirection());
    // The content's own minimum, which fitToScreen lowers to the screen's room.
    setMinimumSize(content->minimumSize());
    content->setMinimumSize(0, 0);
    setCentralWidget(content);
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!keys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        keys.append(QKeySequence(Qt::CTRL | Qt::Key_W));
    keys.append(QKeySequence(Qt::Key_Escape));
    for (const QKeySequence& key : std::as_const(keys)) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
    // The content names itself again when it is built in another language.
    content->installEventFilter(this);
    fitToScreen(this, preferred);
}

bool ToolWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::WindowTitleChange)
        setWindowTitle(centralWidget()->windowTitle());
    return QMainWindow::eventFilter(watched, event);
}

} // namespace ondrel
