// The shown list as the store builds it from a simulated scan: grouping,
// marks, filters, search and order.

#include "SimulatedRadios.h"

#include "store/NetworkOrder.h"
#include "store/WiFiStore.h"

#include <QTest>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

// One shown row as the assertions spell it: name, address, the group size
// when above one, and the marks.
QString rowText(const ScannedNetwork& n)
{
    QString text =
        n.ssid.value_or(QStringLiteral("<hidden>")) + QLatin1Char(' ') + n.bssid.value_or(QString());
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

// "group=0 hidden=1 sort=name asc=1 top=0 only=1": the list preferences a
// row changes from their defaults.
void applySettings(Prefs& prefs, const QString& settings)
{
    for (const QString& item : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0);
        const QString value = item.section(QLatin1Char('='), 1);
        const bool on = value == QLatin1String("1");
        if (key == QLatin1String("group"))
            prefs.setGroupBySSID(on);
        else if (key == QLatin1String("hidden"))
            prefs.setShowHidden(on);
        else if (key == QLatin1String("sort"))
            prefs.setSortKey(sortKeyFromRawValue(value).value());
        else if (key == QLatin1String("asc"))
            prefs.setAscending(on);
        else if (key == QLatin1String("top"))
            prefs.setFavoritesOnTop(on);
        else if (key == QLatin1String("only"))
            prefs.setFavoritesOnly(on);
        else
            qFatal("unknown setting %s", qPrintable(key));
    }
}

QJsonObject scenarioOf(const QStringList& networks, const QString& current, const QStringList& saved)
{
    QJsonObject scenario;
    scenario[QStringLiteral("networks")] = accessPoints(networks);
    scenario[QStringLiteral("saved")] = QJsonArray::fromStringList(saved);
    if (!current.isEmpty())
        scenario[QStringLiteral("current")] = QJsonObject{{QStringLiteral("bssid"), current}};
    return scenario;
}

} // namespace

class WiFiStoreListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void rebuild_data();
    void rebuild();
    void followsPreferencesAndSearchAfterTheChange();
    void codePointOrder_data();
    void codePointOrder();
    void canonicallyEquivalentNamesAreEqual();
};

