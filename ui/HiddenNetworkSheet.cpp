#include "ui/HiddenNetworkSheet.h"

#include "localization/Lookup.h"
#include "store/WiFiStore.h"
#include "ui/Announcer.h"
#include "ui/SheetParts.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel {

namespace {

// The kinds a network can be joined as by name, weakest first, as the
// rows name them.
constexpr Security kKinds[] = {Security::open,         Security::owe,          Security::wep,
                               Security::wpaPersonal,  Security::wpa2Personal, Security::wpa2wpa3Personal,
                               Security::wpa3Personal, Security::enterprise};

bool takesPassword(Security security)
{
    return security != Security::enterprise && WiFiStore::minimumPasswordLength(security) > 0;
}

QLabel* wrappingLabel(QWidget* parent, double size)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(viewstyle::scaled(label->font(), size));
    return label;
}

// A field's label above it, naming it for screen readers too.
QLabel* fieldLabel(const QString& text, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(viewstyle::scaled(label->font(), 12, QFont::DemiBold));
    label->setBuddy(field);
    field->setAccessibleName(text);
    return label;
}

} // namespace

HiddenNetworkSheet::HiddenNetworkSheet(WiFiStore& store, QWidget* parent) : QDialog(parent), store_(store)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(L("非公開ネットワークに接続", "Connect to Hidden Network"));
    setMinimumWidth(380);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(8);

    const sheetparts::Header header = sheetparts::header(this, true);
    header.title->setText(windowTitle());
    header.subtitle->setText(L("名前を公開していないネットワークの名前を入力してください。",
                               "Enter the name of a network that does not broadcast it."));
    column->addLayout(header.layout);
    column->addSpacing(6);

    problem_ = wrappingLabel(this, 12);
    problem_->setObjectName(QStringLiteral("hiddenProblem"));
    viewstyle::setTextColor(problem_, tintRed(palette()));
    problem_->hide();
    column->addWidget(problem_);
    status_ = wrappingLabel(this, 12);
    viewstyle::setSecondary(status_);
    status_->hide();
    column->addWidget(status_);
    announcer_ = new Announcer(this);

    name_ = new QLineEdit(this);
    name_->setMinimumWidth(320);
    name_->setFont(viewstyle::scaled(name_->font(), 13));
    column->addWidget(fieldLabel(L("ネットワーク名", "Network name"), name_, this));
    column->addWidget(name_);
    column->addSpacing(4);

    security_ = new QComboBox(this);
    for (Security kind : kKinds)
        security_->addItem(label(kind), rawValue(kind));
    column->addWidget(fieldLabel(L("セキュリティ", "Security"), security_, this));
    column->addWidget(security_);
    column->addSpacing(4);

    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setFont(viewstyle::scaled(password_->font(), 13));
    passwordLabel_ = fieldLabel(L("パスワード", "Password"), password_, this);
    column->addWidget(passwordLabel_);
    column->addWidget(password_);
    show_ = new QCheckBox(L("パスワードを表示", "Show password"), this);
    show_->setFont(viewstyle::scaled(show_->font(), 12));
    column->addWidget(show_);

    // In the password's place for an enterprise network, as its row says it.
    enterprise_ = wrappingLabel(this, 12);
    enterprise_->setText(WiFiStore::enterpriseMessage());
    viewstyle::setSecondary(enterprise_);
    column->addWidget(enterprise_);

    column->addSpacing(6);
    const sheetparts::Buttons buttons = sheetparts::buttons(this);
    cancel_ = buttons.cancel;
    connect_ = buttons.connect;
    column->addLayout(buttons.layout);
    // Hidden rows keep their room out of the sheet.
    column->addStretch(1);
    layout()->setSizeConstraint(QLayout::SetMinAndMaxSize);

    setTabOrder(name_, security_);
    setTabOrder(security_, password_);
    setTabOrder(password_, show_);
    setTabOrder(show_, cancel_);
    setTabOrder(cancel_, connect_);

    connect(show_, &QCheckBox::toggled, this, [this](bool visible) {
        password_->setEchoMode(visible ? QLineEdit::Normal : QLineEdit::Password);
    });
    connect(name_, &QLineEdit::textChanged, this, &HiddenNetworkSheet::update);
    connect(password_, &QLineEdit::textChanged, this, &HiddenNetworkSheet::update);
    connect(security_, &QComboBox::currentIndexChanged, this, &HiddenNetworkSheet::update);
    connect(cancel_, &QPushButton::clicked, this, &HiddenNetworkSheet::reject);
    connect(connect_, &QPushButton::clicked, this, &HiddenNetworkSheet::submit);
    connect(&store_, &WiFiStore::hiddenJoinFinished, this, &HiddenNetworkSheet::finished);
    reset(Security::wpa2Personal);
}

