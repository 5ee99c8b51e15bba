#pragma once

#include "ui/Symbols.h"

#include <QWidget>

#include <functional>

namespace ondrel {

// A widget that shows one drawn symbol in a colour taken from its palette
// at paint time (so it follows theme changes).
class SymbolView : public QWidget {
    Q_OBJECT
public:
    using ColorFor = std::function<QColor(const QPalette&)>;

    SymbolView(Symbol symbol, int size, ColorFor color, QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    void setSymbol(Symbol symbol);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    ColorFor color_;
};

} // namespace ondrel
