#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "wifi/AccessPoint.h"
#include "wifi/ScannedNetwork.h"

#include <QSet>
#include <QTest>

using namespace ondrel;
using C = SecurityCode;


class TestScannedNetwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void identifier_data();
    void identifier();
    void equalityCoversEveryField();
    void detection_data();
    void detection();
    void fromAccessPoint_data();
    void fromAccessPoint();
    void strengthLabel_data();
    void strengthLabel();
    void rawValues();
    void labelsFollowTheLanguage();
};

void TestScannedNetwork::identifier_data()
{
    QTest::addColumn<std::optional<QString>>("ssid");
    QTest::addColumn<std::optional<QString>>("bssid");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("id");
    const QString sep(QChar(1));
    QTest::newRow("hidden") << std::optional<QString>() << std::optional<QString>(QStringLiteral("AA")) << 36
                            << sep + "hidden" + sep + "AA" + sep + "36";
    QTest::newRow("no address, channel 0") << std::optional<QString>(QStringLiteral("X"))
                                           << std::optional<QString>() << 0 << "X" + sep + sep + "0";
    QTest::newRow("empty name stays empty")
        << std::optional<QString>(QString()) << std::optional<QString>("b") << 6 << sep + "b" + sep + "6";
    QTest::newRow("negative channel")
        << std::optional<QString>("N") << std::optional<QString>("b") << -1 << "N" + sep + "b" + sep + "-1";
}

void TestScannedNetwork::identifier()
{
    QFETCH(std::optional<QString>, ssid);
    QFETCH(std::optional<QString>, bssid);
    QFETCH(int, channel);
    QFETCH(QString, id);
    ScannedNetwork network;
    network.ssid = ssid;
    network.bssid = bssid;
    network.channel = channel;
    QCOMPARE(network.id(), id);
}

void TestScannedNetwork::equalityCoversEveryField()
{
    ScannedNetwork base;
    base.ssid = QStringLiteral("Net");
    base.bssid = QStringLiteral("aa:bb");
    base.countryCode = QStringLiteral("DE");
    const QList<std::function<void(ScannedNetwork&)>> changes{
        [](ScannedNetwork& n) { n.ssid.reset(); },
        [](ScannedNetwork& n) { n.ssid = QString(); },
        [](ScannedNetwork& n) { n.bssid.reset(); },
        [](ScannedNetwork& n) { n.rssi = -1; },
        [](ScannedNetwork& n) { n.noise = -90; },
        [](ScannedNetwork& n) { n.channel = 1; },
        [](ScannedNetwork& n) { n.band = Band::ghz5; },
        [](ScannedNetwork& n) { n.widthMHz = 20; },
        [](ScannedNetwork& n) { n.security = Security::open; },
        [](ScannedNetwork& n) { n.countryCode.reset(); },
        [](ScannedNetwork& n) { n.apCount = 2; },
        [](ScannedNetwork& n) { n.isCurrent = true; },
        [](ScannedNetwork& n) { n.isSaved = true; },
        [](ScannedNetwork& n) { n.isFavorite = true; },
    };
    QSet<ScannedNetwork> all{base};
    for (const auto& change : changes) {
        ScannedNetwork other = base;
        change(other);
        QVERIFY(other != base);
        all.insert(other);
    }
    QCOMPARE(all.size(), changes.size() + 1);
    ScannedNetwork copy = base;
    QVERIFY(copy == base);
    QCOMPARE(qHash(copy), qHash(base));
    ScannedNetwork favorite = base;
    favorite.isFavorite = true;
    QCOMPARE(favorite.id(), base.id());
}

