// Bar count, percentage and strength text of a signal.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "ui/Strength.h"

#include <QTest>

using namespace ondrel;

class TestStrength : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { LocaleSettings::apply(AppLanguage::en); }

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

QTEST_GUILESS_MAIN(TestStrength)
#include "tst_Strength.moc"
