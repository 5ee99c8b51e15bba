#pragma once

#include "ui/Symbols.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace ondrel {

class SymbolView;

// What the main window shows instead of an empty list: a large faint
// symbol, a sentence saying why the list is empty, and the button that
// helps (scan again, clear the search, show every network, turn the radio
// on), if any.
class EmptyListState : public QWidget {
    Q_OBJECT
public:
    explicit EmptyListState(QWidget* parent = nullptr);

    // An empty `actionTitle` hides the button.
    void setMessage(Symbol symbol, const QString& message, const QString& actionTitle = {},
                    std::function<void()> action = {});

    QLabel* label() const { return label_; }
    QPushButton* button() const { return button_; }

private:
    SymbolView* icon_;
    QLabel* label_;
    QPushButton* button_;
    std::function<void()> action_;
};

} // namespace ondrel
