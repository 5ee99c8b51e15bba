// The shown list computed from one scan's records: grouping, marks, filters,
// search and order.

#include "localization/LocaleSettings.h"
#include "store/NetworkListBuilder.h"
#include "store/NetworkOrder.h"
#include "wifi/SsidText.h"

#include <QTest>

#include <map>

using namespace ondrel;

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

// "group=0 hidden=1 sort=name asc=1 top=0 only=1 saved=A,B fav=C current=bssid currentName=A":
// what a row changes from the defaults. "current" also names the network of that access point.
NetworkListInputs inputs(const QString& settings, const QList<ScannedNetwork>& raw)
{
    NetworkListInputs in;
    const std::map<QString, bool*> flags{{"group", &in.groupBySSID},
                                         {"hidden", &in.showHidden},
                                         {"asc", &in.ascending},
                                         {"top", &in.favoritesOnTop},
                                         {"only", &in.favoritesOnly}};
    for (const QString& item : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0), value = item.section(QLatin1Char('='), 1);
        if (flags.contains(key))
            *flags.at(key) = value == QLatin1String("1");
        else if (key == "sort")
            in.sortKey = sortKeyFromRawValue(value).value();
        for (const QString& entry : value.split(QLatin1Char(',')))
            if (key == "saved")
                in.savedSsids.insert(QByteArray::fromPercentEncoding(entry.toUtf8()));
            else if (key == "fav")
                in.favorites.insert(*name(entry));
        if (key == "currentName")
            in.currentSSID = name(value);
        for (const ScannedNetwork& n : raw)
            if (key == "current" && n.bssid == value)
                std::tie(in.currentBSSID, in.currentSSID) = std::tuple(value, n.ssid);
    }
    return in;
}

} // namespace

