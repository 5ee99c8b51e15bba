// The current-network card's second line on plain state, in the cases the
// window's own tests (tst_ContentView) do not reach: percent, unknown band,
// no rate. The banners and the empty list's reasons are checked there.

#include "localization/LocaleSettings.h"
#include "ui/ContentDecisions.h"

#include <QTest>

using namespace ondrel;

namespace {

WiFiEngine::Status status(bool hasInterface, bool poweredOn)
{
    WiFiEngine::Status s;
    s.hasInterface = hasInterface;
    s.poweredOn = poweredOn;
    return s;
}

} // namespace

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
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("percent") << "Home" << 24 << 54.0 << StrengthUnit::percent
                                 << "Connected ・ 90% ・ 2.4 GHz · Channel 36 ・ 54 Mbps";
        QTest::newRow("unknown band, no rate")
            << "Home" << 0 << 0.0 << StrengthUnit::dbm << "Connected ・ -55 dBm";
        QTest::newRow("not connected")
            << QString() << 50 << 866.7 << StrengthUnit::dbm << "Pick a network below to connect.";
    }
    void cardSubtitle()
    {
        QFETCH(QString, ssid);
        QFETCH(int, band);
        QFETCH(double, txRate);
        QFETCH(StrengthUnit, unit);
        WiFiEngine::Status s = status(true, true);
        if (!ssid.isNull())
            s.ssid = ssid;
        s.rssi = -55;
        s.channel = 36;
        s.band = band == 50 ? Band::ghz5 : band == 24 ? Band::ghz2_4 : Band::unknown;
        s.txRate = txRate;
        QTEST(cardSubtitleFor(s, unit), "subtitle");
    }
};

QTEST_GUILESS_MAIN(TestContentDecisions)
#include "tst_ContentDecisions.moc"