void HiddenNetworkSheet::openFor(Security security)
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    reset(security);
    name_->setFocus(Qt::OtherFocusReason);
    open();
}

void HiddenNetworkSheet::reset(Security security)
{
    joining_.reset();
    failure_.clear();
    name_->clear();
    password_->clear();
    show_->setChecked(false);
    const int index = security_->findData(rawValue(security));
    security_->setCurrentIndex(index >= 0 ? index : security_->findData(rawValue(Security::wpa2Personal)));
    update();
}

Security HiddenNetworkSheet::security() const
{
    return securityFromRawValue(security_->currentData().toInt()).value_or(Security::wpa2Personal);
}

QString HiddenNetworkSheet::problem() const
{
    return problem_->isHidden() ? QString() : problem_->text();
}

void HiddenNetworkSheet::update()
{
    const Security kind = security();
    const bool password = takesPassword(kind);
    const bool joining = isJoining();
    passwordLabel_->setVisible(password);
    password_->setVisible(password);
    show_->setVisible(password);
    enterprise_->setVisible(kind == Security::enterprise);
    // Disabled, Connect says why when the reason is not on the sheet
    // already; a screen reader reads it with the security's choice.
    const QString why = kind == Security::enterprise ? WiFiStore::enterpriseMessage() : QString();
    connect_->setToolTip(why);
    security_->setAccessibleDescription(why);

    const QString name = name_->text();
    // An empty name only keeps Connect disabled; one that is too long says so.
    const std::optional<QString> nameProblem = WiFiStore::hiddenNameProblem(name);
    showProblem(name.isEmpty() ? failure_ : nameProblem.value_or(failure_));
    connect_->setEnabled(
        !joining && !nameProblem &&
        !WiFiStore::hiddenPasswordProblem(kind, password ? std::optional(password_->text()) : std::nullopt));
    for (QWidget* field : {static_cast<QWidget*>(name_), static_cast<QWidget*>(security_),
                           static_cast<QWidget*>(password_), static_cast<QWidget*>(show_)})
        field->setEnabled(!joining);
    status_->setVisible(joining);
}

void HiddenNetworkSheet::showProblem(const QString& problem)
{
    if (problem == this->problem())
        return;
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
    announcer_->announce(problem);
}

void HiddenNetworkSheet::submit()
{
    if (!connect_->isEnabled())
        return;
    const QString name = name_->text();
    const Security kind = security();
    failure_.clear();
    joining_ = name;
    status_->setText(Lf("「%@」に接続しています…", "Connecting to “%@”…", {screenName(name)}));
    update();
    // A refusal comes back before this returns.
    store_.joinHidden(name, kind, takesPassword(kind) ? std::optional(password_->text()) : std::nullopt);
}

void HiddenNetworkSheet::finished(const QString& name, std::optional<QString> error)
{
    if (!joining_ || *joining_ != name)
        return;
    joining_.reset();
    if (!error) {
        reset(security());
        accept();
        return;
    }
    // Said here, where the user is, rather than a second time in the banner.
    if (store_.errorMessage() == error)
        store_.dismissError();
    failure_ = *error;
    update();
    QLineEdit* again = takesPassword(security()) ? password_ : name_;
    again->selectAll();
    again->setFocus(Qt::OtherFocusReason);
}

void HiddenNetworkSheet::reject()
{
    // A join still running ends in the banner.
    reset(security());
    QDialog::reject();
}

} // namespace ondrel
