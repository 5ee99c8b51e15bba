#include "ui/Banner.h"

#include "ui/AccessibleRoles.h"
#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel {

namespace {

QFont titleFontFor(const QFont& font)
{
    return viewstyle::scaled(font, 13);
}

QLabel* plainLabel(const QString& text, int pixelSize, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    // Titles can carry network names and system messages: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFont(viewstyle::scaled(label->font(), pixelSize));
    return label;
}

} // namespace

Banner::Banner(Kind kind, const QString& title, const std::optional<QString>& detail,
               const std::optional<QString>& actionTitle, std::function<void()> action, QWidget* parent)
    : QWidget(parent), kind_(kind)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(10);

    const bool error = kind == Kind::error;
    auto* icon = new SymbolView(error ? Symbol::warningFill : Symbol::infoFill, 16,
                                error ? tintRed : tintOrange, this);
    // Level with the middle of the title's first line.
    auto* iconColumn = new QVBoxLayout;
    iconColumn->setContentsMargins(0, 0, 0, 0);
    iconColumn->addSpacing(std::max(0, (QFontMetrics(titleFontFor(font())).height() - 16) / 2));
    iconColumn->addWidget(icon);
    iconColumn->addStretch(1);
    row->addLayout(iconColumn);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    title_ = plainLabel(title, 13, this);
    column->addWidget(title_);
    if (detail) {
        detail_ = plainLabel(*detail, 12, this);
        column->addWidget(detail_);
    }
    row->addLayout(column, 1);

    if (actionTitle && action) {
        row->addSpacing(8);
        button_ = new QPushButton(*actionTitle, this);
        button_->setAutoDefault(false);
        connect(button_, &QPushButton::clicked, this, [action] { action(); });
        row->addWidget(button_, 0, Qt::AlignVCenter);
    }
    // An alert to screen readers (AccessibleRoles), read out when it appears.
    installAccessibleRoles();
    setAccessibleName(title);
    setAccessibleDescription(detail.value_or(QString()));
    applyColors();
}

QString Banner::title() const
{
    return title_->text();
}

void Banner::describeName(const std::optional<QString>& ssid)
{
    viewstyle::describeName(title_, ssid);
    QString description = detail().value_or(QString());
    if (const QString bytes = title_->accessibleDescription(); !bytes.isEmpty())
        description += (description.isEmpty() ? QString() : QStringLiteral("\n")) + bytes;
    setAccessibleDescription(description);
}

std::optional<QString> Banner::detail() const
{
    if (!detail_)
        return std::nullopt;
    return detail_->text();
}

void Banner::applyColors()
{
    if (!detail_)
        return;
    QPalette p = detail_->palette();
    p.setColor(QPalette::WindowText, secondaryColor(palette()));
    detail_->setPalette(p);
}

void Banner::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void Banner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), 9, 9);
    painter.fillPath(background, primaryFill(palette(), isDark(palette()) ? 0.09 : 0.06));
}

} // namespace ondrel
