#include "ui/PasswordSheet.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/WiFiStore.h"
#include "ui/NetworkListModel.h"
#include "ui/Strength.h"
#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel {

PasswordSheet::PasswordSheet(QWidget* parent) : QDialog(parent)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(L("パスワード", "Password"));
    setFixedWidth(380);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(
        new SymbolView(
            Symbol::wifi, 28, [](const QPalette& p) { return p.color(QPalette::Highlight); }, this),
        0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    QFont titleFont = title_->font();
    titleFont.setPixelSize(13);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    subtitle_ = new QLabel(this);
    subtitle_->setTextFormat(Qt::PlainText);
    QFont subtitleFont = subtitle_->font();
    subtitleFont.setPixelSize(12);
    subtitle_->setFont(subtitleFont);
    QPalette secondary = subtitle_->palette();
    secondary.setColor(QPalette::WindowText, secondaryColor(palette()));
    subtitle_->setPalette(secondary);
    titles->addWidget(title_);
    titles->addWidget(subtitle_);
    header->addLayout(titles, 1);
    column->addLayout(header);

    field_ = new QLineEdit(this);
    field_->setFixedWidth(320);
    field_->setPlaceholderText(L("パスワード", "Password"));
    field_->setEchoMode(QLineEdit::Password);
    QFont fieldFont = field_->font();
    fieldFont.setPixelSize(13);
    field_->setFont(fieldFont);
    column->addWidget(field_);

    show_ = new QCheckBox(L("パスワードを表示", "Show password"), this);
    QFont showFont = show_->font();
    showFont.setPixelSize(12);
    show_->setFont(showFont);
    column->addWidget(show_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cancel_ = new QPushButton(L("キャンセル", "Cancel"), this);
    cancel_->setAutoDefault(false);
    connect_ = new QPushButton(L("接続", "Connect"), this);
    connect_->setDefault(true);
    buttons->addWidget(cancel_);
    buttons->addWidget(connect_);
    column->addLayout(buttons);

    connect(show_, &QCheckBox::toggled, this,
            [this](bool visible) { field_->setEchoMode(visible ? QLineEdit::Normal : QLineEdit::Password); });
    connect(field_, &QLineEdit::textChanged, this, &PasswordSheet::updateEnabled);
    connect(cancel_, &QPushButton::clicked, this, &PasswordSheet::reject);
    connect(connect_, &QPushButton::clicked, this, &PasswordSheet::submit);
    updateEnabled();
}

void PasswordSheet::setNetwork(const ScannedNetwork& network, StrengthUnit unit)
{
    network_ = network;
    title_->setText(Lf("「%@」のパスワード", "Password for “%@”", {shownName(network)}));
    viewstyle::describeName(title_, network.ssid);
    subtitle_->setText(
        Lf("%@ ・ %@", "%@ · %@", {label(network.security), strengthText(network.rssi, unit)}));
    updateEnabled();
}

QString PasswordSheet::password() const
{
    return field_->text();
}

bool PasswordSheet::passwordVisible() const
{
    return show_->isChecked();
}

void PasswordSheet::updateEnabled()
{
    const int minimum = network_ ? int(WiFiStore::minimumPasswordLength(*network_)) : 8;
    connect_->setEnabled(network_ && graphemeCount(field_->text()) >= minimum);
}

void PasswordSheet::submit()
{
    if (!network_ || graphemeCount(field_->text()) < int(WiFiStore::minimumPasswordLength(*network_)))
        return;
    const ScannedNetwork network = *network_;
    const QString password = field_->text();
    // Close first: the submission clears the store's target, which would
    // otherwise dismiss the sheet a second time.
    network_.reset();
    field_->clear();
    show_->setChecked(false);
    hide();
    setResult(QDialog::Accepted);
    Q_EMIT submitted(network, password);
}

void PasswordSheet::reject()
{
    field_->clear();
    network_.reset();
    QDialog::reject();
    Q_EMIT dismissed();
}

} // namespace ondrel
