#pragma once

#include "store/StrengthUnit.h"
#include "wifi/ScannedNetwork.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ondrel {

class Announcer;

// Asks for the password of one secured network. The typed text lives in
// the sheet for as long as the main window's content does; Cancel (and
// any other dismissal) clears it. "Connect" and Return submit only once
// the password is long enough: 5 user-perceived characters for WEP, 8 for
// everything else. When the password did not join the network, the sheet
// opens again saying so (in red, and read out), with the password typed
// chosen, so that a slip can be mended or the whole retyped.
class PasswordSheet : public QDialog {
    Q_OBJECT
public:
    explicit PasswordSheet(QWidget* parent = nullptr);

    // Shows `network` in the header; the typed text is kept. With a
    // `problem`, the sheet says it and gets back the password last submitted
    // for this network.
    void setNetwork(const ScannedNetwork& network, StrengthUnit unit,
                    const std::optional<QString>& problem = std::nullopt);
    QString problem() const;
    const std::optional<ScannedNetwork>& network() const { return network_; }

    QString password() const;
    bool passwordVisible() const;
    QLineEdit* field() const { return field_; }
    QCheckBox* showPasswordBox() const { return show_; }
    QPushButton* connectButton() const { return connect_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Submits when the password is long enough: emits submitted() with the
    // password, then clears the field and hides the password again.
    void submit();

Q_SIGNALS:
    void submitted(const ScannedNetwork& network, const QString& password);
    // Emitted when the sheet is dismissed without submitting.
    void dismissed();

protected:
    void reject() override;

private:
    void updateEnabled();

    std::optional<ScannedNetwork> network_;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QLabel* problem_ = nullptr;
    Announcer* announcer_ = nullptr;
    // The network and password last submitted, given back when the sheet
    // opens again for that network with a problem; cleared on dismissal.
    std::optional<std::pair<QString, QString>> submitted_;
    QLineEdit* field_ = nullptr;
    QCheckBox* show_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* connect_ = nullptr;
};

} // namespace ondrel
