// The shown list computed from one scan's records: grouping, marks, filters, search and order.

#include "localization/LocaleSettings.h"
#include "store/NetworkListBuilder.h"
#include "wifi/SsidText.h"

#include <QTest>

using namespace ondrel;

// GCC 12 wants every member of a designated initializer under -Wextra; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// A name written percent-encoded (for bytes that are not UTF-8); "?" is none.
std::optional<QString> name(const QString& text)
{
    if (text == QLatin1String("?"))
        return std::nullopt;
    return ssidFromBytes(QByteArray::fromPercentEncoding(text.toUtf8()));
}

// "name|bssid|rssi|channel|security|band", raw values, an empty bssid for none.
ScannedNetwork record(const QString& text)
{
    const QStringList f = text.split(QLatin1Char('|'));
    ScannedNetwork n;
    n.ssid = name(f[0]);
    if (!f.value(1).isEmpty())
        n.bssid = f[1];
    n.rssi = f.value(2, QStringLiteral("-60")).toInt();
    n.channel = f.value(3, QStringLiteral("6")).toInt();
    n.security = securityFromRawValue(f.value(4).toInt()).value();
    n.band = bandFromRawValue(f.value(5).toInt()).value();
    return n;
}

QString rowText(const ScannedNetwork& n)
{
    QString text = n.ssid ? (n.ssid->isEmpty() ? "\"\"" : *n.ssid) : "<hidden>";
    text += ' ' + n.bssid.value_or("-") + (n.apCount > 1 ? QString(" x%1").arg(n.apCount) : "");
    return text + (n.isCurrent ? " current" : "") + (n.isSaved ? " saved" : "") +
           (n.isFavorite ? " fav" : "");
}

} // namespace

Q_DECLARE_METATYPE(ondrel::NetworkListInputs)

