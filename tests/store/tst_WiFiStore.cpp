// The store on simulated radios: the join flow and its messages, scans and
// the radio, the list following its inputs, timers in virtual time, and a
// store that goes away while work is in flight.

#include "ManualClock.h"
#include "SimulatedRadios.h"

#include "store/WiFiStore.h"

#include <QPointer>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {

const QString kReason = QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");

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
    ScannedNetwork first() const { return store->networks().value(0); }

    SimulatedRadios radios;
    TestPrefs prefs;
    ManualClock clock;
    std::unique_ptr<WiFiStore> store;
};

} // namespace

class tst_WiFiStore : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> idle_;

private Q_SLOTS:
    void initTestCase()
    {
        useEnglish();
        idle_ = std::make_unique<Fixture>(QJsonObject());
    }
    void cleanupTestCase() { idle_.reset(); }

    void activate_data()
    {
        QTest::addColumn<QString>("network");    // "name|bssid|rssi|channel|security"
        QTest::addColumn<QJsonObject>("extras"); // further members of its access point
        QTest::addColumn<QString>("typed");      // into the password sheet, if not empty
        // saved: the system has its profile; accepted: what was typed was long enough; joins: a
        // join runs (connectingTo shows the name); joined: and succeeds; sheet: open at the end.
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("banner");
        const QJsonObject pass{{"password", "correct horse"}};
        const QString wrong = QStringLiteral("Could not connect to “\u2068Home\u2069”. Check the password.");
        const auto row = [](const char* name, const QString& network, const QJsonObject& extras,
                            const QString& typed, const QString& flags, const QString& banner = QString()) {
            QTest::newRow(name) << network << extras << typed << flags << banner;
        };
        row("open: joined at once", "Cafe|c|-50|6|open", {}, "", "joins joined");
        row("enhanced open: joined at once", "Cafe|c|-50|6|owe", {}, "", "joins joined");
        row("unknown security: joined without a password, failure described", "Odd|o|-50|6|unknown",
            {{"joinError", error(7)}}, "", "joins",
            "Could not connect to “\u2068Odd\u2069”. Check the password.");
        row("enterprise: only the banner", "Corp|e|-50|6|enterprise", {}, "", "saved",
            "Join enterprise (802.1X) networks from Wi-Fi in System Settings.");
        row("saved WPA3: joined with the system's credentials", "Home|h|-50|6|wpa3Personal", pass, "",
            "saved joins joined");
        row("saved WPA2 failing: the sheet and no banner", "Home|h|-50|6|wpa2Personal",
            {{"joinError", error(10)}}, "", "saved joins sheet");
        row("hidden open network: messages use the display name", "|h1|-50|6|open",
            {{"joinError", error(53)}}, "", "joins",
            "“Hidden network” refused the connection or timed out. Check that you are in range.");
        row("unsaved WPA2, right password: joined", "Home|h|-50|6|wpa2Personal", pass, "correct horse",
            "accepted joins joined");
        row("wrong password: the message, not the sheet again", "Home|h|-50|6|wpa2Personal", pass,
            "wrong horse", "accepted joins", wrong);
        row("seven characters are too few for WPA", "Home|h|-50|6|wpa2Personal", pass, "1234567", "sheet");
        row("five characters do for WEP", "Home|h|-50|6|wep", pass, "12345", "accepted joins", wrong);
        row("four characters are too few for WEP", "Home|h|-50|6|wep", pass, "1234", "sheet");
        row("characters are counted as the user sees them", "Home|h|-50|6|wpa3Personal", pass,
            QString::fromUtf8("👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽"), "sheet");
    }

    void activate()
    {
        QFETCH(QString, network);
        QFETCH(QJsonObject, extras);
        QFETCH(QString, typed);
        QFETCH(QString, flags);
        QFETCH(QString, banner);
        const auto flag = [&](const char* name) { return flags.split(' ').contains(QLatin1String(name)); };
        QJsonObject ap = accessPoint(network);
        for (auto it = extras.begin(); it != extras.end(); ++it)
            ap[it.key()] = it.value();
        QJsonObject s{{"networks", QJsonArray{ap}}};
        if (flag("saved"))
            s["saved"] = QJsonArray{ap["ssid"]};
        Fixture f(s);
        QVERIFY(f.scan());
        const ScannedNetwork target = f.first();
        QCOMPARE(target.isSaved, flag("saved"));
        f.store->activate(target);
        if (!typed.isEmpty()) {
            QCOMPARE(f.store->passwordTarget(), target);
            QCOMPARE(f.store->submitPassword(typed), flag("accepted"));
        }
        QCOMPARE(f.store->connectingTo(),
                 flag("joins") ? target.ssid.value_or("Hidden network") : std::optional<QString>());
        f.radios.drain();
        QCOMPARE(f.store->connectingTo(), std::nullopt);
        QCOMPARE(f.store->status().bssid == target.bssid, flag("joined"));
        QCOMPARE(std::tuple(f.first().isCurrent, f.first().isSaved),
                 std::tuple(flag("joined"), flag("joined") || flag("saved")));
        QCOMPARE(f.store->passwordTarget() ? f.store->passwordTarget()->id() : QString(),
                 flag("sheet") ? target.id() : QString());
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
        const auto row = [](const char* name, const QString& domain, qint64 code, const QString& description,
                            const QString& expected, const QString& ssid = QStringLiteral("Home")) {
            QTest::newRow(name) << domain << code << description << ssid << expected;
        };
        const QString reach = QStringLiteral(
            "“\u2068Home\u2069” refused the connection or timed out. Check that you are in range.");
        const QString generic = QStringLiteral("Could not connect to “\u2068Home\u2069”. %1");
        for (qint64 code : {7, 8, 9, 10, 11})
            QTest::addRow("reason %lld: check the password", code)
                << kReason << code << ""
                << "Home" << generic.arg("Check the password.");
        row("reason 53, network not found", kReason, 53, "", reach);
        row("reason 1: the description", kReason, 1, "Unknown error.", generic.arg("Unknown error."));
        row("a reason code of another domain", "org.example.Other", 7, "Else.", generic.arg("Else."));
        row("refused by policy: without the name", kManager, -3930, "No.",
            "This operation is not permitted.");
        row("join not finished in time", kManager, -3905, "Timed out.", reach);
        row("other NetworkManager failures", kManager, -1, "No device.", generic.arg("No device."));
        row("a D-Bus error name is no domain of ours", "org.freedesktop.DBus.Error.AccessDenied", -3930,
            "Denied.", generic.arg("Denied."));
        row("gone", SystemError::kWiFiErrorDomain, 2, "",
            generic.arg("This network is no longer in range. Scan again."));
        row("no interface", SystemError::kWiFiErrorDomain, 0, "",
            generic.arg("No Wi-Fi interface was found."));
        row("hidden network", kReason, 7, "", "Could not connect to “Hidden network”. Check the password.",
            "");
        row("format characters shown as they are", kReason, 1, "100% %@ sure",
            "Could not connect to “\u206850%@ %d\u2069”. 100% %@ sure", "50%@ %d");
        row("hostile name and description shown by the name rule", kReason, 1, "Bad\x1b[2J",
            "Could not connect to “\u2068evil\u2066\\u202e\u2069TXT\u2069”. Bad\\x1b[2J", "evil\u202eTXT");
    }

    void describe()
    {
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        QFETCH(QString, description);
        QFETCH(QString, ssid);
        QFETCH(QString, expected);
        ScannedNetwork network;
        if (!ssid.isEmpty())
            network.ssid = ssid;
        QCOMPARE(idle_->store->describe(network, SystemError(domain, code, description)), expected);
    }

    void scansAndRadio()
    {
        Fixture f(scenario({"A|a1|-40|6|open", "B|b1|-60|36|open"}, {{"poweredOn", false}}));
        // Powering on scans, once even with a scan asked for meanwhile.
        QSignalSpy finished(f.store.get(), &WiFiStore::scanFinished),
            scanning(f.store.get(), &WiFiStore::isScanningChanged);
        f.store->powerOn();
        f.store->scan();
        f.store->scan();
        f.radios.drain();
        f.radios.drain(); // the scan that powering on asked for
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
        f.radios.engine().setPower(false, [](std::optional<SystemError>) {});
        f.radios.drain();
        f.store->scan();
        QCOMPARE(f.store->errorMessage(), std::nullopt);
        QVERIFY(finished.wait(10000));
        QCOMPARE(std::tuple(f.store->networks(), f.store->errorMessage(), f.store->isScanning(),
                            f.store->status().poweredOn),
                 std::tuple(listed, std::optional<QString>("Wi-Fi is turned off."), false, false));

        // Joined.
        f.store->powerOn();
        QVERIFY(finished.wait(10000));
        f.store->activate(f.store->networks().at(1));
        f.radios.drain();
        QCOMPARE(f.first().ssid, QStringLiteral("B"));
        // Activating the current network does nothing; left, the marks follow.
        ScannedNetwork other = f.first();
        other.security = Security::open;
        f.store->activate(other);
        QCOMPARE(f.store->connectingTo(), std::nullopt);
        f.store->disconnect();
        f.radios.drain();
        QCOMPARE(
            std::tuple(f.store->status().ssid, f.first().ssid, f.first().isCurrent, f.store->errorMessage()),
            std::tuple(std::optional<QString>(), std::optional<QString>("A"), false,
                       std::optional<QString>()));
        // A network no longer in range.
        other.ssid = QStringLiteral("Elsewhere");
        other.isCurrent = false;
        f.store->activate(other);
        f.radios.drain();
        QCOMPARE(f.store->errorMessage(), "Could not connect to “\u2068Elsewhere\u2069”. This network is no "
                                          "longer in range. Scan again.");

        // A radio that cannot be turned on: the banner.
        Fixture blocked(
            scenario({}, {{"poweredOn", false}, {"powerError", error(1, kManager, "Disabled.")}}));
        blocked.store->powerOn();
        blocked.radios.drain();
        QCOMPARE(std::tuple(blocked.store->errorMessage(), blocked.store->status().poweredOn,
                            blocked.store->isScanning()),
                 std::tuple(std::optional<QString>("Disabled."), false, false));
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
        using Interval = std::optional<std::chrono::milliseconds>;
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<Interval>("interval");
        QTest::newRow("0 is off") << qint64(0) << Interval();
        QTest::newRow("negative is off") << qint64(-5) << Interval();
        QTest::newRow("30 seconds") << qint64(30) << Interval(30s);
        // A value beyond what a timer counts must not wrap into a rescan every few milliseconds.
        QTest::newRow("absurdly long: the longest a timer counts") << (qint64(1) << 40) << Interval(2147483s);
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
        QCOMPARE(WiFiStore(f.radios.engine(), *f.prefs).autoRefreshInterval(), interval);

        // Another program joins B behind the store's back: the two-second poll notices.
        const ScannedNetwork b = f.store->networks().at(1);
        f.radios.engine().connect(b.id(), b.ssid, std::nullopt, [](std::optional<SystemError>) {});
        f.radios.drain();
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
        Fixture f(scenario({"A|a1|-40|6|open"}), 1);
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
