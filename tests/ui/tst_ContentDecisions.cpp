// The plain decisions the main window draws from: the current-network
// card's second line, in the cases the window's own tests (tst_ContentView)
// do not reach (percent, unknown band, no rate; the banners and the empty
// list's reasons are checked there), and a signal's bars and percentage.

#include "localization/LocaleSettings.h"
#include "ui/ContentDecisions.h"
#include "ui/Strength.h"

#include <QTest>

using namespace ondrel;

class TestContentDecisions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { LocaleSettings::apply(AppLanguage::en); }

    void cardSubtitle_data()
    {
        QTest::addColumn<QString>("ssid");
        QTest::addColumn<int>("band");
        QTest::addColumn<double>("txRate");
        QTest::addColumn<StrengthUnit>("unit");
        QTest::addColumn<int>("noise");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("percent") << "Home" << 24 << 54.0 << StrengthUnit::percent << 0
                                 << "Connected ・ 90% ・ 2.4 GHz · Channel 36 ・ 54 Mbps";
        QTest::newRow("unknown band, no rate")
            << "Home" << 0 << 0.0 << StrengthUnit::dbm << 0 << "Connected ・ -55 dBm";
        QTest::newRow("the noise known: signal to noise")
            << "Home" << 50 << 0.0 << StrengthUnit::dbm << -92
            << "Connected ・ -55 dBm ・ S/N 37 dB ・ 5 GHz · Channel 36";
        QTest::newRow("not connected")
            << QString() << 50 << 866.7 << StrengthUnit::dbm << -92 << "Pick a network below to connect.";
    }
    void cardSubtitle()
    {
        QFETCH(QString, ssid);
        QFETCH(int, band);
        QFETCH(double, txRate);
        QFETCH(StrengthUnit, unit);
        QFETCH(int, noise);
        WiFiEngine::Status s;
        s.noise = noise;
        if (!ssid.isNull())
            s.ssid = ssid;
        s.rssi = -55;
        s.channel = 36;
        s.band = band == 50 ? Band::ghz5 : band == 24 ? Band::ghz2_4 : Band::unknown;
        s.txRate = txRate;
        QTEST(cardSubtitleFor(s, unit), "subtitle");
    }

    void strength_data()
    {
        QTest::addColumn<int>("rssi");
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("percent");
        QTest::newRow("-50") << -50 << 4 << 100;
        QTest::newRow("positive") << 10 << 4 << 100;
        QTest::newRow("-51") << -51 << 3 << 98;
        QTest::newRow("-60") << -60 << 3 << 80;
        QTest::newRow("-61") << -61 << 2 << 78;
        QTest::newRow("-70") << -70 << 2 << 60;
        QTest::newRow("-71") << -71 << 1 << 58;
        QTest::newRow("-80") << -80 << 1 << 40;
        QTest::newRow("-81") << -81 << 0 << 38;
        QTest::newRow("-100") << -100 << 0 << 0;
        QTest::newRow("-120 never negative") << -120 << 0 << 0;
        QTest::newRow("extreme") << std::numeric_limits<int>::min() << 0 << 0;
    }
    void strength()
    {
        QFETCH(int, rssi);
        QFETCH(int, bars);
        QFETCH(int, percent);
        QCOMPARE(barsFor(rssi), bars);
        QCOMPARE(strengthPercent(rssi), percent);
        QCOMPARE(strengthText(rssi, StrengthUnit::percent), QStringLiteral("%1%").arg(percent));
    }
};

QTEST_GUILESS_MAIN(TestContentDecisions)
#include "tst_ContentDecisions.moc"