void TestScannedNetwork::detection_data()
{
    QTest::addColumn<SecurityCodes>("codes");
    QTest::addColumn<Security>("expected");
    QTest::newRow("WPA3 with WPA2") << SecurityCodes{C::wpa3Personal, C::wpa2Personal}
                                    << Security::wpa2wpa3Personal;
    QTest::newRow("WPA3 alone") << SecurityCodes{C::wpa3Personal} << Security::wpa3Personal;
    QTest::newRow("WPA3 beats enterprise")
        << SecurityCodes{C::wpa3Personal, C::wpa2Enterprise} << Security::wpa3Personal;
    QTest::newRow("transition with WPA2")
        << SecurityCodes{C::wpa3Transition, C::wpa2Personal} << Security::wpa2wpa3Personal;
    QTest::newRow("transition alone") << SecurityCodes{C::wpa3Transition} << Security::wpa3Personal;
    QTest::newRow("WPA2 beside enterprise")
        << SecurityCodes{C::wpa2Personal, C::wpa2Enterprise} << Security::wpa2Personal;
    QTest::newRow("WPA2 beside WPA") << SecurityCodes{C::wpa2Personal, C::wpaPersonal}
                                     << Security::wpa2Personal;
    QTest::newRow("WPA") << SecurityCodes{C::wpaPersonal} << Security::wpaPersonal;
    QTest::newRow("WPA mixed") << SecurityCodes{C::wpaPersonalMixed} << Security::wpaPersonal;
    QTest::newRow("WPA beside enterprise")
        << SecurityCodes{C::wpaPersonalMixed, C::wpaEnterprise} << Security::wpaPersonal;
    QTest::newRow("WPA3 enterprise") << SecurityCodes{C::wpa3Enterprise} << Security::enterprise;
    QTest::newRow("WPA2 enterprise") << SecurityCodes{C::wpa2Enterprise} << Security::enterprise;
    QTest::newRow("WPA enterprise") << SecurityCodes{C::wpaEnterprise} << Security::enterprise;
    QTest::newRow("WPA enterprise mixed") << SecurityCodes{C::wpaEnterpriseMixed} << Security::enterprise;
    QTest::newRow("enterprise") << SecurityCodes{C::enterprise} << Security::enterprise;
    QTest::newRow("dynamic WEP is enterprise")
        << SecurityCodes{C::dynamicWEP, C::wep} << Security::enterprise;
    QTest::newRow("WEP") << SecurityCodes{C::wep} << Security::wep;
    QTest::newRow("WEP beats OWE and none") << SecurityCodes{C::wep, C::owe, C::none} << Security::wep;
    QTest::newRow("OWE") << SecurityCodes{C::owe} << Security::owe;
    QTest::newRow("OWE transition only") << SecurityCodes{C::oweTransition} << Security::owe;
    QTest::newRow("OWE transition beats none") << SecurityCodes{C::oweTransition, C::none} << Security::owe;
    QTest::newRow("none") << SecurityCodes{C::none} << Security::open;
    QTest::newRow("nothing answered") << SecurityCodes{} << Security::unknown;
    QTest::newRow("only an unasked code") << SecurityCodes{C::personal} << Security::unknown;
}

void TestScannedNetwork::detection()
{
    QFETCH(SecurityCodes, codes);
    QFETCH(Security, expected);
    QCOMPARE(detectSecurity(codes), expected);
}

void TestScannedNetwork::fromAccessPoint_data()
{
    QTest::addColumn<std::optional<ChannelInfo>>("channel");
    QTest::addColumn<int>("number");
    QTest::addColumn<Band>("band");
    QTest::addColumn<int>("width");
    QTest::newRow("no channel object") << std::optional<ChannelInfo>() << 0 << Band::unknown << 0;
    QTest::newRow("2.4 GHz, 20 MHz") << std::optional<ChannelInfo>({6, 1, 1}) << 6 << Band::ghz2_4 << 20;
    QTest::newRow("5 GHz, 40 MHz") << std::optional<ChannelInfo>({36, 2, 2}) << 36 << Band::ghz5 << 40;
    QTest::newRow("6 GHz, 80 MHz") << std::optional<ChannelInfo>({37, 3, 3}) << 37 << Band::ghz6 << 80;
    QTest::newRow("160 MHz") << std::optional<ChannelInfo>({100, 2, 4}) << 100 << Band::ghz5 << 160;
    QTest::newRow("codes 0") << std::optional<ChannelInfo>({11, 0, 0}) << 11 << Band::unknown << 0;
    QTest::newRow("band code 4, width code 5")
        << std::optional<ChannelInfo>({1, 4, 5}) << 1 << Band::unknown << 0;
}

