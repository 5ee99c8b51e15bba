// The password sheet: its length limits in user-perceived characters,
// Return, Cancel, Escape and the visibility toggle.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "ui/PasswordSheet.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace ondrel;

namespace {

ScannedNetwork secured(Security security)
{
    ScannedNetwork n;
    n.ssid = QStringLiteral("Cafe");
    n.rssi = -60;
    n.security = security;
    return n;
}

} // namespace

class TestPasswordSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { LocaleSettings::apply(AppLanguage::en); }

    void limits_data()
    {
        QTest::addColumn<Security>("security");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("WEP, 4") << Security::wep << "abcd" << false;
        QTest::newRow("WEP, 5") << Security::wep << "abcde" << true;
        QTest::newRow("WPA2, 7") << Security::wpa2Personal << "abcdefg" << false;
        QTest::newRow("WPA2, 8") << Security::wpa2Personal << "abcdefgh" << true;
        QTest::newRow("WPA3, 8") << Security::wpa3Personal << "abcdefgh" << true;
        // Seven user-perceived characters, each made of several code units.
        const QString family = QStringLiteral("👨‍👩‍👧");
        QTest::newRow("WPA2, 7 clusters of many code units")
            << Security::wpa2Personal << family.repeated(7) << false;
        QTest::newRow("WPA2, 8 combining clusters")
            << Security::wpa2Personal << QStringLiteral("e\u0301").repeated(8) << true;
        QTest::newRow("WPA2, 4 combining clusters (8 code units)")
            << Security::wpa2Personal << QStringLiteral("e\u0301").repeated(4) << false;
    }
    void limits()
    {
        QFETCH(Security, security);
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        PasswordSheet sheet;
        sheet.setNetwork(secured(security), StrengthUnit::dbm);
        sheet.open();
        QSignalSpy submitted(&sheet, &PasswordSheet::submitted);
        sheet.showPasswordBox()->setChecked(true);
        sheet.field()->insert(password);
        QCOMPARE(sheet.connectButton()->isEnabled(), accepted);
        QTest::keyClick(sheet.field(), Qt::Key_Return);
        QCOMPARE(submitted.count(), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(submitted.first().at(1).toString(), password);
            QVERIFY(sheet.password().isEmpty());
            QVERIFY(!sheet.isVisible());
            QCOMPARE(sheet.field()->echoMode(), QLineEdit::Password); // hidden again
        } else {
            QCOMPARE(sheet.password(), password);
            QVERIFY(sheet.isVisible());
        }
    }

    // Cancel and Escape dismiss and clear the field; the visibility choice stays.
    void dismissClearsTheFieldAndKeepsVisibility_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape") << true;
    }
    void dismissClearsTheFieldAndKeepsVisibility()
    {
        QFETCH(bool, escape);
        PasswordSheet sheet;
        sheet.setNetwork(secured(Security::wpa2Personal), StrengthUnit::dbm);
        sheet.open();
        QSignalSpy dismissed(&sheet, &PasswordSheet::dismissed);
        QTest::keyClicks(sheet.field(), "secret12");
        sheet.showPasswordBox()->setChecked(true);
        QCOMPARE(sheet.field()->echoMode(), QLineEdit::Normal);
        if (escape)
            QTest::keyClick(sheet.field(), Qt::Key_Escape);
        else
            sheet.cancelButton()->click();
        QCOMPARE(dismissed.count(), 1);
        QVERIFY(!sheet.isVisible());

        sheet.setNetwork(secured(Security::wpa2Personal), StrengthUnit::dbm);
        sheet.open();
        QVERIFY(sheet.password().isEmpty());
        QVERIFY(sheet.passwordVisible());
    }
};

QTEST_MAIN(TestPasswordSheet)
#include "tst_PasswordSheet.moc"
