#include "ui/PasswordSheet.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/WiFiStore.h"
#include "ui/Announcer.h"
#include "ui/NetworkListModel.h"
#include "ui/SheetParts.h"
#include "ui/Strength.h"
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
    // At least this wide; more where the desktop's text is large.
    setMinimumWidth(380);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    const sheetparts::Header header = sheetparts::header(this, false);
    title_ = header.title;
    subtitle_ = header.subtitle;
    column->addLayout(header.layout);

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("passwordProblem"));
    problem_->setTextFormat(Qt::PlainText);
    problem_->setWordWrap(true);
    problem_->setFont(viewstyle::scaled(problem_->font(), 12));
    viewstyle::setTextColor(problem_, tintRed(palette()));
    problem_->hide();
    column->addWidget(problem_);
    announcer_ = new Announcer(this);

    field_ = new QLineEdit(this);
    field_->setMinimumWidth(320);
    field_->setPlaceholderText(L("パスワード", "Password"));
    field_->setEchoMode(QLineEdit::Password);
    field_->setFont(viewstyle::scaled(field_->font(), 13));
    field_->setAccessibleName(L("パスワード", "Password"));
    column->addWidget(field_);

    show_ = new QCheckBox(L("パスワードを表示", "Show password"), this);
    show_->setFont(viewstyle::scaled(show_->font(), 12));
    column->addWidget(show_);

    const sheetparts::Buttons buttons = sheetparts::buttons(this);
    cancel_ = buttons.cancel;
    connect_ = buttons.connect;
    column->addLayout(buttons.layout);

    connect(show_, &QCheckBox::toggled, this,
            [this](bool visible) { field_->setEchoMode(visible ? QLineEdit::Normal : QLineEdit::Password); });
    connect(field_, &QLineEdit::textChanged, this, &PasswordSheet::updateEnabled);
    connect(cancel_, &QPushButton::clicked, this, &PasswordSheet::reject);
    connect(connect_, &QPushButton::clicked, this, &PasswordSheet::submit);
    updateEnabled();
}

void PasswordSheet::setNetwork(const ScannedNetwork& network, StrengthUnit unit,
                               const std::optional<QString>& problem)
{
    network_ = network;
    problem_->setText(problem.value_or(QString()));
    problem_->setVisible(problem.has_value());
    if (problem && submitted_ && submitted_->first == network.id()) {
        field_->setText(submitted_->second);
        field_->selectAll();
    }
    submitted_.reset();
    announcer_->announce(problem.value_or(QString()));
    title_->setText(Lf("「%@」のパスワード", "Password for “%@”", {shownName(network)}));
    viewstyle::describeName(title_, network.ssid);
    subtitle_->setText(
        Lf("%@ ・ %@", "%@ · %@", {label(network.security), strengthText(network.rssi, unit)}));
    updateEnabled();
}

QString PasswordSheet::problem() const
{
    return problem_->isHidden() ? QString() : problem_->text();
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
    submitted_ = std::pair(network.id(), password);
    field_->clear();
    show_->setChecked(false);
    hide();
    setResult(QDialog::Accepted);
    Q_EMIT submitted(network, password);
}

void PasswordSheet::reject()
{
    submitted_.reset();
    field_->clear();
    network_.reset();
    QDialog::reject();
    Q_EMIT dismissed();
}

} // namespace ondrel
