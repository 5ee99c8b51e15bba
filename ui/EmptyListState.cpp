#include "ui/EmptyListState.h"

#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel {

EmptyListState::EmptyListState(QWidget* parent)
    : QWidget(parent), icon_(new SymbolView(Symbol::wifiSlash, 34, tertiaryColor, this)),
      label_(new QLabel(this)), button_(new QPushButton(this))
{
    auto* column = new QVBoxLayout(this);
    column->setSpacing(10);
    column->setContentsMargins(24, 12, 24, 12);
    column->addStretch(1);
    column->addWidget(icon_, 0, Qt::AlignHCenter);
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignCenter);
    label_->setFont(viewstyle::font(13));
    viewstyle::setSecondary(label_);
    column->addWidget(label_);
    button_->setAutoDefault(false);
    connect(button_, &QPushButton::clicked, this, [this] {
        if (action_)
            action_();
    });
    column->addWidget(button_, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void EmptyListState::setMessage(Symbol symbol, const QString& message, const QString& actionTitle,
                                std::function<void()> action)
{
    icon_->setSymbol(symbol);
    label_->setText(message);
    button_->setText(actionTitle);
    button_->setVisible(!actionTitle.isEmpty());
    action_ = std::move(action);
}

} // namespace ondrel
