// Scans, timers, radio and leaving on simulated radios, and a store that
// goes away while work is in flight.

#include "SimulatedRadios.h"

#include "store/WiFiStore.h"

#include <QPointer>
#include <QTest>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {

QJsonObject scenario(std::initializer_list<std::pair<QString, QJsonValue>> members = {})
{
    QJsonObject s{{QStringLiteral("networks"), accessPoints({"A|a1|-40|6|open", "B|b1|-60|36|open"})}};
    for (const auto& [key, value] : members)
        s[key] = value;
    return s;
}

QJsonObject delays(int scanMs, int joinMs = 0, int powerMs = 0, int disconnectMs = 0)
{
    return QJsonObject{{QStringLiteral("scanMs"), scanMs},
                       {QStringLiteral("joinMs"), joinMs},
                       {QStringLiteral("powerMs"), powerMs},
                       {QStringLiteral("disconnectMs"), disconnectMs}};
}

bool scanAndWait(WiFiStore& store)
{
    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    store.scan();
    return finished.wait(10000);
}

void setPower(WiFiEngine& engine, bool on)
{
    bool done = false;
    engine.setPower(on, [&done](std::optional<SystemError>) { done = true; });
    QTRY_VERIFY(done);
}

} // namespace

class WiFiStoreLifecycleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void scanFailureKeepsTheList();
    void secondScanWhileOneRunsIsDropped();
    void scanClearsTheBanner();
    void autoRefreshInterval_data();
    void autoRefreshInterval();
    void autoRefreshScans();
    void statusPollFollowsTheRadio();
    void powerOnScans();
    void powerOnDuringAScanStartsNoSecond();
    void powerOnFailureIsTheBanner();
    void disconnectLeaves();
    void destroyedWhileWorkIsInFlight_data();
    void destroyedWhileWorkIsInFlight();
};

void WiFiStoreLifecycleTest::scanFailureKeepsTheList()
{
    SimulatedRadios radios(scenario());
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QVERIFY(scanAndWait(store));
    const QList<ScannedNetwork> listed = store.networks();
    QCOMPARE(listed.size(), 2);
    const std::optional<QDateTime> firstScan = store.lastScan();
    QVERIFY(firstScan);

    setPower(radios.engine(), false);
    QVERIFY(scanAndWait(store));
    QCOMPARE(store.networks(), listed);
    QCOMPARE(store.errorMessage(), QStringLiteral("Wi-Fi is turned off."));
    QVERIFY(!store.isScanning());
    QVERIFY(store.lastScan() >= firstScan);
    QVERIFY(!store.status().poweredOn);
}