void WiFiStoreListTest::rebuild_data()
{
    QTest::addColumn<QStringList>("networks"); // "name|bssid|rssi|channel|security[|band]"
    QTest::addColumn<QString>("current");      // bssid of the current access point, or empty
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QStringList>("favorites");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("expected");

    const QStringList none;

    // Grouping and the hidden filter.
    QTest::newRow("group of three: strongest, earliest on a tie")
        << QStringList{"A|a1|-70", "A|a2|-50", "A|a3|-50"} << "" << none << none << ""
        << "" << QStringList{"A a2 x3"};
    QTest::newRow("grouping off keeps every access point")
        << QStringList{"A|a1|-70", "A|a2|-50", "A|a3|-50"} << "" << none << none << "group=0"
        << "" << QStringList{"A a2", "A a3", "A a1"};
    QTest::newRow("groups do not mix names")
        << QStringList{"A|a1|-70", "B|b1|-60", "A|a2|-40", "B|b2|-80"} << "" << none << none << ""
        << "" << QStringList{"A a2 x2", "B b1 x2"};
    QTest::newRow("hidden networks left out by default")
        << QStringList{"|h1|-40", "A|a1|-70"} << "" << none << none << ""
        << "" << QStringList{"A a1"};
    QTest::newRow("two nameless access points stay two rows")
        << QStringList{"|h1|-40|36", "|h2|-45|36", "A|a1|-70"} << "" << none << none << "hidden=1"
        << "" << QStringList{"<hidden> h1", "<hidden> h2", "A a1"};
    QTest::newRow("nameless: same address and channel merge, another channel does not")
        << QStringList{"|h1|-50|36", "|h1|-40|36", "|h1|-45|40"} << "" << none << none << "hidden=1"
        << "" << QStringList{"<hidden> h1 x2", "<hidden> h1"};

    // Marks.
    QTest::newRow("grouping on: the row of the current name is current")
        << QStringList{"B|b1|-40", "A|a1|-70", "A|a2|-50"} << "a1" << none << none << ""
        << "" << QStringList{"A a2 x2 current", "B b1"};
    QTest::newRow("grouping off: only the current access point")
        << QStringList{"B|b1|-40", "A|a1|-70", "A|a2|-50"} << "a1" << none << none << "group=0"
        << "" << QStringList{"A a1 current", "B b1", "A a2"};
    QTest::newRow("saved and favourite marks, names compared exactly")
        << QStringList{"Home|h|-40", "home|x|-50", "Cafe|c|-60"} << "" << QStringList{"Home"}
        << QStringList{"Cafe"} << "top=0"
        << "" << QStringList{"Home h saved", "home x", "Cafe c fav"};

    // Filters.
    QTest::newRow("favourites only without favourites: just the current network")
        << QStringList{"A|a1|-40", "B|b1|-50"} << "b1" << none << none << "only=1"
        << "" << QStringList{"B b1 current"};
    QTest::newRow("favourites only without favourites or current: nothing")
        << QStringList{"A|a1|-40", "B|b1|-50"} << "" << none << none << "only=1"
        << "" << QStringList{};
    QTest::newRow("favourites only keeps favourites and the current network")
        << QStringList{"A|a1|-40", "B|b1|-50", "C|c1|-60"} << "a1" << none << QStringList{"C"} << "only=1"
        << "" << QStringList{"A a1 current", "C c1 fav"};
    QTest::newRow("search: upper case, spaces and tabs around")
        << QStringList{"Cafe Wifi|c|-40", "My CAFE|d|-50", "Home|h|-30"} << "" << none << none << ""
        << " \tCAFE \u3000" << QStringList{"Cafe Wifi c", "My CAFE d"};
    QTest::newRow("search: lower-casing is the only folding")
        << QStringList{"Café|c|-40", "Cafe|d|-50"} << "" << none << none << ""
        << "CAFÉ" << QStringList{"Café c"};
    QTest::newRow("search: matches the hardware address")
        << QStringList{"A|aa:bb:cc:01|-40", "B|dd:ee:ff:02|-50"} << "" << none << none << ""
        << "BB:CC" << QStringList{"A aa:bb:cc:01"};
    QTest::newRow("search of only spaces shows everything")
        << QStringList{"A|a|-40", "B|b|-50"} << "" << none << none << ""
        << "   \t " << QStringList{"A a", "B b"};
    QTest::newRow("search: a line break is not trimmed") << QStringList{"A|a|-40"} << "" << none << none << ""
                                                         << "\nA" << QStringList{};
    QTest::newRow("search: a name matches by the escapes it is shown with")
        << QStringList{QString::fromUtf16(u"\u041endrel|c|-40"), "Ondrel|o|-50", "Cafe\\x|x|-60"} << ""
        << none << none << ""
        << "\\U041E" << QStringList{QString::fromUtf16(u"\u041endrel c")};
    QTest::newRow("search: a hidden network matches by address, not by its display name")
        << QStringList{"|h1|-40", "A|a|-50"} << "" << none << none << "hidden=1"
        << "hidden" << QStringList{};

    // Order.
    QTest::newRow("signal: strongest first by default")
        << QStringList{"A|a|-70", "B|b|-40", "C|c|-55"} << "" << none << none << ""
        << "" << QStringList{"B b", "C c", "A a"};
    QTest::newRow("signal ascending: weakest first")
        << QStringList{"A|a|-70", "B|b|-40", "C|c|-55"} << "" << none << none << "asc=1"
        << "" << QStringList{"A a", "C c", "B b"};
    QTest::newRow("equal signal: names A to Z whatever the direction")
        << QStringList{"b|1|-50", "C|2|-50", "a|3|-50"} << "" << none << none << ""
        << "" << QStringList{"a 3", "b 1", "C 2"};
    QTest::newRow("name descending: Z to A, case ignored")
        << QStringList{"apple|1|-50", "Zebra|2|-60", "mango|3|-40"} << "" << none << none << "sort=name"
        << "" << QStringList{"Zebra 2", "mango 3", "apple 1"};
    QTest::newRow("name: equal names fall back to the stronger")
        << QStringList{"A|1|-70", "A|2|-40", "B|3|-90"} << "" << none << none << "sort=name asc=1 group=0"
        << "" << QStringList{"A 2", "A 1", "B 3"};
    QTest::newRow("name: a hidden network sorts by its display name")
        << QStringList{"Zulu|z|-50", "|h|-40", "Alpha|a|-60"} << "" << none << none
        << "sort=name asc=1 hidden=1"
        << "" << QStringList{"Alpha a", "<hidden> h", "Zulu z"};
    QTest::newRow("name: a hidden network ties with a network of its display name")
        << QStringList{"|h|-60", "Hidden Network|x|-50", "Alpha|a|-70", "Zulu|z|-40"} << "" << none << none
        << "sort=name asc=1 hidden=1"
        << "" << QStringList{"Alpha a", "Hidden Network x", "<hidden> h", "Zulu z"};
    QTest::newRow("security descending: unknown above enterprise")
        << QStringList{"Open|1|-40|6|open", "Corp|2|-50|6|enterprise", "Odd|3|-60|6|unknown",
                       "Home|4|-30|6|wpa2Personal"}
        << "" << none << none << "sort=security"
        << "" << QStringList{"Odd 3", "Corp 2", "Home 4", "Open 1"};
    QTest::newRow("band descending: 6 GHz first, unknown last")
        << QStringList{"A|1|-40|6|open|24", "B|2|-50|37|open|60", "C|3|-60|36|open|50", "D|4|-30|0|open|0"}
        << "" << none << none << "sort=band"
        << "" << QStringList{"B 2", "C 3", "A 1", "D 4"};
    QTest::newRow("favourites on top, keeping the signal order")
        << QStringList{"A|a|-40", "F2|f2|-80", "B|b|-50", "F1|f1|-60"} << "" << none
        << QStringList{"F2", "F1"} << ""
        << "" << QStringList{"F1 f1 fav", "F2 f2 fav", "A a", "B b"};
    QTest::newRow("current first, then the favourites")
        << QStringList{"A|a|-40", "F|f|-60", "C|c|-90"} << "c" << none << QStringList{"F"} << ""
        << "" << QStringList{"C c current", "F f fav", "A a"};
    QTest::newRow("favourites not on top stay in signal order")
        << QStringList{"A|a|-40", "F|f|-60", "B|b|-50"} << "" << none << QStringList{"F"} << "top=0"
        << "" << QStringList{"A a", "B b", "F f fav"};
}

