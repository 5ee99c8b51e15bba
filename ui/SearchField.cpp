#include "ui/SearchField.h"

#include "localization/Lookup.h"
#include "ui/Symbols.h"
#include "ui/Tints.h"

#include <QAction>
#include <QKeyEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFrame>

namespace ondrel {

namespace {

constexpr int kIcon = 14;
constexpr int kIconGap = 6;

} // namespace

SearchField::SearchField(QWidget* parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
    // Qt's clear button has no text of its own: screen readers would find an
    // unnamed button.
    if (auto* clear = findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction")))
        clear->setText(L("検索をクリア", "Clear Search"));
    placeMargins();
}

void SearchField::takeTyping(const QString& text)
{
    setFocus(Qt::OtherFocusReason);
    deselect();
    end(false);
    insert(text);
    Q_EMIT textEdited(this->text());
}

void SearchField::addFindKey(QWidget* window)
{
    auto* find = new QAction(window);
    const QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Find);
    find->setShortcuts(keys.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_F)} : keys);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] {
        setFocus(Qt::ShortcutFocusReason);
        selectAll();
    });
    window->addAction(find);
}

bool SearchField::windowHandles(const QKeySequence& keys) const
{
    const QWidget* top = window();
    for (const QAction* action : top->findChildren<QAction*>()) {
        if (action->isEnabled() && action->shortcuts().contains(keys) &&
            action->shortcutContext() != Qt::WidgetShortcut)
            return true;
    }
    for (const QShortcut* shortcut : top->findChildren<QShortcut*>()) {
        if (shortcut->isEnabled() && shortcut->keys().contains(keys) &&
            shortcut->context() != Qt::WidgetShortcut)
            return true;
    }
    return false;
}

bool SearchField::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
            windowHandles(QKeySequence(key->keyCombination()))) {
            // Not taken by the field: the window's shortcut runs.
            event->ignore();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void SearchField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (text().isEmpty()) {
            Q_EMIT escapedEmpty();
        } else {
            clear();
            Q_EMIT textEdited(QString());
        }
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void SearchField::placeMargins()
{
    const int room = kIcon + kIconGap;
    if (layoutDirection() == Qt::RightToLeft)
        setTextMargins(0, 0, room, 0);
    else
        setTextMargins(room, 0, 0, 0);
}

void SearchField::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LayoutDirectionChange)
        placeMargins();
    QLineEdit::changeEvent(event);
}

void SearchField::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    // The text margins keep the room at the leading edge of the contents.
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    const double x = rtl ? contents.right() + 1 - kIcon - 2 : contents.left() + 2;
    QPainter painter(this);
    drawSymbol(painter, Symbol::magnifier, QRectF(x, contents.center().y() - kIcon / 2.0 + 0.5, kIcon, kIcon),
               secondaryColor(palette()));
}

} // namespace ondrel
