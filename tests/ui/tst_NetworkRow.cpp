// The list's row: chips by condition, the controls a row offers and what
// clicks on them do, in both writing directions.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "store/DisplayName.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkRow.h"

#include <QApplication>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

using namespace ondrel;

namespace {

ScannedNetwork network(const char* ssid, Security security = Security::wpa2Personal, int rssi = -55)
{
    ScannedNetwork n;
    if (ssid)
        n.ssid = QString::fromUtf8(ssid);
    n.bssid = QStringLiteral("aa:bb:cc:dd:ee:01");
    n.rssi = rssi;
    n.channel = 36;
    n.band = Band::ghz5;
    n.widthMHz = 80;
    n.security = security;
    return n;
}

struct Fixture {
    NetworkListModel model;
    NetworkRow delegate;
    QListView view;

    explicit Fixture(const QList<ScannedNetwork>& networks, Qt::LayoutDirection direction = Qt::LeftToRight)
    {
        model.setNetworks(networks);
        view.setLayoutDirection(direction);
        view.setModel(&model);
        view.setItemDelegate(&delegate);
        view.setUniformItemSizes(true);
        view.resize(760, 400);
        view.show();
    }

    QStyleOptionViewItem option(int row) const
    {
        QStyleOptionViewItem option;
        option.initFrom(view.viewport());
        option.rect = view.visualRect(model.index(row));
        option.font = view.font();
        option.direction = view.layoutDirection();
        option.widget = &view;
        return option;
    }

    // The centre of a row's part, checked against the hit test.
    std::optional<QPoint> find(int row, NetworkRow::Part part) const
    {
        const QStyleOptionViewItem o = option(row);
        const std::optional<QRect> rect = delegate.partRect(o, model.index(row), part);
        if (!rect)
            return std::nullopt;
        if (delegate.partAt(o, model.index(row), rect->center()) != part)
            return std::nullopt;
        return rect->center();
    }
};

} // namespace

