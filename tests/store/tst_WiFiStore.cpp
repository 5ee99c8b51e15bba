// The store on simulated radios: scans, the join flow and its messages,
// radio and leaving, its timers in virtual time, and a store that goes away
// while work is in flight.

#include "ManualClock.h"
#include "SimulatedRadios.h"

#include "store/WiFiStore.h"

#include <QPointer>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {

const QString kReason = QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");

QJsonObject error(qint64 code, const QString& domain = kReason, const QString& description = QString())
{
    return {{"domain", domain}, {"code", code}, {"description", description}};
}

// "A|a1|-40|6|open" access points, and further scenario members.
QJsonObject scenario(const QStringList& networks, QJsonObject members = {})
{
    members["networks"] = accessPoints(networks);
    return members;
}

struct Fixture {
    explicit Fixture(const QJsonObject& scenario, qint64 refreshSeconds = 0) : radios(scenario)
    {
        prefs->setShowHidden(true);
        prefs->setAutoRefreshSeconds(refreshSeconds);
        store = std::make_unique<WiFiStore>(radios.engine(), *prefs, nullptr, clock);
    }
    bool scan()
    {
        QSignalSpy finished(store.get(), &WiFiStore::scanFinished);
        store->scan();
        return finished.wait(10000);
    }
    // Waits until a join in flight has been handled and nothing else is queued.
    void settle()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!store->connectingTo(), 10000);
        radios.drain();
    }
    ScannedNetwork first() const { return store->networks().value(0); }

    SimulatedRadios radios;
    TestPrefs prefs;
    ManualClock clock;
    std::unique_ptr<WiFiStore> store;
};

} // namespace