class tst_NetworkListBuilder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { LocaleSettings::apply(AppLanguage::en); }

    // Each row: the records of a scan, the inputs besides them, the rows shown.
    void build_data()
    {
        QTest::addColumn<QString>("records");
        QTest::addColumn<NetworkListInputs>("inputs");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* records, const NetworkListInputs& in,
                            const QString& expected) { QTest::newRow(name) << records << in << expected; };
        const NetworkListInputs byName{.sortKey = SortKey::name, .ascending = true};

        // Grouping and the hidden filter.
        row("group: strongest, then first", "A|a1|-70 B|b1 A|a2|-50 B|b2", {}, "A a2 x2, B b1 x2");
        row("hidden and empty names left out", "?|h1|-40 |e|-40 A|a1|-70", {}, "A a1");
        row("nameless: by address and channel", "?|h1|-50|36 ?|h2|-45|36 ?|h1|-40|36 ?|h1|-45|40",
            {.showHidden = true}, "<hidden> h1 x2, <hidden> h2, <hidden> h1");
        row("empty names group, never favourites", "|e1|-40 ?|h|-45 |e2|-30",
            {.showHidden = true, .favorites = {""}, .savedSsids = {""}}, "\"\" e2 x2 saved, <hidden> h");

        // Marks.
        row("grouped: the current name", "B|b1|-40 A|a1|-70 A|a2|-50",
            {.currentSSID = "A", .currentBSSID = "a1"}, "A a2 x2 current, B b1");
        row("ungrouped: the current address only", "B|b1|-40 A|a1|-70 A|a2 A||-45",
            {.groupBySSID = false, .currentSSID = "A", .currentBSSID = "a1"},
            "A a1 current, B b1, A -, A a2");
        row("ungrouped: by name without an address", "B|b|-30 A|a1 A|a2|-50",
            {.groupBySSID = false, .currentSSID = "A"}, "A a2 current, B b, A a1 current");
        row("marks compare names exactly", "Home|h|-40 home|x|-50 Cafe|c HOME|y",
            {.favoritesOnTop = false, .favorites = {"Cafe"}, .savedSsids = {"Home"}, .currentSSID = "hOME"},
            "Home h saved, home x, Cafe c fav, HOME y");
        row("saved marks match exact bytes", "A%FF|a1 A%FE|a2", {.savedSsids = {"A\xff"}},
            ssidFromBytes("A\xff") + " a1 saved, " + ssidFromBytes("A\xfe") + " a2");

        // Filters and search.
        row("favourites only, none: nothing", "A|a1", {.favoritesOnly = true}, "");
        row("favourites only, and current", "A|a1|-40 B|b1|-50 C|c1",
            {.favoritesOnly = true, .favorites = {"C"}, .currentSSID = "A", .currentBSSID = "a1"},
            "A a1 current, C c1 fav");
        row("search: any case, trimmed", "Cafe%20Wifi|c|-40 My%20CAFE|d|-50 Home|h",
            {.searchText = " \tCAFE \u3000"}, "Cafe Wifi c, My CAFE d");
        row("search: no folding but case", "Café|c|-40 Cafe|d", {.searchText = "CAFÉ"}, "Café c");
        row("search: the address", "A|aa:bb:cc:01 B|dd:ee:ff:02", {.searchText = "BB:CC"}, "A aa:bb:cc:01");
        row("search: a line break stays", "A|a", {.searchText = "\nA"}, "");
        row("search: as shown", "\u041endrel|c Ondrel|o", {.searchText = "\\U041E"}, "\u041endrel c");
        row("search: hidden ones by address", "?|h1 A|a", {.showHidden = true, .searchText = "hidden"}, "");

        // Order.
        row("signal, then names A to Z", "b|1 A|2|-70 C|3 a|4 B|5|-40", {}, "B 5, a 4, b 1, C 3, A 2");
        row("name descending, any case", "apple|1 Zebra|2 mango|3", {.sortKey = SortKey::name},
            "Zebra 2, mango 3, apple 1");
        row("name: equal ones by signal", "A|1|-70 A|2|-40 B|3|-90",
            {.groupBySSID = false, .sortKey = SortKey::name, .ascending = true}, "A 2, A 1, B 3");
        row("name: hidden by its display name", "?|h|-60 Hidden%20Network|x|-50 Alpha|a Zulu|z",
            {.showHidden = true, .sortKey = SortKey::name, .ascending = true},
            "Alpha a, Hidden Network x, <hidden> h, Zulu z");
        row("name: equivalent ones tie", "Zed|z Caf%C3%A9|1 Abc|a Cafe%CC%81|2", byName,
            "Abc a, Caf\u00e9 1, Cafe\u0301 2, Zed z");
        row("name: code points", "abc|1 😀|2 ab|3 \uFF21|4", byName, "ab 3, abc 1, \uFF21 4, 😀 2");
        row("security: unknown highest", "O|1|-40|6|0 C|2|-50|6|7 U|3|-60|6|99 H|4|-30|6|4",
            {.sortKey = SortKey::security}, "U 3, C 2, H 4, O 1");
        row("band: 6 GHz first, unknown last", "A|1|-40|6|0|24 B|2|-50|37|0|60 C|3|-60|36|0|50 D|4|-30",
            {.sortKey = SortKey::band}, "B 2, C 3, A 1, D 4");
        row("current first, favourites next", "A|a|-40 F2|f2|-80 B|b|-50 F1|f1 C|c|-90",
            {.favorites = {"F2", "F1"}, .currentSSID = "C", .currentBSSID = "c"},
            "C c current, F1 f1 fav, F2 f2 fav, A a, B b");
        row("favourites not on top", "A|a|-40 F|f B|b|-50", {.favoritesOnTop = false, .favorites = {"F"}},
            "A a, B b, F f fav");
    }

    void build()
    {
        QFETCH(QString, records);
        QFETCH(NetworkListInputs, inputs);
        QFETCH(QString, expected);
        QList<ScannedNetwork> raw;
        for (const QString& text : records.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            raw.append(record(text));
        QStringList rows;
        for (const ScannedNetwork& n : buildNetworkList(raw, inputs))
            rows.append(rowText(n));
        QCOMPARE(rows.join(", "), expected);
    }
};

QTEST_GUILESS_MAIN(tst_NetworkListBuilder)
#include "tst_NetworkListBuilder.moc"