void WiFiStoreLifecycleTest::secondScanWhileOneRunsIsDropped()
{
    SimulatedRadios radios(scenario({{QStringLiteral("delays"), delays(200)}}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    QSignalSpy scanning(&store, &WiFiStore::isScanningChanged);

    store.scan();
    QVERIFY(store.isScanning());
    store.scan();
    QVERIFY(finished.wait(10000));
    QVERIFY(!store.isScanning());
    radios.drain();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(scanning.count(), 2);
    QCOMPARE(store.networks().size(), 2);
}

void WiFiStoreLifecycleTest::scanClearsTheBanner()
{
    SimulatedRadios radios(scenario({{QStringLiteral("delays"), delays(100)}}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    ScannedNetwork corp;
    corp.ssid = QStringLiteral("Corp");
    corp.security = Security::enterprise;
    store.activate(corp);
    QVERIFY(store.errorMessage());
    store.scan();
    QCOMPARE(store.errorMessage(), std::nullopt);
    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    QVERIFY(finished.wait(10000));
}

void WiFiStoreLifecycleTest::autoRefreshInterval_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<std::optional<std::chrono::milliseconds>>("expected");

    QTest::newRow("0 is off") << qint64(0) << std::optional<std::chrono::milliseconds>();
    QTest::newRow("negative is off") << qint64(-5) << std::optional<std::chrono::milliseconds>();
    QTest::newRow("30 seconds") << qint64(30) << std::optional<std::chrono::milliseconds>(30s);
    QTest::newRow("5 minutes") << qint64(300) << std::optional<std::chrono::milliseconds>(300s);
    // A stored value beyond what a timer can count must not wrap into a
    // rescan every few milliseconds.
    QTest::newRow("absurdly long is held at the longest a timer counts")
        << (qint64(1) << 40) << std::optional<std::chrono::milliseconds>(2147483s);
}

void WiFiStoreLifecycleTest::autoRefreshInterval()
{
    QFETCH(qint64, seconds);
    QFETCH(std::optional<std::chrono::milliseconds>, expected);

    SimulatedRadios radios(scenario());
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QCOMPARE(store.autoRefreshInterval(), std::nullopt);

    // Changing the preference restarts the timer by itself...
    prefs->setAutoRefreshSeconds(seconds);
    QTRY_COMPARE(store.autoRefreshInterval(), expected);
    // ...and the explicit restart reads the same value.
    store.restartAutoRefresh();
    QCOMPARE(store.autoRefreshInterval(), expected);
    // A new store starts with the stored interval.
    WiFiStore another(radios.engine(), *prefs);
    QCOMPARE(another.autoRefreshInterval(), expected);

    prefs->setAutoRefreshSeconds(0);
    QTRY_COMPARE(store.autoRefreshInterval(), std::nullopt);
}

void WiFiStoreLifecycleTest::autoRefreshScans()
{
    SimulatedRadios radios(scenario());
    TestPrefs prefs;
    prefs->setAutoRefreshSeconds(1);
    WiFiStore store(radios.engine(), *prefs);
    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(store.networks().size(), 2);
}

void WiFiStoreLifecycleTest::statusPollFollowsTheRadio()
{
    SimulatedRadios radios(scenario());
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QVERIFY(scanAndWait(store));
    QCOMPARE(store.status().ssid, std::nullopt);

    // Another program joins B behind the store's back.
    bool joined = false;
    const ScannedNetwork b = store.networks().at(1);
    radios.engine().connect(b.id(), b.ssid, std::nullopt, [&joined](std::optional<SystemError> error) {
        joined = !error;
    });
    QTRY_VERIFY(joined);
    QCOMPARE(store.status().ssid, std::nullopt);

    QSignalSpy statusChanged(&store, &WiFiStore::statusChanged);
    QVERIFY(statusChanged.wait(int(WiFiStore::kStatusPollInterval.count()) + 3000));
    QCOMPARE(store.status().ssid, QStringLiteral("B"));
    QCOMPARE(store.networks().first().ssid, QStringLiteral("B"));
    QVERIFY(store.networks().first().isCurrent);
}

void WiFiStoreLifecycleTest::powerOnScans()
{
    SimulatedRadios radios(scenario({{QStringLiteral("poweredOn"), false}}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QVERIFY(!store.status().poweredOn);

    QSignalSpy finished(&store, &WiFiStore::scanFinished);
    store.powerOn();
    QVERIFY(finished.wait(10000));
    QVERIFY(store.status().poweredOn);
    QCOMPARE(store.networks().size(), 2);
    QCOMPARE(store.errorMessage(), std::nullopt);
}

void WiFiStoreLifecycleTest::powerOnDuringAScanStartsNoSecond()
{
    SimulatedRadios radios(scenario({{QStringLiteral("delays"), delays(150, 0, 150)}}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QSignalSpy finished(&store, &WiFiStore::scanFinished);

    // The radio answers while the store's scan is still queued behind it.
    store.powerOn();
    store.scan();
    QVERIFY(finished.wait(10000));
    radios.drain();
    QCOMPARE(finished.count(), 1);
}

void WiFiStoreLifecycleTest::powerOnFailureIsTheBanner()
{
    SimulatedRadios radios(scenario(
        {{QStringLiteral("poweredOn"), false},
         {QStringLiteral("powerError"),
          QJsonObject{{QStringLiteral("domain"), QStringLiteral("org.freedesktop.NetworkManager")},
                      {QStringLiteral("code"), 1},
                      {QStringLiteral("description"), QStringLiteral("Wireless is disabled by a hardware switch.")}}}}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QSignalSpy banner(&store, &WiFiStore::errorMessageChanged);
    store.powerOn();
    QVERIFY(banner.wait(10000));
    QCOMPARE(store.errorMessage(), QStringLiteral("Wireless is disabled by a hardware switch."));
    QVERIFY(!store.status().poweredOn);
    QVERIFY(!store.isScanning());
}

void WiFiStoreLifecycleTest::disconnectLeaves()
{
    SimulatedRadios radios(scenario({{QStringLiteral("current"), QJsonObject{{QStringLiteral("bssid"), "b1"}}}}));
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    QVERIFY(scanAndWait(store));
    QVERIFY(store.networks().first().isCurrent);
    QCOMPARE(store.networks().first().ssid, QStringLiteral("B"));

    QSignalSpy statusChanged(&store, &WiFiStore::statusChanged);
    store.disconnect();
    QVERIFY(statusChanged.wait(10000));
    QCOMPARE(store.status().ssid, std::nullopt);
    QCOMPARE(store.networks().first().ssid, QStringLiteral("A"));
    for (const ScannedNetwork& n : store.networks())
        QVERIFY(!n.isCurrent);
    QCOMPARE(store.errorMessage(), std::nullopt);
}

void WiFiStoreLifecycleTest::destroyedWhileWorkIsInFlight_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("scan") << "scan";
    QTest::newRow("join") << "join";
    QTest::newRow("power on") << "powerOn";
    QTest::newRow("leave") << "disconnect";
}

void WiFiStoreLifecycleTest::destroyedWhileWorkIsInFlight()
{
    QFETCH(QString, action);
    SimulatedRadios radios(scenario({{QStringLiteral("delays"), delays(150, 150, 150, 150)}}));
    TestPrefs prefs;
    prefs->setAutoRefreshSeconds(1);
    auto* store = new WiFiStore(radios.engine(), *prefs);
    QPointer<WiFiStore> watch(store);
    QVERIFY(scanAndWait(*store));

    if (action == QLatin1String("scan"))
        store->scan();
    else if (action == QLatin1String("join"))
        store->activate(store->networks().first());
    else if (action == QLatin1String("powerOn"))
        store->powerOn();
    else
        store->disconnect();
    delete store;
    QVERIFY(!watch);

    // The completion arrives with the store gone (a touch would be a
    // use-after-free under the sanitizers); the timers are gone with it.
    radios.drain();
    prefs->setGroupBySSID(false);
    QCoreApplication::processEvents();
}

QTEST_GUILESS_MAIN(WiFiStoreLifecycleTest)
#include "tst_WiFiStoreLifecycle.moc"