void WiFiStoreListTest::rebuild()
{
    QFETCH(QStringList, networks);
    QFETCH(QString, current);
    QFETCH(QStringList, saved);
    QFETCH(QStringList, favorites);
    QFETCH(QString, settings);
    QFETCH(QString, search);
    QFETCH(QStringList, expected);

    SimulatedRadios radios(scenarioOf(networks, current, saved));
    TestPrefs prefs;
    applySettings(*prefs, settings);
    for (const QString& name : favorites)
        prefs->toggleFavorite(name);

    WiFiStore store(radios.engine(), *prefs);
    store.setSearchText(search);
    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    store.scan();
    QVERIFY(finished.wait(10000));
    QCOMPARE(rowTexts(store.networks()), expected);
}

void WiFiStoreListTest::followsPreferencesAndSearchAfterTheChange()
{
    SimulatedRadios radios(scenarioOf({"A|a1|-40", "A|a2|-50", "B|b1|-60"}, QString(), {}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    store.scan();
    QVERIFY(finished.wait(10000));
    QCOMPARE(rowTexts(store.networks()), (QStringList{"A a1 x2", "B b1"}));

    // The reaction comes on the next turn of the event loop and sees the new value.
    QSignalSpy changed(&store, &WiFiStore::networksChanged);
    prefs->setGroupBySSID(false);
    QCOMPARE(changed.count(), 0);
    QVERIFY(changed.wait(5000));
    QCOMPARE(rowTexts(store.networks()), (QStringList{"A a1", "A a2", "B b1"}));

    prefs->toggleFavorite(QStringLiteral("B"));
    QTRY_COMPARE(rowTexts(store.networks()), (QStringList{"B b1 fav", "A a1", "A a2"}));

    // A burst of keystrokes rebuilds once, with the last text.
    changed.clear();
    store.setSearchText(QStringLiteral("a"));
    store.setSearchText(QStringLiteral("a2"));
    QCOMPARE(store.searchText(), QStringLiteral("a2"));
    QVERIFY(changed.wait(5000));
    QCOMPARE(rowTexts(store.networks()), (QStringList{"A a2"}));
    QCOMPARE(changed.count(), 1);
}

void WiFiStoreListTest::codePointOrder_data()
{
    QTest::addColumn<QString>("smaller");
    QTest::addColumn<QString>("larger");

    QTest::newRow("prefix first") << "ab"
                                  << "abc";
    QTest::newRow("beyond the basic plane after U+FFxx")
        << QString::fromUcs4(U"\uFF21") << QString::fromUcs4(U"\U0001F600");
}

void WiFiStoreListTest::codePointOrder()
{
    QFETCH(QString, smaller);
    QFETCH(QString, larger);
    QVERIFY(compareCodePoints(smaller, larger) < 0);
    QVERIFY(compareCodePoints(larger, smaller) > 0);
    QCOMPARE(compareCodePoints(smaller, smaller), 0);
}

void WiFiStoreListTest::canonicallyEquivalentNamesAreEqual()
{
    // Composed and decomposed "Café" tie under the name order, so the stable
    // sort keeps them as the scan returned them, whichever comes first.
    const QString composed = QStringLiteral("Caf\u00e9");
    const QString decomposed = QStringLiteral("Cafe\u0301");
    for (const QStringList& names : {QStringList{composed, decomposed}, QStringList{decomposed, composed}}) {
        SimulatedRadios radios(
            scenarioOf({"Zed|z|-50", names[0] + "|1|-50", "Abc|a|-50", names[1] + "|2|-50"}, QString(), {}));
        TestPrefs prefs;
        prefs->setSortKey(SortKey::name);
        prefs->setAscending(true);
        WiFiStore store(radios.engine(), *prefs);
        QSignalSpy finished(&store, &WiFiStore::scanFinished);
        store.scan();
        QVERIFY(finished.wait(10000));
        QCOMPARE(rowTexts(store.networks()),
                 (QStringList{"Abc a", names[0] + " 1", names[1] + " 2", "Zed z"}));
    }
}

QTEST_GUILESS_MAIN(WiFiStoreListTest)
#include "tst_WiFiStoreList.moc"
