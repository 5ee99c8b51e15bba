#include "ui/SymbolView.h"

#include <QPainter>

namespace ondrel {

SymbolView::SymbolView(Symbol symbol, int size, ColorFor color, QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(std::move(color))
{
    setFixedSize(size, size);
}

void SymbolView::setSymbol(Symbol symbol)
{
    if (symbol == symbol_)
        return;
    symbol_ = symbol;
    update();
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawSymbol(painter, symbol_, QRectF(rect()), color_(palette()));
}

} // namespace ondrel