void TestScannedNetwork::fromAccessPoint()
{
    QFETCH(std::optional<ChannelInfo>, channel);
    AccessPoint ap;
    ap.ssidBytes = "Caf\xc3\xa9";
    ap.ssid = QStringLiteral("Café");
    ap.bssid = QStringLiteral("AA:BB:CC:DD:EE:FF");
    ap.rssi = -67;
    ap.noise = -91;
    ap.channel = channel;
    ap.security = {C::wpa2Personal};
    ap.countryCode = QStringLiteral("JP");
    const ScannedNetwork network = ScannedNetwork::fromAccessPoint(ap);
    QCOMPARE(network.ssid, ap.ssid);
    QCOMPARE(network.bssid, ap.bssid);
    QCOMPARE(network.rssi, -67);
    QCOMPARE(network.noise, -91);
    QTEST(network.channel, "number");
    QTEST(network.band, "band");
    QTEST(network.widthMHz, "width");
    QCOMPARE(network.security, Security::wpa2Personal);
    QCOMPARE(network.countryCode, ap.countryCode);
    QCOMPARE(network.apCount, 1);
    QVERIFY(!network.isCurrent && !network.isSaved && !network.isFavorite);
}

void TestScannedNetwork::strengthLabel_data()
{
    QTest::addColumn<int>("rssi");
    QTest::addColumn<QString>("label");
    QTest::newRow("positive") << 5 << "Excellent";
    QTest::newRow("-50") << -50 << "Excellent";
    QTest::newRow("-51") << -51 << "Good";
    QTest::newRow("-60") << -60 << "Good";
    QTest::newRow("-61") << -61 << "Fair";
    QTest::newRow("-70") << -70 << "Fair";
    QTest::newRow("-71") << -71 << "Weak";
    QTest::newRow("-80") << -80 << "Weak";
    QTest::newRow("-81") << -81 << "Very weak";
    QTest::newRow("-120") << -120 << "Very weak";
}

void TestScannedNetwork::strengthLabel()
{
    QFETCH(int, rssi);
    LocaleSettings::apply(AppLanguage::en);
    ScannedNetwork network;
    network.rssi = rssi;
    QTEST(network.strengthLabel(), "label");
}

void TestScannedNetwork::rawValues()
{
    for (int raw = -1; raw <= 100; ++raw) {
        const std::optional<Band> band = bandFromRawValue(raw);
        QCOMPARE(band.has_value(), raw == 24 || raw == 50 || raw == 60 || raw == 0);
        if (band)
            QCOMPARE(rawValue(*band), raw);
        const std::optional<Security> security = securityFromRawValue(raw);
        QCOMPARE(security.has_value(), (raw >= 0 && raw <= 7) || raw == 99);
        if (security)
            QCOMPARE(rawValue(*security), raw);
    }
    const QList<Security> ordered{Security::open,         Security::owe,          Security::wep,
                                  Security::wpaPersonal,  Security::wpa2Personal, Security::wpa2wpa3Personal,
                                  Security::wpa3Personal, Security::enterprise,   Security::unknown};
    for (qsizetype i = 1; i < ordered.size(); ++i) {
        QVERIFY(ordered[i - 1] < ordered[i]);
        QVERIFY(ordered[i] > ordered[i - 1]);
        QVERIFY(ordered[i - 1] <= ordered[i] && ordered[i] <= ordered[i]);
        QVERIFY(!(ordered[i] <= ordered[i - 1]));
        QVERIFY(ordered[i] >= ordered[i - 1]);
    }
}

void TestScannedNetwork::labelsFollowTheLanguage()
{
    LocaleSettings::apply(AppLanguage::ja);
    QCOMPARE(label(Band::unknown), QStringLiteral("不明"));
    QCOMPARE(label(Security::owe), QStringLiteral("暗号化あり（パスワードなし）"));
    QCOMPARE(label(Security::wpa2wpa3Personal), QStringLiteral("WPA2/WPA3"));
    QCOMPARE(label(Band::ghz2_4), QStringLiteral("2.4 GHz"));
    LocaleSettings::apply(AppLanguage::en);
    QCOMPARE(label(Band::unknown), QStringLiteral("Unknown"));
    QCOMPARE(label(Security::open), QStringLiteral("Open"));
    QCOMPARE(label(Security::enterprise), QStringLiteral("Enterprise (802.1X)"));
    QCOMPARE(label(Security::unknown), QStringLiteral("Unknown"));
    QCOMPARE(label(Band::ghz6), QStringLiteral("6 GHz"));
}

QTEST_GUILESS_MAIN(TestScannedNetwork)
#include "tst_ScannedNetwork.moc"