class tst_WiFiStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void activate_data()
    {
        QTest::addColumn<QString>("network"); // "name|bssid|rssi|channel|security"
        QTest::addColumn<QJsonObject>("extras");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("joins");  // a join is attempted (connectingTo shows the name)
        QTest::addColumn<bool>("joined"); // and it succeeds
        QTest::addColumn<bool>("sheet");  // the password sheet opens
        QTest::addColumn<QString>("banner");
        const QJsonObject none, password{{"password", "correct horse"}};
        QTest::newRow("open: joined at once")
            << "Cafe|c|-50|6|open" << none << false << true << true << false << "";
        QTest::newRow("enhanced open: joined at once")
            << "Cafe|c|-50|6|owe" << none << false << true << true << false << "";
        QTest::newRow("unknown security: joined without a password, failure described")
            << "Odd|o|-50|6|unknown" << QJsonObject{{"joinError", error(7)}} << false << true << false
            << false << "Could not connect to “\u2068Odd\u2069”. Check the password.";
        QTest::newRow("enterprise: only the banner")
            << "Corp|e|-50|6|enterprise" << none << true << false << false << false
            << "Join enterprise (802.1X) networks from Wi-Fi in System Settings.";
        QTest::newRow("unsaved WPA2: the sheet")
            << "Home|h|-50|6|wpa2Personal" << password << false << false << false << true << "";
        QTest::newRow("unsaved WEP: the sheet")
            << "Old|w|-50|6|wep" << password << false << false << false << true << "";
        QTest::newRow("saved WPA3: joined with the system's credentials")
            << "Home|h|-50|6|wpa3Personal" << password << true << true << true << false << "";
        QTest::newRow("saved WPA2 failing: the sheet and no banner")
            << "Home|h|-50|6|wpa2Personal" << QJsonObject{{"joinError", error(10)}} << true << true << false
            << true << "";
        QTest::newRow("hidden open network: messages use the display name")
            << "|h1|-50|6|open" << QJsonObject{{"joinError", error(53)}} << false << true << false << false
            << "“Hidden network” refused the connection or timed out. Check that you are in range.";
    }

    void activate()
    {
        QFETCH(QString, network);
        QFETCH(QJsonObject, extras);
        QFETCH(bool, saved);
        QFETCH(bool, joins);
        QFETCH(bool, joined);
        QFETCH(bool, sheet);
        QFETCH(QString, banner);
        QJsonObject ap = accessPoint(network);
        for (auto it = extras.begin(); it != extras.end(); ++it)
            ap[it.key()] = it.value();
        QJsonObject s{{"networks", QJsonArray{ap}}, {"delays", QJsonObject{{"joinMs", 50}}}};
        if (saved)
            s["saved"] = QJsonArray{ap["ssid"]};
        Fixture f(s);
        QVERIFY(f.scan());
        const ScannedNetwork target = f.first();
        QCOMPARE(target.isSaved, saved);
        f.store->activate(target);
        QCOMPARE(f.store->connectingTo(),
                 joins ? target.ssid.value_or("Hidden network") : std::optional<QString>());
        f.settle();
        QCOMPARE(f.store->status().bssid == target.bssid, joined);
        QCOMPARE(std::tuple(f.first().isCurrent, f.first().isSaved), std::tuple(joined, joined || saved));
        QCOMPARE(f.store->passwordTarget() ? f.store->passwordTarget()->id() : QString(),
                 sheet ? target.id() : QString());
        QCOMPARE(f.store->errorMessage().value_or(QString()), banner);

        // Activating the current network, or one no longer in range.
        ScannedNetwork other = target;
        other.isCurrent = true;
        other.security = Security::open;
        f.store->activate(other);
        QCOMPARE(std::tuple(f.store->connectingTo(), f.store->errorMessage().value_or(QString())),
                 std::tuple(std::optional<QString>(), banner));
        other.ssid = QStringLiteral("Elsewhere");
        other.isCurrent = false;
        f.store->activate(other);
        f.settle();
        QCOMPARE(
            f.store->errorMessage(),
            "Could not connect to “\u2068Elsewhere\u2069”. This network is no longer in range. Scan again.");
    }

    void passwordSheet_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted"); // long enough: the sheet closes and a join starts
        QTest::addColumn<bool>("joined");
        QTest::addColumn<QString>("banner");
        const QString wrong = QStringLiteral("Could not connect to “\u2068Home\u2069”. Check the password.");
        QTest::newRow("right password joins") << "wpa2Personal"
                                              << "correct horse" << true << true << "";
        QTest::newRow("wrong password: the message, not the sheet again")
            << "wpa2Personal"
            << "wrong horse" << true << false << wrong;
        QTest::newRow("seven characters are too few for WPA") << "wpa2Personal"
                                                              << "1234567" << false << false << "";
        QTest::newRow("five characters do for WEP") << "wep"
                                                    << "12345" << true << false << wrong;
        QTest::newRow("four characters are too few for WEP") << "wep"
                                                             << "1234" << false << false << "";
        QTest::newRow("characters are counted as the user sees them")
            << "wpa3Personal" << QString::fromUtf8("👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽")
            << false << false << "";
    }

    void passwordSheet()
    {
        QFETCH(QString, security);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(bool, joined);
        QFETCH(QString, banner);
        QJsonObject ap = accessPoint("Home|h|-50|6|" + security);
        ap["password"] = "correct horse";
        Fixture f({{"networks", QJsonArray{ap}}, {"delays", QJsonObject{{"joinMs", 50}}}});
        QVERIFY(f.scan());
        f.store->activate(f.first());
        QVERIFY(f.store->passwordTarget());
        QCOMPARE(f.store->submitPassword(typed), accepted);
        QCOMPARE(std::tuple(f.store->passwordTarget().has_value(), f.store->connectingTo().has_value()),
                 std::tuple(!accepted, accepted));
        f.settle();
        QCOMPARE(std::tuple(f.first().isCurrent, f.first().isSaved), std::tuple(joined, joined));
        QCOMPARE(f.store->errorMessage().value_or(QString()), banner);
        f.store->cancelPassword();
        QCOMPARE(f.store->passwordTarget(), std::nullopt);
        QVERIFY(!f.store->submitPassword(QStringLiteral("correct horse")));
    }

    void describe_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("ssid"); // empty: a hidden network
        QTest::addColumn<QString>("expected");
        const QString password =
            QStringLiteral("Could not connect to “\u2068Home\u2069”. Check the password.");
        const QString reach = QStringLiteral(
            "“\u2068Home\u2069” refused the connection or timed out. Check that you are in range.");
        const QString nm = QStringLiteral("org.freedesktop.NetworkManager"), home = QStringLiteral("Home");
        const QString generic = QStringLiteral("Could not connect to “\u2068Home\u2069”. %1");
        for (qint64 code : {7, 8, 9, 10, 11})
            QTest::addRow("reason %lld: check the password", code)
                << kReason << code << "" << home << password;
        QTest::newRow("reason 53, network not found") << kReason << qint64(53) << "" << home << reach;
        QTest::newRow("reason 1: the description")
            << kReason << qint64(1) << "Unknown error." << home << generic.arg("Unknown error.");
        QTest::newRow("a reason code of another domain")
            << "org.example.Other" << qint64(7) << "Else." << home << generic.arg("Else.");
        QTest::newRow("refused by policy: without the name")
            << nm << qint64(-3930) << "Not authorized." << home << "This operation is not permitted.";
        QTest::newRow("join not finished in time") << nm << qint64(-3905) << "Timed out." << home << reach;
        QTest::newRow("other NetworkManager failures")
            << nm << qint64(-1) << "No device." << home << generic.arg("No device.");
        QTest::newRow("a D-Bus error name is no domain of ours")
            << "org.freedesktop.DBus.Error.AccessDenied" << qint64(-3930) << "Denied." << home
            << generic.arg("Denied.");
        QTest::newRow("gone") << SystemError::kWiFiErrorDomain << qint64(2) << "" << home
                              << generic.arg("This network is no longer in range. Scan again.");
        QTest::newRow("no interface") << SystemError::kWiFiErrorDomain << qint64(0) << "" << home
                                      << generic.arg("No Wi-Fi interface was found.");
        QTest::newRow("hidden network") << kReason << qint64(7) << ""
                                        << ""
                                        << "Could not connect to “Hidden network”. Check the password.";
        QTest::newRow("format characters shown as they are")
            << kReason << qint64(1) << "100% %@ sure"
            << "50%@ %d"
            << "Could not connect to “\u206850%@ %d\u2069”. 100% %@ sure";
        QTest::newRow("hostile name and description shown by the name rule")
            << kReason << qint64(1) << "Bad\x1b[2J"
            << "evil\u202eTXT"
            << "Could not connect to “\u2068evil\u2066\\u202e\u2069TXT\u2069”. Bad\\x1b[2J";
    }

    void describe()
    {
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        QFETCH(QString, description);
        QFETCH(QString, ssid);
        QFETCH(QString, expected);
        Fixture f({});
        ScannedNetwork network;
        if (!ssid.isEmpty())
            network.ssid = ssid;
        QCOMPARE(f.store->describe(network, SystemError(domain, code, description)), expected);
    }

    void scansAndRadio()
    {
        Fixture f(
            scenario({"A|a1|-40|6|open", "B|b1|-60|36|open"},
                     {{"poweredOn", false}, {"delays", QJsonObject{{"scanMs", 150}, {"powerMs", 150}}}}));
        // Powering on scans, once even with a scan asked for meanwhile.
        QSignalSpy finished(f.store.get(), &WiFiStore::scanFinished),
            scanning(f.store.get(), &WiFiStore::isScanningChanged);
        f.store->powerOn();
        f.store->scan();
        f.store->scan();
        QVERIFY(finished.wait(10000));
        f.radios.drain();
        QCOMPARE(std::tuple(finished.count(), scanning.count(), f.store->networks().size()),
                 std::tuple(1, 2, 2));
        QCOMPARE(f.store->lastScan(), f.clock.utcNow());

        // A scan clears the banner; a failed one keeps the list and shows its own.
        ScannedNetwork corp;
        corp.ssid = QStringLiteral("Corp");
        corp.security = Security::enterprise;
        f.store->activate(corp);
        QVERIFY(f.store->errorMessage());
        const QList<ScannedNetwork> listed = f.store->networks();
        bool off = false;
        f.radios.engine().setPower(false, [&off](std::optional<SystemError>) { off = true; });
        QTRY_VERIFY(off);
        f.store->scan();
        QCOMPARE(f.store->errorMessage(), std::nullopt);
        QVERIFY(finished.wait(10000));
        QCOMPARE(std::tuple(f.store->networks(), f.store->errorMessage(), f.store->isScanning(),
                            f.store->status().poweredOn),
                 std::tuple(listed, std::optional<QString>("Wi-Fi is turned off."), false, false));

        // Joined, then left: the marks follow.
        f.store->powerOn();
        QVERIFY(finished.wait(10000));
        f.store->activate(f.store->networks().at(1));
        f.settle();
        QCOMPARE(f.first().ssid, QStringLiteral("B"));
        QSignalSpy status(f.store.get(), &WiFiStore::statusChanged);
        f.store->disconnect();
        QVERIFY(status.wait(10000));
        QCOMPARE(
            std::tuple(f.store->status().ssid, f.first().ssid, f.first().isCurrent, f.store->errorMessage()),
            std::tuple(std::optional<QString>(), std::optional<QString>("A"), false,
                       std::optional<QString>()));

        // A radio that cannot be turned on: the banner.
        Fixture blocked(scenario(
            {}, {{"poweredOn", false},
                 {"powerError", error(1, "org.freedesktop.NetworkManager", "Disabled by a switch.")}}));
        QSignalSpy banner(blocked.store.get(), &WiFiStore::errorMessageChanged);
        blocked.store->powerOn();
        QVERIFY(banner.wait(10000));
        QCOMPARE(std::tuple(blocked.store->errorMessage(), blocked.store->status().poweredOn,
                            blocked.store->isScanning()),
                 std::tuple(std::optional<QString>("Disabled by a switch."), false, false));
    }

    void listFollowsItsInputs()
    {
        Fixture f(scenario({"A|a1|-40", "A|a2|-50", "B|b1|-60", "C|c1|-70"}, {{"saved", QJsonArray{"C"}}}));
        const auto rows = [&] {
            QStringList texts;
            for (const ScannedNetwork& n : f.store->networks())
                texts.append(*n.ssid + n.bssid.value_or("") + (n.isSaved ? "*" : "") +
                             (n.isFavorite ? "+" : ""));
            return texts;
        };
        QVERIFY(f.scan());
        QCOMPARE(rows(), (QStringList{"Aa1", "Bb1", "Cc1*"}));
        // A preference change shows on the next turn of the event loop, with the new value.
        QSignalSpy changed(f.store.get(), &WiFiStore::networksChanged);
        f.prefs->setGroupBySSID(false);
        QCOMPARE(changed.count(), 0);
        QVERIFY(changed.wait(5000));
        QCOMPARE(rows(), (QStringList{"Aa1", "Aa2", "Bb1", "Cc1*"}));
        f.prefs->toggleFavorite(QStringLiteral("B"));
        QTRY_COMPARE(rows(), (QStringList{"Bb1+", "Aa1", "Aa2", "Cc1*"}));
        // A burst of keystrokes rebuilds once, with the last text.
        changed.clear();
        f.store->setSearchText(QStringLiteral("a"));
        f.store->setSearchText(QStringLiteral("a2"));
        QVERIFY(changed.wait(5000));
        QCOMPARE(std::tuple(rows(), changed.count(), f.store->searchText()),
                 std::tuple(QStringList{"Aa2"}, 1, QString("a2")));
    }

    void timers_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<std::optional<std::chrono::milliseconds>>("interval");
        QTest::newRow("0 is off") << qint64(0) << std::optional<std::chrono::milliseconds>();
        QTest::newRow("negative is off") << qint64(-5) << std::optional<std::chrono::milliseconds>();
        QTest::newRow("30 seconds") << qint64(30) << std::optional<std::chrono::milliseconds>(30s);
        // A value beyond what a timer counts must not wrap into a rescan every few milliseconds.
        QTest::newRow("absurdly long: the longest a timer counts")
            << (qint64(1) << 40) << std::optional<std::chrono::milliseconds>(2147483s);
    }

    void timers()
    {
        QFETCH(qint64, seconds);
        QFETCH(std::optional<std::chrono::milliseconds>, interval);
        Fixture f(scenario({"A|a1|-40|6|open", "B|b1|-60|36|open"}));
        QVERIFY(f.scan());
        QCOMPARE(f.store->autoRefreshInterval(), std::nullopt);
        f.prefs->setAutoRefreshSeconds(seconds); // restarts the timer by itself
        QTRY_COMPARE(f.store->autoRefreshInterval(), interval);
        f.store->restartAutoRefresh();
        QCOMPARE(f.store->autoRefreshInterval(), interval);
        QCOMPARE(WiFiStore(f.radios.engine(), *f.prefs).autoRefreshInterval(), interval);

        // Another program joins B behind the store's back: the two-second poll notices.
        bool joined = false;
        const ScannedNetwork b = f.store->networks().at(1);
        f.radios.engine().connect(b.id(), b.ssid, std::nullopt,
                                  [&](std::optional<SystemError> e) { joined = !e; });
        QTRY_VERIFY(joined);
        f.clock.advance(WiFiStore::kStatusPollInterval - 1ms);
        QCOMPARE(f.store->status().ssid, std::nullopt);
        f.clock.advance(1ms);
        QCOMPARE(f.store->status().ssid, QStringLiteral("B"));
        // The rescan comes when its interval has passed, not before.
        const std::chrono::milliseconds wait =
            std::min<std::chrono::milliseconds>(interval.value_or(1min), 1min);
        f.clock.advance(wait - WiFiStore::kStatusPollInterval - 1ms);
        QVERIFY(!f.store->isScanning());
        f.clock.advance(1ms);
        QCOMPARE(f.store->isScanning(), interval && *interval <= 1min);
        f.radios.drain();
        QCoreApplication::processEvents();

        f.prefs->setAutoRefreshSeconds(0);
        QTRY_COMPARE(f.store->autoRefreshInterval(), std::nullopt);
    }

    void destroyedWhileWorkIsInFlight_data()
    {
        QTest::addColumn<QString>("action");
        for (const char* action : {"scan", "join", "powerOn", "disconnect"})
            QTest::newRow(action) << action;
    }

    void destroyedWhileWorkIsInFlight()
    {
        QFETCH(QString, action);
        Fixture f(
            scenario(
                {"A|a1|-40|6|open"},
                {{"delays",
                  QJsonObject{{"scanMs", 150}, {"joinMs", 150}, {"powerMs", 150}, {"disconnectMs", 150}}}}),
            1);
        QVERIFY(f.scan());
        QPointer<WiFiStore> watch(f.store.get());
        if (action == "scan")
            f.store->scan();
        else if (action == "join")
            f.store->activate(f.first());
        else if (action == "powerOn")
            f.store->powerOn();
        else
            f.store->disconnect();
        f.store.reset();
        QVERIFY(!watch);
        // The completion arrives with the store gone (a touch would be a
        // use-after-free under the sanitizers); its timers went with it.
        f.radios.drain();
        f.prefs->setGroupBySSID(false);
        QCoreApplication::processEvents();
        QCOMPARE(f.clock.running(), size_t(0));
    }
};

QTEST_GUILESS_MAIN(tst_WiFiStore)
#include "tst_WiFiStore.moc"
