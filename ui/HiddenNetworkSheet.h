#pragma once

#include "wifi/Security.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ondrel {

class Announcer;
class WiFiStore;

// Joins a network that does not broadcast its name: the user types the
// name, chooses its security and, for the kinds that take one, types the
// password. Connect (and Return) is enabled once the name has 1 to 32 bytes
// and the password is long enough for the kind; a name over 32 bytes says
// so at once, and an enterprise network says where to join it instead.
//
// The sheet stays open while the store joins, saying so, and closes once
// the join worked. When it failed, the failure is shown in the sheet (in
// red, and read out) instead of the banner, with the name, the security and
// the password kept (the password chosen, so that typing replaces it). A
// failure after the user closed the sheet stays in the banner. Cancel (and
// every other dismissal) forgets what was typed.
class HiddenNetworkSheet : public QDialog {
    Q_OBJECT
public:
    // The store must outlive the sheet.
    explicit HiddenNetworkSheet(WiFiStore& store, QWidget* parent = nullptr);

    // Opens the sheet afresh, with `security` chosen (an unknown one: WPA2,
    // whose key management also joins WPA2/WPA3 networks).
    void openFor(Security security = Security::wpa2Personal);

    QLineEdit* nameField() const { return name_; }
    QComboBox* securityBox() const { return security_; }
    QLineEdit* passwordField() const { return password_; }
    QCheckBox* showPasswordBox() const { return show_; }
    QPushButton* connectButton() const { return connect_; }
    QPushButton* cancelButton() const { return cancel_; }
    Security security() const;
    // The red line: why the name cannot be joined, or why the last join
    // failed; empty when there is none.
    QString problem() const;
    // While the store joins the submitted name.
    bool isJoining() const { return joining_.has_value(); }

    // Hands the name, security and password to the store unless Connect is
    // disabled.
    void submit();

protected:
    void reject() override;

private:
    // Forgets what was typed, with `security` chosen.
    void reset(Security security);
    void update();
    void showProblem(const QString& problem);
    // By value: the store hands over its own banner text, which this clears.
    void finished(const QString& name, std::optional<QString> error);

    WiFiStore& store_;
    QLabel* problem_ = nullptr;
    QLabel* status_ = nullptr;
    Announcer* announcer_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* security_ = nullptr;
    QLabel* passwordLabel_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* show_ = nullptr;
    QLabel* enterprise_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* connect_ = nullptr;
    // The name handed to the store, until its join has ended.
    std::optional<QString> joining_;
    // The last join's failure, shown until the next submission.
    QString failure_;
};

} // namespace ondrel
