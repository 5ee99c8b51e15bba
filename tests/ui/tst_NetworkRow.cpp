// The list's row: chips by condition, the controls a row offers and what
// clicks on them do, in both writing directions.

#include "tests/ui/UiTestKit.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "ui/Chip.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkRow.h"
#include "ui/SignalBars.h"
#include "ui/Tints.h"

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QScopeGuard>
#include <QToolTip>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

ScannedNetwork network(const char* ssid, Security security = Security::wpa2Personal)
{
    ScannedNetwork n;
    if (ssid)
        n.ssid = QString::fromUtf8(ssid);
    n.bssid = QStringLiteral("aa:bb:cc:dd:ee:01");
    n.rssi = -55;
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

    // The centre of a row's part, checked against the hit test.
    std::optional<QPoint> find(int row, NetworkRow::Part part) const
    {
        const QStyleOptionViewItem o = rowOption(view, row);
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

    // The chips by condition, with the details shown or not and a measured speed.
    void chips()
    {
        const auto chips = [](const ScannedNetwork& record, bool details, double measured = 0) {
            NetworkListModel model;
            model.setShowDetails(details);
            model.setMeasuredLookup([measured](const QString&) { return std::optional<double>(measured); });
            model.setNetworks({record});
            return NetworkRow::chipTexts(model, 0);
        };
        ScannedNetwork plain = network("Cafe");
        plain.noise = 0;
        ScannedNetwork saved = plain;
        saved.isSaved = true;
        QCOMPARE(chips(saved, false, 123.45), (QStringList{"5 GHz", "WPA2", "Known", "Measured 123 Mbps"}));
        saved.isCurrent = true; // the current one is not "known"; 0 is not measured
        QCOMPARE(chips(saved, false), (QStringList{"5 GHz", "WPA2"}));
        ScannedNetwork noisy = plain;
        noisy.rssi = -60;
        noisy.noise = -92;
        noisy.apCount = 2;
        QCOMPARE(chips(noisy, true), (QStringList{"5 GHz", "WPA2", "ch 36", "80 MHz", "2 APs", "S/N 32 dB",
                                                  "aa:bb:cc:dd:ee:01"}));
        noisy.rssi = noisy.noise; // a S/N of 0 dB is left out
        noisy.apCount = 1;
        QCOMPARE(chips(noisy, true), (QStringList{"5 GHz", "WPA2", "ch 36", "80 MHz", "aa:bb:cc:dd:ee:01"}));
        // The kernel's figures: width, S/N, country, one client, load.
        ScannedNetwork kernel = noisy;
        kernel.rssi = -27;
        kernel.noise = -92;
        kernel.widthMHz = 160;
        kernel.countryCode = QStringLiteral("FR");
        kernel.stationCount = 1;
        kernel.utilization = 31;
        QCOMPARE(chips(kernel, true),
                 (QStringList{"5 GHz", "WPA2", "ch 36", "160 MHz", "S/N 65 dB", "Country FR", "1 client",
                              "Load 31%", "aa:bb:cc:dd:ee:01"}));
        // No clients and an idle channel still say so; a country is shown escaped.
        kernel.stationCount = 0;
        kernel.utilization = 0;
        kernel.countryCode = QStringLiteral("\x1b");
        QCOMPARE(chips(kernel, true),
                 (QStringList{"5 GHz", "WPA2", "ch 36", "160 MHz", "S/N 65 dB", "Country \\x1b", "0 clients",
                              "Load 0%", "aa:bb:cc:dd:ee:01"}));
        QCOMPARE(chips(kernel, false), (QStringList{"5 GHz", "WPA2"}));
        ScannedNetwork bare = plain; // unknown band, no channel, width or address
        bare.band = Band::unknown;
        bare.channel = 0;
        bare.widthMHz = 0;
        bare.bssid.reset();
        QCOMPARE(chips(bare, true), QStringList{"WPA2"});
    }

    // In a right-to-left window a chip keeps its own direction: "2.4 GHz"
    // and "S/N 32 dB" do not turn into "GHz 2.4" and "32 dB S/N", and an
    // Arabic chip reads from the right in a left-to-right one. The picture
    // of each is the same whichever way the window runs.
    void chipsReadInTheirOwnDirection()
    {
        LocaleSettings::apply(AppLanguage::ar);
        const auto restore = qScopeGuard([] { LocaleSettings::apply(AppLanguage::en); });
        const QFont font = QApplication::font();
        for (const QString& text :
             {QStringLiteral("2.4 GHz"), Lf("S/N %d dB", "S/N %d dB", {32}), Lf("ch %d", "ch %d", {36})}) {
            const Chip chip{text, false};
            QList<QImage> pictures;
            for (Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
                QImage image(chip.size(font).toSize(), QImage::Format_ARGB32);
                image.fill(Qt::white);
                QPainter painter(&image);
                painter.setLayoutDirection(direction);
                chip.paint(painter, QPointF(0, 0), font, QPalette());
                painter.end();
                pictures.append(image);
            }
            QVERIFY2(pictures[0] == pictures[1], qPrintable(text));
        }
    }

    // A known network and a measured speed stand out semibold; the band and
    // the security are regular.
    void emphasizedChipsAreSemibold()
    {
        ScannedNetwork known = network("Cafe");
        known.isSaved = true;
        Fixture f({known});
        f.model.setMeasuredLookup([](const QString&) { return std::optional<double>(123.45); });
        f.model.setNetworks({known});
        QMap<QString, int> weights;
        for (const Drawn& d : TextRecorder().render(&f.view))
            weights[d.text] = d.font.weight();
        for (const char* chip : {"5 GHz", "WPA2"})
            QCOMPARE(weights.value(chip, -1), int(QFont::Normal));
        for (const char* chip : {"Known", "Measured 123 Mbps"})
            QCOMPARE(weights.value(chip, -1), int(QFont::DemiBold));
    }

    // A new order moves the rows, and the focus with its network, also
    // between rows that look alike (two hidden networks).
    void reorderKeepsFocus()
    {
        ScannedNetwork first = network(nullptr), second = network(nullptr), named = network("Cafe");
        first.bssid = QStringLiteral("aa:bb:cc:dd:ee:0a");
        second.bssid = QStringLiteral("aa:bb:cc:dd:ee:0b");
        Fixture f({first, second, named});
        f.view.setCurrentIndex(f.model.index(0));
        f.model.setNetworks({named, second, first});
        QCOMPARE(f.view.currentIndex().row(), 2);
        f.model.setNetworks({named, first, second}); // only the two alike swap
        QCOMPARE(f.view.currentIndex().row(), 1);
    }

    // The parts a row offers (star, join button, check mark, padlock), and
    // clicks on the star and the join button in both writing directions.
    void controls()
    {
        ScannedNetwork current = network("Home");
        current.isCurrent = true;
        const struct {
            ScannedNetwork record;
            char how; // b: busy joining it; r: laid out right to left
            QString parts;
        } cases[] = {
            {network("Cafe"), ' ', "SJ-P"},
            {network("Cafe"), 'r', "SJ-P"},                       // mirrored
            {network("Owe", Security::owe), ' ', "SJ--"},         // no padlock
            {network("Corp", Security::enterprise), ' ', "SJ--"}, // no padlock, button disabled
            {network(nullptr), ' ', "-J-P"},                      // hidden: no star
            {network(""), ' ', "-J-P"},                           // empty name: no star
            {current, ' ', "S-CP"},                               // check mark, no button
            {network("Cafe"), 'b', "S--P"},                       // busy: spinner, no button
        };
        for (const auto& [record, how, expected] : cases) {
            Fixture f({record}, how == 'r' ? Qt::RightToLeft : Qt::LeftToRight);
            if (how == 'b')
                f.model.setBusyName(displayName(record));
            QString parts;
            for (auto [part, letter] : {std::pair{NetworkRow::Part::star, 'S'},
                                        {NetworkRow::Part::joinButton, 'J'},
                                        {NetworkRow::Part::checkmark, 'C'},
                                        {NetworkRow::Part::padlock, 'P'}})
                parts += f.find(0, part) ? QLatin1Char(letter) : QLatin1Char('-');
            QCOMPARE(parts, expected);
            if (!parts.startsWith("SJ"))
                continue;
            const int joins = record.security == Security::enterprise ? 0 : 1;
            QSignalSpy connectSpy(&f.delegate, &NetworkRow::connectRequested);
            QSignalSpy favoriteSpy(&f.delegate, &NetworkRow::favoriteToggled);
            const QPoint star = *f.find(0, NetworkRow::Part::star);
            const QPoint button = *f.find(0, NetworkRow::Part::joinButton);
            const int middle = f.view.viewport()->width() / 2;
            QCOMPARE(std::pair(star.x() < middle, button.x() > middle), std::pair(how != 'r', how != 'r'));
            QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, button);
            QCOMPARE(std::pair(int(connectSpy.count()), int(favoriteSpy.count())), std::pair(joins, 0));
            QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, star);
            QCOMPARE(std::pair(int(connectSpy.count()), int(favoriteSpy.count())), std::pair(joins, 1));
            // A press on the button released elsewhere does nothing.
            QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, button);
            QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, button - QPoint(200, 0));
            QCOMPARE(connectSpy.count(), joins);
        }
    }

    // Hovering a control tells what it does or shows; hovering the name
    // gives it whole where the row shortens it, and the bytes of a name that
    // is not plain ASCII.
    void hoverTellsEachPart()
    {
        ScannedNetwork current = network("Cafe");
        current.isCurrent = current.isFavorite = true;
        const QString longName =
            QStringLiteral("A network name far too long for the narrow window to show whole");
        Fixture f({current, network("Open", Security::open), network("Corp", Security::enterprise),
                   network("caf\xc3\xa9", Security::wep),
                   network(longName.toUtf8().constData(), Security::owe)});
        f.view.resize(330, 400);
        QApplication::processEvents();
        QStringList tips;
        const auto hover = [&](int row, NetworkRow::Part part) {
            QPoint at = f.find(row, part).value_or(QPoint(-1, -1));
            if (part == NetworkRow::Part::row)
                at = f.view.visualRect(f.model.index(row)).topLeft() + QPoint(70, 12);
            QHelpEvent event(QEvent::ToolTip, at, f.view.viewport()->mapToGlobal(at));
            QApplication::sendEvent(f.view.viewport(), &event);
            tips << read(QToolTip::text());
        };
        using P = NetworkRow::Part;
        const std::pair<int, P> hovered[] = {{0, P::star},    {0, P::checkmark}, {0, P::padlock},
                                             {1, P::star},    {1, P::padlock},   {2, P::joinButton},
                                             {3, P::padlock}, {3, P::row},       {4, P::row}};
        for (auto [row, part] : hovered)
            hover(row, part);
        QCOMPARE(tips, (QStringList{"Remove from Favorites", "Connected", "WPA2", "Add to Favorites", "Open",
                                    WiFiStore::enterpriseMessage(), "WEP", "café\nName bytes: 63 61 66 C3 A9",
                                    longName}));
        QToolTip::hideText();
    }

    // As many bars lit as the strength gives, in its colour (red, orange, green from three); the
    // rest unlit.
    void signalBarsLightTheirCount()
    {
        const QPalette palette = QApplication::palette();
        const QColor tints[] = {QColor(), tintRed(palette), tintOrange(palette), tintGreen(palette),
                                tintGreen(palette)};
        for (int bars = 0; bars <= 4; ++bars) {
            QImage image(int(SignalBars::kWidth) * 4, 48, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            {
                QPainter painter(&image);
                painter.scale(4, 4);
                SignalBars::paint(painter, QRectF(0, 0, SignalBars::kWidth, 12), bars, palette);
            }
            QString seen;
            for (int i = 0; i < 4; ++i) {
                // The middle of bar i (3 units wide, 2 apart, 18 in all, centred), two units
                // above the bottom: inside the shortest bar too.
                const QColor pixel = image.pixelColor(int((1.5 + i * 5 + 1.5) * 4), (12 - 2) * 4);
                seen += pixel == tints[bars] ? u'#' : u'.';
            }
            QCOMPARE(seen, QString(bars, u'#') + QString(4 - bars, u'.'));
        }
    }
};

QTEST_MAIN(TestNetworkRow)
#include "tst_NetworkRow.moc"