class TestNetworkRow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { LocaleSettings::apply(AppLanguage::en); }

    void chips_data()
    {
        QTest::addColumn<ScannedNetwork>("record");
        QTest::addColumn<bool>("details");
        QTest::addColumn<double>("measured");
        QTest::addColumn<QStringList>("chips");

        ScannedNetwork plain = network("Cafe");
        plain.noise = 0;
        QTest::newRow("details off, measured 0") << plain << false << 0.0 << QStringList{"5 GHz", "WPA2"};
        QTest::newRow("details on, one AP, no noise")
            << plain << true << 0.0 << QStringList{"5 GHz", "WPA2", "ch 36", "80 MHz", "aa:bb:cc:dd:ee:01"};

        ScannedNetwork noisy = plain;
        noisy.rssi = -60;
        noisy.noise = -92;
        noisy.apCount = 2;
        QTest::newRow("two APs and S/N")
            << noisy << true << 0.0
            << QStringList{"5 GHz", "WPA2", "ch 36", "80 MHz", "2 APs", "S/N 32 dB", "aa:bb:cc:dd:ee:01"};

        ScannedNetwork bare = plain;
        bare.band = Band::unknown;
        bare.channel = 0;
        bare.widthMHz = 0;
        bare.bssid.reset();
        QTest::newRow("unknown band, no channel, width or address")
            << bare << true << 0.0 << QStringList{"WPA2"};

        ScannedNetwork saved = plain;
        saved.isSaved = true;
        QTest::newRow("known") << saved << false << 0.0 << QStringList{"5 GHz", "WPA2", "Known"};
        saved.isCurrent = true;
        QTest::newRow("current is not 'known'") << saved << false << 0.0 << QStringList{"5 GHz", "WPA2"};

        QTest::newRow("measured") << plain << false << 123.45
                                  << QStringList{"5 GHz", "WPA2", "Measured 123 Mbps"};

        ScannedNetwork sameNoise = plain;
        sameNoise.rssi = -90;
        sameNoise.noise = -90;
        QTest::newRow("S/N of 0 dB is left out")
            << sameNoise << true << 0.0
            << QStringList{"5 GHz", "WPA2", "ch 36", "80 MHz", "aa:bb:cc:dd:ee:01"};
    }
    void chips()
    {
        QFETCH(ScannedNetwork, record);
        QFETCH(bool, details);
        QFETCH(double, measured);
        QFETCH(QStringList, chips);
        NetworkListModel model;
        model.setShowDetails(details);
        model.setMeasuredLookup([measured](const QString&) { return std::optional<double>(measured); });
        model.setNetworks({record});
        QCOMPARE(NetworkRow::chipTexts(model, 0), chips);
    }

    void accessPointsInJapanese()
    {
        LocaleSettings::apply(AppLanguage::ja);
        ScannedNetwork n = network("Cafe");
        n.apCount = 2;
        NetworkListModel model;
        model.setShowDetails(true);
        model.setNetworks({n});
        QVERIFY(NetworkRow::chipTexts(model, 0).contains(QStringLiteral("2台")));
    }

    void controls_data()
    {
        QTest::addColumn<ScannedNetwork>("record");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("hasStar");
        QTest::addColumn<bool>("hasButton");
        QTest::addColumn<bool>("hasCheckmark");
        QTest::addColumn<bool>("hasPadlock");

        QTest::newRow("wpa2") << network("Cafe") << false << true << true << false << true;
        QTest::newRow("open") << network("Free", Security::open) << false << true << true << false << true;
        QTest::newRow("owe, no padlock")
            << network("Owe", Security::owe) << false << true << true << false << false;
        QTest::newRow("enterprise, no padlock")
            << network("Corp", Security::enterprise) << false << true << true << false << false;
        QTest::newRow("hidden, no star") << network(nullptr) << false << false << true << false << true;
        ScannedNetwork emptyName = network("");
        QTest::newRow("empty name, no star") << emptyName << false << false << true << false << true;
        ScannedNetwork current = network("Home");
        current.isCurrent = true;
        QTest::newRow("current: check mark, no button") << current << false << true << false << true << true;
        QTest::newRow("busy: spinner, no button")
            << network("Cafe") << true << true << false << false << true;
    }
    void controls()
    {
        QFETCH(ScannedNetwork, record);
        QFETCH(bool, busy);
        QFETCH(bool, hasStar);
        QFETCH(bool, hasButton);
        QFETCH(bool, hasCheckmark);
        QFETCH(bool, hasPadlock);
        Fixture f({record});
        if (busy)
            f.model.setBusyName(displayName(record));
        QCOMPARE(f.find(0, NetworkRow::Part::star).has_value(), hasStar);
        QCOMPARE(f.find(0, NetworkRow::Part::joinButton).has_value(), hasButton);
        QCOMPARE(f.find(0, NetworkRow::Part::checkmark).has_value(), hasCheckmark);
        QCOMPARE(f.find(0, NetworkRow::Part::padlock).has_value(), hasPadlock);
    }

    void clicks_data()
    {
        QTest::addColumn<Security>("security");
        QTest::addColumn<int>("joins");
        QTest::newRow("wpa2 joins") << Security::wpa2Personal << 1;
        QTest::newRow("enterprise button is disabled") << Security::enterprise << 0;
    }
    void clicks()
    {
        QFETCH(Security, security);
        QFETCH(int, joins);
        Fixture f({network("Cafe", security)});
        QSignalSpy connectSpy(&f.delegate, &NetworkRow::connectRequested);
        QSignalSpy favoriteSpy(&f.delegate, &NetworkRow::favoriteToggled);

        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, *f.find(0, NetworkRow::Part::joinButton));
        QCOMPARE(connectSpy.count(), joins);
        QCOMPARE(favoriteSpy.count(), 0);

        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, *f.find(0, NetworkRow::Part::star));
        QCOMPARE(favoriteSpy.count(), 1);
        QCOMPARE(connectSpy.count(), joins);

        // A press on the button released elsewhere does nothing.
        const QPoint button = *f.find(0, NetworkRow::Part::joinButton);
        QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, button);
        QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, button - QPoint(200, 0));
        QCOMPARE(connectSpy.count(), joins);
    }

    void rightToLeftMirrorsTheRow()
    {
        Fixture ltr({network("Cafe")});
        Fixture rtl({network("Cafe")}, Qt::RightToLeft);
        const int middle = ltr.view.viewport()->width() / 2;
        QVERIFY(ltr.find(0, NetworkRow::Part::star)->x() < middle);
        QVERIFY(ltr.find(0, NetworkRow::Part::joinButton)->x() > middle);
        QVERIFY(rtl.find(0, NetworkRow::Part::star)->x() > middle);
        QVERIFY(rtl.find(0, NetworkRow::Part::joinButton)->x() < middle);
    }

    void frozenListKeepsItsOrder()
    {
        NetworkListModel model;
        model.setNetworks({network("A"), network("B")});
        model.setFrozen(true);
        model.setNetworks({network("B"), network("A"), network("C")});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.network(0).ssid, QStringLiteral("A"));
        model.setFrozen(false);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.network(0).ssid, QStringLiteral("B"));
    }

    // Chips without room are counted by "+N", whose tooltip lists them.
    void chipsWithoutRoomInTheTooltip()
    {
        ScannedNetwork n = network("Mesh");
        n.noise = -92;
        n.apCount = 3;
        Fixture f({n});
        f.model.setShowDetails(true);
        const QStringList all = NetworkRow::chipTexts(f.model, 0);
        QVERIFY(!f.find(0, NetworkRow::Part::moreChips));
        f.view.resize(480, 400);
        const std::optional<QPoint> more = f.find(0, NetworkRow::Part::moreChips);
        QVERIFY(more);
        const QStyleOptionViewItem o = f.option(0);
        QHelpEvent help(QEvent::ToolTip, *more, f.view.viewport()->mapToGlobal(*more));
        QVERIFY(f.delegate.helpEvent(&help, &f.view, o, f.model.index(0)));
        QTextDocument tip;
        tip.setHtml(QToolTip::text());
        const QStringList hidden = tip.toPlainText().split(QLatin1Char('\n'));
        QVERIFY2(hidden.size() >= 2 && all.endsWith(hidden.last()), qPrintable(tip.toPlainText()));
        QCOMPARE(all.mid(all.size() - hidden.size()), hidden);
    }

    void paintsHostileNamesOnOneLine()
    {
        // Markup, a line break and a direction override stay plain text; the
        // row paints without growing.
        Fixture f({network("<b>bold</b>\nsecond line \u202Eevil"),
                   network("An extremely long network name that "
                           "cannot possibly fit in the row at all")});
        const QPixmap picture = f.view.viewport()->grab();
        QVERIFY(!picture.isNull());
        QCOMPARE(f.view.visualRect(f.model.index(0)).height(), f.view.visualRect(f.model.index(1)).height());
        QCOMPARE(f.model.index(0).data().toString(),
                 QString::fromUtf16(
                     u"\u2068<b>bold</b>\u2066\\x0a\u2069second line \u2066\\u202e\u2069evil\u2069"));
        // Its tooltip shows the same characters, markup and all, and its bytes.
        const QStyleOptionViewItem o = f.option(0);
        QHelpEvent help(QEvent::ToolTip, o.rect.center(), f.view.viewport()->mapToGlobal(o.rect.center()));
        QVERIFY(f.delegate.helpEvent(&help, &f.view, o, f.model.index(0)));
        QTextDocument tip;
        tip.setHtml(QToolTip::text());
        QVERIFY2(tip.toPlainText().contains(QStringLiteral("\u2068<b>bold</b>\u2066\\x0a")),
                 qPrintable(QToolTip::text()));
        QVERIFY(tip.toPlainText().contains(QStringLiteral("3C 62 3E 62 6F 6C 64 3C 2F 62 3E 0A")));
    }
};

QTEST_MAIN(TestNetworkRow)
#include "tst_NetworkRow.moc"
