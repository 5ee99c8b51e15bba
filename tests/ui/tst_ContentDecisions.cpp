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

    void cardSubtitle()
    {
        const struct {
            QString ssid; // null: not connected
            Band band;
            double txRate;
            StrengthUnit unit;
            int noise;
            QString subtitle;
        } cases[] = {
            {"Home", Band::ghz2_4, 54, StrengthUnit::percent, 0,
             "Connected ・ 90% ・ 2.4 GHz · Channel 36 ・ 54 Mbps"},
            {"Home", Band::unknown, 0, StrengthUnit::dbm, 0, "Connected ・ -55 dBm"},
            {"Home", Band::ghz5, 0, StrengthUnit::dbm, -92,
             "Connected ・ -55 dBm ・ S/N 37 dB ・ 5 GHz · Channel 36"},
            {QString(), Band::ghz5, 866.7, StrengthUnit::dbm, -92, "Pick a network below to connect."},
        };
        for (const auto& c : cases) {
            WiFiEngine::Status s;
            s.noise = c.noise;
            if (!c.ssid.isNull())
                s.ssid = c.ssid;
            s.rssi = -55;
            s.channel = 36;
            s.band = c.band;
            s.txRate = c.txRate;
            QCOMPARE(cardSubtitleFor(s, c.unit), c.subtitle);
        }
    }

    // Bars and percentage on each side of every step.
    void strength()
    {
        // dBm, bars, percent; never negative.
        const std::tuple<int, int, int> cases[] = {
            {-50, 4, 100}, {10, 4, 100}, {-51, 3, 98}, {-60, 3, 80},
            {-61, 2, 78},  {-70, 2, 60}, {-71, 1, 58}, {-80, 1, 40},
            {-81, 0, 38},  {-100, 0, 0}, {-120, 0, 0}, {std::numeric_limits<int>::min(), 0, 0}};
        for (const auto& [rssi, bars, percent] : cases) {
            QCOMPARE(std::pair(barsFor(rssi), strengthPercent(rssi)), std::pair(bars, percent));
            QCOMPARE(strengthText(rssi, StrengthUnit::percent), QStringLiteral("%1%").arg(percent));
        }
    }
};

QTEST_GUILESS_MAIN(TestContentDecisions)
#include "tst_ContentDecisions.moc"
