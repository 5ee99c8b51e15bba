// The list computation on records no radio (simulated or real) produces:
// names that are present but empty, an association without a known access
// point, access points without an address.

#include "SimulatedRadios.h"

#include "store/NetworkListBuilder.h"

#include <QTest>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

ScannedNetwork record(std::optional<QString> ssid, std::optional<QString> bssid, int rssi, int channel = 6)
{
    ScannedNetwork n;
    n.ssid = std::move(ssid);
    n.bssid = std::move(bssid);
    n.rssi = rssi;
    n.channel = channel;
    n.security = Security::open;
    return n;
}

QString rowText(const ScannedNetwork& n)
{
    QString text = n.ssid ? QLatin1Char('"') + *n.ssid + QLatin1Char('"') : QStringLiteral("<none>");
    text += QLatin1Char(' ') + n.bssid.value_or(QStringLiteral("-"));
    if (n.apCount > 1)
        text += QStringLiteral(" x%1").arg(n.apCount);
    if (n.isCurrent)
        text += QStringLiteral(" current");
    if (n.isSaved)
        text += QStringLiteral(" saved");
    if (n.isFavorite)
        text += QStringLiteral(" fav");
    return text;
}

QStringList rowTexts(const QList<ScannedNetwork>& networks)
{
    QStringList texts;
    for (const ScannedNetwork& n : networks)
        texts.append(rowText(n));
    return texts;
}

} // namespace

class NetworkListBuilderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useEnglish(); }
    void unusualRecords_data();
    void unusualRecords();
};

void NetworkListBuilderTest::unusualRecords_data()
{
    QTest::addColumn<QList<ScannedNetwork>>("raw");
    QTest::addColumn<NetworkListInputs>("inputs");
    QTest::addColumn<QStringList>("expected");

    const QString empty;
    NetworkListInputs defaults;

    NetworkListInputs showHidden;
    showHidden.showHidden = true;
    QTest::newRow("an empty name is hidden by default")
        << QList<ScannedNetwork>{record(empty, "e1", -40), record("A", "a", -60)} << defaults
        << QStringList{"\"A\" a"};
    NetworkListInputs emptyMarked = showHidden;
    emptyMarked.favorites = {empty};
    emptyMarked.savedSsids = {QByteArray()};
    QTest::newRow("empty names group together, are never favourites")
        << QList<ScannedNetwork>{record(empty, "e1", -40), record(std::nullopt, "h", -45),
                                 record(empty, "e2", -30)}
        << emptyMarked << QStringList{"\"\" e2 x2 saved", "<none> h"};

    NetworkListInputs unknownBSSID;
    unknownBSSID.groupBySSID = false;
    unknownBSSID.currentSSID = QStringLiteral("A");
    QTest::newRow("grouping off, current address unknown: the name decides, the first goes first")
        << QList<ScannedNetwork>{record("B", "b", -30), record("A", "a1", -60), record("A", "a2", -50)}
        << unknownBSSID << QStringList{"\"A\" a2 current", "\"B\" b", "\"A\" a1 current"};

    NetworkListInputs knownBSSID = unknownBSSID;
    knownBSSID.currentBSSID = QStringLiteral("a1");
    QTest::newRow("grouping off, current address known: an access point without one is not current")
        << QList<ScannedNetwork>{record("A", std::nullopt, -40), record("A", "a1", -60)} << knownBSSID
        << QStringList{"\"A\" a1 current", "\"A\" -"};

    NetworkListInputs grouped;
    grouped.currentSSID = QStringLiteral("A");
    grouped.currentBSSID = QStringLiteral("a1");
    QTest::newRow("grouping on: the row of the current name is current, whichever its address")
        << QList<ScannedNetwork>{record("B", "b", -30), record("A", "a1", -60), record("A", "a2", -50)}
        << grouped << QStringList{"\"A\" a2 x2 current", "\"B\" b"};

    NetworkListInputs caseSensitive;
    caseSensitive.currentSSID = QStringLiteral("home");
    caseSensitive.savedSsids = {"HOME"};
    QTest::newRow("marks compare names exactly")
        << QList<ScannedNetwork>{record("Home", "h", -40)} << caseSensitive << QStringList{"\"Home\" h"};

    NetworkListInputs byBytes;
    byBytes.groupBySSID = false;
    byBytes.savedSsids = {"A\xff"};
    const auto bytes = [](const QByteArray& ssid, const char* bssid) {
        ScannedNetwork n = record(QString::fromUtf8(ssid), bssid, -40);
        n.ssidBytes = ssid;
        return n;
    };
    QTest::newRow("saved marks match the exact bytes of names that decode alike")
        << QList<ScannedNetwork>{bytes("A\xff", "a1"), bytes("A\xfe", "a2")} << byBytes
        << QStringList{QStringLiteral("\"A\uFFFD\" a1 saved"), QStringLiteral("\"A\uFFFD\" a2")};

    QTest::newRow("nothing scanned") << QList<ScannedNetwork>{} << grouped << QStringList{};
}

void NetworkListBuilderTest::unusualRecords()
{
    QFETCH(QList<ScannedNetwork>, raw);
    QFETCH(NetworkListInputs, inputs);
    QFETCH(QStringList, expected);
    QCOMPARE(rowTexts(buildNetworkList(raw, inputs)), expected);
}

QTEST_GUILESS_MAIN(NetworkListBuilderTest)
#include "tst_NetworkListBuilder.moc"