class tst_NetworkListBuilder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { LocaleSettings::apply(AppLanguage::en); }

    void build_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, QStringList records, const QString& settings,
                            QStringList expected, const QString& search = QString()) {
            QTest::newRow(name) << records << settings << search << expected;
        };

        // Grouping and the hidden filter.
        row("group: strongest, earliest on a tie", {"A|a1|-70", "A|a2|-50", "A|a3|-50"}, "", {"A a2 x3"});
        row("groups keep to their names", {"A|a1|-70", "B|b1|-60", "A|a2|-40", "B|b2|-80"}, "",
            {"A a2 x2", "B b1 x2"});
        row("hidden and empty names left out by default", {"?|h1|-40", "|e|-40", "A|a1|-70"}, "", {"A a1"});
        row("nameless: merged by address and channel",
            {"?|h1|-50|36", "?|h2|-45|36", "?|h1|-40|36", "?|h1|-45|40"}, "hidden=1",
            {"<hidden> h1 x2", "<hidden> h2", "<hidden> h1"});
        row("empty names group, are never favourites", {"|e1|-40", "?|h|-45", "|e2|-30"},
            "hidden=1 fav= saved=", {"\"\" e2 x2 saved", "<hidden> h"});

        // Marks.
        row("grouped: the current name's row is current", {"B|b1|-40", "A|a1|-70", "A|a2|-50"}, "current=a1",
            {"A a2 x2 current", "B b1"});
        row("ungrouped: only the current access point", {"B|b1|-40", "A|a1|-70", "A|a2|-50"},
            "group=0 current=a1", {"A a1 current", "B b1", "A a2"});
        row("ungrouped, no current address: by name", {"B|b|-30", "A|a1|-60", "A|a2|-50"},
            "group=0 currentName=A", {"A a2 current", "B b", "A a1 current"});
        row("ungrouped: no address is not the current one", {"A||-40", "A|a1|-60"}, "group=0 current=a1",
            {"A a1 current", "A -"});
        row("saved and favourite marks compare names exactly",
            {"Home|h|-40", "home|x|-50", "Cafe|c|-60", "HOME|y"},
            "top=0 saved=Home fav=Cafe currentName=hOME", {"Home h saved", "home x", "Cafe c fav", "HOME y"});
        row("saved marks match exact bytes", {"A%FF|a1|-40", "A%FE|a2|-40"}, "group=0 saved=A%FF",
            {ssidFromBytes("A\xff") + " a1 saved", ssidFromBytes("A\xfe") + " a2"});

        // Filters and search.
        row("favourites only, none and no current: nothing", {"A|a1|-40"}, "only=1", {});
        row("favourites only: they and the current network", {"A|a1|-40", "B|b1|-50", "C|c1|-60"},
            "only=1 current=a1 fav=C", {"A a1 current", "C c1 fav"});
        row("search: any case, trimmed of spaces and tabs",
            {"Cafe Wifi|c|-40", "My CAFE|d|-50", "Home|h|-30"}, "", {"Cafe Wifi c", "My CAFE d"},
            " \tCAFE \u3000");
        row("search: lower-casing is the only folding", {"Café|c|-40", "Cafe|d|-50"}, "", {"Café c"}, "CAFÉ");
        row("search: the address", {"A|aa:bb:cc:01|-40", "B|dd:ee:ff:02|-50"}, "", {"A aa:bb:cc:01"},
            "BB:CC");
        row("search: a line break is not trimmed", {"A|a|-40"}, "", {}, "\nA");
        row("search: names match as shown", {"\u041endrel|c|-40", "Ondrel|o|-50"}, "", {"\u041endrel c"},
            "\\U041E");
        row("search: hidden ones by address only", {"?|h1|-40", "A|a|-50"}, "hidden=1", {}, "hidden");

        // Order.
        row("signal: strongest first by default", {"A|a|-70", "B|b|-40", "C|c|-55"}, "",
            {"B b", "C c", "A a"});
        row("equal signal: names A to Z", {"b|1|-50", "C|2|-50", "a|3|-50"}, "", {"a 3", "b 1", "C 2"});
        row("name descending, case ignored", {"apple|1", "Zebra|2", "mango|3"}, "sort=name",
            {"Zebra 2", "mango 3", "apple 1"});
        row("name: equal ones by signal", {"A|1|-70", "A|2|-40", "B|3|-90"}, "sort=name asc=1 group=0",
            {"A 2", "A 1", "B 3"});
        row("name: hidden ones by the display name, tying with it",
            {"?|h|-60", "Hidden Network|x|-50", "Alpha|a|-70", "Zulu|z|-40"}, "sort=name asc=1 hidden=1",
            {"Alpha a", "Hidden Network x", "<hidden> h", "Zulu z"});
        row("name: canonically equivalent ones tie", {"Zed|z", "Caf%C3%A9|1", "Abc|a", "Cafe%CC%81|2"},
            "sort=name asc=1", {"Abc a", "Caf\u00e9 1", "Cafe\u0301 2", "Zed z"});
        row("name: code point order, a prefix first", {"abc|1", "😀|2", "ab|3", "\uFF21|4"}, "sort=name asc=1",
            {"ab 3", "abc 1", "\uFF21 4", "😀 2"});
        row("security descending: unknown above enterprise",
            {"O|1|-40|6|0", "C|2|-50|6|7", "U|3|-60|6|99", "H|4||6|4"}, "sort=security",
            {"U 3", "C 2", "H 4", "O 1"});
        row("band descending: 6 GHz first, unknown last",
            {"A|1||6|0|24", "B|2||37|0|60", "C|3||36|0|50", "D|4||0"}, "sort=band",
            {"B 2", "C 3", "A 1", "D 4"});
        row("favourites on top in signal order", {"A|a|-40", "F2|f2|-80", "B|b|-50", "F1|f1|-60"},
            "fav=F2,F1", {"F1 f1 fav", "F2 f2 fav", "A a", "B b"});
        row("current first, then favourites", {"A|a|-40", "F|f|-60", "C|c|-90"}, "current=c fav=F",
            {"C c current", "F f fav", "A a"});
        row("favourites not on top", {"A|a|-40", "F|f|-60", "B|b|-50"}, "top=0 fav=F",
            {"A a", "B b", "F f fav"});
    }

    void build()
    {
        QFETCH(QStringList, records);
        QFETCH(QString, settings);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        QList<ScannedNetwork> raw;
        for (const QString& text : records)
            raw.append(record(text));
        NetworkListInputs in = inputs(settings, raw);
        in.searchText = search;
        QStringList rows;
        for (const ScannedNetwork& n : buildNetworkList(raw, in))
            rows.append(rowText(n));
        QCOMPARE(rows, expected);
    }
};

QTEST_GUILESS_MAIN(tst_NetworkListBuilder)
#include "tst_NetworkListBuilder.moc"
