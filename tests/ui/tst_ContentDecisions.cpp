// The main window's decisions on plain state: which status banner, why the
// list is empty, and the current-network card's second line.

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

    void statusBanner_data()
    {
        QTest::addColumn<bool>("hasInterface");
        QTest::addColumn<bool>("poweredOn");
        QTest::addColumn<int>("location");
        QTest::addColumn<bool>("authorized");
        QTest::addColumn<StatusBanner>("banner");
        QTest::newRow("no interface first") << false << false << 0 << false << StatusBanner::noInterface;
        QTest::newRow("then the radio") << true << false << 0 << false << StatusBanner::radioOff;
        QTest::newRow("never asked") << true << true << 0 << false << StatusBanner::locationAsk;
        QTest::newRow("refused") << true << true << 2 << false << StatusBanner::locationSettings;
        QTest::newRow("allowed") << true << true << 3 << true << StatusBanner::none;
    }
    void statusBanner()
    {
        QFETCH(bool, hasInterface);
        QFETCH(bool, poweredOn);
        QFETCH(int, location);
        QFETCH(bool, authorized);
        QFETCH(StatusBanner, banner);
        QCOMPARE(statusBannerFor(status(hasInterface, poweredOn), location, authorized), banner);
    }

    void emptyList_data()
    {
        using Hiding = WiFiStore::HidingFilter;
        QTest::addColumn<bool>("hasInterface");
        QTest::addColumn<bool>("poweredOn");
        QTest::addColumn<Hiding>("hiding");
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<EmptyList>("reason");
        QTest::newRow("no interface first")
            << false << false << Hiding::search << true << EmptyList::noInterface;
        QTest::newRow("radio before filters")
            << true << false << Hiding::search << false << EmptyList::radioOff;
        QTest::newRow("search") << true << true << Hiding::search << true << EmptyList::search;
        QTest::newRow("favourites") << true << true << Hiding::favoritesOnly << true << EmptyList::favorites;
        QTest::newRow("scanning") << true << true << Hiding::none << true << EmptyList::scanning;
        QTest::newRow("nothing") << true << true << Hiding::none << false << EmptyList::nothingFound;
    }
    void emptyList()
    {
        QFETCH(bool, hasInterface);
        QFETCH(bool, poweredOn);
        QFETCH(WiFiStore::HidingFilter, hiding);
        QFETCH(bool, scanning);
        QFETCH(EmptyList, reason);
        QCOMPARE(emptyListFor(status(hasInterface, poweredOn), hiding, scanning), reason);
    }

    void cardSubtitle_data()
    {
        QTest::addColumn<QString>("ssid");
        QTest::addColumn<int>("band");
        QTest::addColumn<double>("txRate");
        QTest::addColumn<StrengthUnit>("unit");
        QTest::addColumn<QString>("subtitle");
        QTest::newRow("four pieces") << "Home" << 50 << 866.7 << StrengthUnit::dbm
                                     << "Connected ・ -55 dBm ・ 5 GHz · Channel 36 ・ 866 Mbps";
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
