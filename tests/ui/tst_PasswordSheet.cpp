// The password sheet's own wiring: Connect and Return follow the store's
// length rule (counted in user-perceived characters; the rule's table is in
// tests/store), Cancel and Escape dismiss, the field is cleared on every
// close, and the visibility choice stays unless a password was sent.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "ui/PasswordSheet.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace ondrel;

class TestPasswordSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { LocaleSettings::apply(AppLanguage::en); }

    void closing()
    {
        const struct {
            Security security;
            QString password;
            int key; // 0: the Cancel button
            QString outcome;
        } cases[] = {
            {Security::wep, "abcde", Qt::Key_Return, "submitted"},
            {Security::wep, "abcd", Qt::Key_Return, "kept"},
            // Eight combining clusters are enough, four (eight code units) are not.
            {Security::wpa2Personal, QStringLiteral("e\u0301").repeated(8), Qt::Key_Return, "submitted"},
            {Security::wpa2Personal, QStringLiteral("e\u0301").repeated(4), Qt::Key_Return, "kept"},
            {Security::wpa2Personal, "secret12", Qt::Key_Escape, "dismissed"},
            {Security::wpa2Personal, "secret12", 0, "dismissed"},
        };
        for (const auto& [security, password, key, outcome] : cases) {
            ScannedNetwork network;
            network.ssid = QStringLiteral("Cafe");
            network.security = security;
            PasswordSheet sheet;
            sheet.setNetwork(network, StrengthUnit::dbm);
            sheet.open();
            QSignalSpy submitted(&sheet, &PasswordSheet::submitted);
            QSignalSpy dismissed(&sheet, &PasswordSheet::dismissed);
            sheet.showPasswordBox()->setChecked(true);
            sheet.field()->insert(password);
            QCOMPARE(sheet.connectButton()->isEnabled(), outcome != "kept");
            if (key)
                QTest::keyClick(sheet.field(), Qt::Key(key));
            else
                sheet.cancelButton()->click();
            QCOMPARE(submitted.count(), outcome == "submitted" ? 1 : 0);
            QCOMPARE(dismissed.count(), outcome == "dismissed" ? 1 : 0);
            QCOMPARE(sheet.isVisible(), outcome == "kept");
            if (outcome == "submitted")
                QCOMPARE(submitted.first().at(1).toString(), password);

            sheet.setNetwork(network, StrengthUnit::dbm);
            sheet.open();
            QCOMPARE(sheet.password(), outcome == "kept" ? password : QString());
            QCOMPARE(sheet.passwordVisible(), outcome != "submitted");
            QCOMPARE(sheet.field()->echoMode(),
                     outcome != "submitted" ? QLineEdit::Normal : QLineEdit::Password);
        }
    }
};

QTEST_MAIN(TestPasswordSheet)
#include "tst_PasswordSheet.moc"
