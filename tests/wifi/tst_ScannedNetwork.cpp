// The record of one access point: its identifier, the security the codes
// stand for, band and width from the channel codes, the strength's words.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "wifi/AccessPoint.h"
#include "wifi/ScannedNetwork.h"

#include <QTest>

using namespace ondrel;
using C = SecurityCode;

class tst_ScannedNetwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void identifier()
    {
        const QString sep(QChar(1));
        const QList<std::tuple<std::optional<QString>, std::optional<QString>, int, QString>> rows{
            {"X", std::nullopt, 0, "X" + sep + sep + "0"},
            {QString(), "b", 6, sep + "b" + sep + "6"}, // an empty name is no hidden one
        };
        for (const auto& [ssid, bssid, channel, id] : rows) {
            ScannedNetwork network;
            std::tie(network.ssid, network.bssid, network.channel) = std::tie(ssid, bssid, channel);
            QCOMPARE(network.id(), id);
            network.isFavorite = true; // marks are no part of it
            QCOMPARE(network.id(), id);
        }
    }

    // The strongest mode wins, in the order the detection rules ask.
    void detection()
    {
        const QList<std::pair<SecurityCodes, Security>> rows{
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
            {{C::personal}, Security::unknown},
        };
        for (const auto& [codes, security] : rows)
            QVERIFY2(detectSecurity(codes) == security, qPrintable(QString::number(codes.bits(), 16)));
    }

    void fromAccessPoint()
    {
        const QList<std::tuple<std::optional<ChannelInfo>, int, Band, int>> rows{
            {std::nullopt, 0, Band::unknown, 0},           {ChannelInfo{6, 1, 1}, 6, Band::ghz2_4, 20},
            {ChannelInfo{36, 2, 2}, 36, Band::ghz5, 40},   {ChannelInfo{37, 3, 3}, 37, Band::ghz6, 80},
            {ChannelInfo{11, 0, 0}, 11, Band::unknown, 0}, {ChannelInfo{1, 4, 5}, 1, Band::unknown, 0},
        };
        for (const auto& [channel, number, band, width] : rows) {
            const AccessPoint ap{"Caf\xc3\xa9",     "Café", "AA:BB", -67, -91, channel,
                                 {C::wpa2Personal}, "JP",   "h"};
            const ScannedNetwork network = ScannedNetwork::fromAccessPoint(ap);
            QVERIFY(std::tie(network.ssid, network.bssid, network.countryCode) ==
                    std::tie(ap.ssid, ap.bssid, ap.countryCode));
            QVERIFY(std::tie(network.rssi, network.noise, network.channel, network.band, network.widthMHz) ==
                    std::tie(ap.rssi, ap.noise, number, band, width));
            QCOMPARE(network.security, Security::wpa2Personal);
            QVERIFY(network.apCount == 1 && !network.isCurrent && !network.isSaved && !network.isFavorite);
        }
    }

    void strengthLabel()
    {
        LocaleSettings::apply(AppLanguage::en);
        const QList<std::pair<int, const char*>> rows{
            {5, "Excellent"}, {-50, "Excellent"}, {-51, "Good"}, {-60, "Good"},     {-61, "Fair"},
            {-70, "Fair"},    {-71, "Weak"},      {-80, "Weak"}, {-81, "Very weak"}};
        for (const auto& [rssi, label] : rows) {
            ScannedNetwork network;
            network.rssi = rssi;
            QCOMPARE(network.strengthLabel(), QString::fromLatin1(label));
        }
    }
};

QTEST_GUILESS_MAIN(tst_ScannedNetwork)
#include "tst_ScannedNetwork.moc"
