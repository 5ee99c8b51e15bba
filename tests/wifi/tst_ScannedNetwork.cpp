// The record of one access point: the security the codes stand for, the strength's words. (The engine's tests
// build whole records from scenarios.)

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "wifi/ScannedNetwork.h"

#include <QTest>

using namespace ondrel;
using C = SecurityCode;

class tst_ScannedNetwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The strongest mode wins, in the order the detection rules ask; the strength's words change at -50, -60,
    // -70 and -80 dBm.
    void securityAndStrength()
    {
        const QList<std::pair<SecurityCodes, Security>> securities{
            {{C::wpa3Personal, C::wpa2Personal}, Security::wpa2wpa3Personal},
            {{C::wpa3Personal}, Security::wpa3Personal},
            {{C::wpa3Personal, C::wpa2Enterprise}, Security::wpa3Personal},
            {{C::wpa3Transition, C::wpa2Personal}, Security::wpa2wpa3Personal},
            {{C::wpa3Transition}, Security::wpa3Personal},
            {{C::wpa2Personal, C::wpa2Enterprise}, Security::wpa2Personal},
            {{C::wpa2Personal, C::wpaPersonal}, Security::wpa2Personal},
            {{C::wpaPersonal}, Security::wpaPersonal},
            {{C::wpaPersonalMixed, C::wpaEnterprise}, Security::wpaPersonal},
            {{C::wpa3Enterprise}, Security::enterprise},
            {{C::enterprise}, Security::enterprise},
            {{C::dynamicWEP, C::wep}, Security::enterprise},
            {{C::wep, C::owe, C::none}, Security::wep},
            {{C::owe}, Security::owe},
            {{C::oweTransition, C::none}, Security::owe},
            {{C::none}, Security::open},
            {{}, Security::unknown},
            {{C::personal}, Security::unknown}};
        for (const auto& [codes, security] : securities)
            QVERIFY2(detectSecurity(codes) == security, qPrintable(QString::number(codes.bits(), 16)));
        LocaleSettings::apply(AppLanguage::en);
        const QList<std::pair<int, const char*>> words{{-50, "Excellent"}, {-51, "Good"},     {-60, "Good"},
                                                       {-61, "Fair"},      {-70, "Fair"},     {-71, "Weak"},
                                                       {-80, "Weak"},      {-81, "Very weak"}};
        ScannedNetwork network;
        for (const auto& [rssi, label] : words) {
            network.rssi = rssi;
            QCOMPARE(network.strengthLabel(), QString::fromLatin1(label));
        }
    }
};

QTEST_GUILESS_MAIN(tst_ScannedNetwork)
#include "tst_ScannedNetwork.moc"
