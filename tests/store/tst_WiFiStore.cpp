// The store on simulated radios: the join sequence and its messages, scans, the radio and the poll, the
// list and the automatic rescan following the preferences, and a store gone while work is in flight.

#include "ManualClock.h"
#include "SimulatedRadios.h"

#include "store/JoinFailure.h"
#include "store/WiFiStore.h"
#include "wifi/iwd/IwdRules.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {

const QString kReason = kSimulatedFailureDomain; // NetworkManager's device state reasons
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
using Text = std::optional<QString>;

// "A|a1|-40|6|open" access points, and further scenario members.
QJsonObject scenario(const QStringList& networks, QJsonObject members = {})
{
    members["networks"] = accessPoints(networks);
    return members;
}

struct Fixture {
    explicit Fixture(const QJsonObject& scenario) : radios(scenario)
    {
        prefs->setShowHidden(true);
        store = std::make_unique<WiFiStore>(radios.engine(), *prefs, nullptr, clock);
    }
    ScannedNetwork first() const { return store->networks().value(0); }
    // The shown rows (name and address, then ! current, * saved, + favourite), then the banner.
    QString rows() const
    {
        QStringList texts;
        for (const ScannedNetwork& n : store->networks())
            texts << n.ssid.value_or("") + n.bssid.value_or("") + (n.isCurrent ? "!" : "") +
                         (n.isSaved ? "*" : "") + (n.isFavorite ? "+" : "");
        return texts.join(' ') + (store->errorMessage() ? " | " + *store->errorMessage() : "");
    }

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
        QTest::addColumn<QString>("network"); // "name|bssid|rssi|channel|security"; secured: "correct horse"
        QTest::addColumn<int>("joinError");   // a code every join of it fails with, if not 0
        QTest::addColumn<QString>("typed");   // into the password sheet, if not empty
        // saved: the system has its profile; accepted: the sheet took what was typed; joins: a join
        // runs (connectingTo shows the name); joined: and succeeds; sheet: open at the end.
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("banner");
        const auto home = [](const char* security) { return QStringLiteral("Home|h|-50|6|") + security; };
        const QString wpa2 = home("wpa2Personal"), wpa3 = home("wpa3Personal"), wep = home("wep");
        const QString wrong = QStringLiteral("Could not connect to “\u2068Home\u2069”. Check the password.");
        const QString settings =
            QStringLiteral("Join enterprise (802.1X) networks from Wi-Fi in System Settings.");
        const auto row = [](const char* name, const QString& network, int joinError, const QString& typed,
                            const QString& flags, const QString& banner = QString()) {
            QTest::newRow(name) << network << joinError << typed << flags << banner;
        };
        row("enhanced open: joined at once", home("owe"), 0, "", "joins joined");
        row("unknown security: joined without a password", home("unknown"), 7, "", "joins", wrong);
        row("enterprise: only the banner", home("enterprise"), 0, "", "saved", settings);
        row("saved: its credentials first", wpa3, 0, "", "saved joins joined");
        row("saved failing: the sheet, no banner", wpa2, 10, "", "saved joins sheet");
        row("hidden: messages use the display name", "|h1|-50|6|open", 53, "", "joins",
            "“Hidden network” refused the connection or timed out. Check that you are in range.");
        row("right password: joined", wpa2, 0, "correct horse", "accepted joins joined");
        // A refused password: the sheet again with the failure in it, no banner.
        row("wrong password: the sheet again, saying why", wpa2, 0, "incorrect", "accepted joins sheet",
            wrong);
        row("7 characters are too few for WPA", wpa2, 0, "1234567", "sheet");
        row("5 characters do for WEP", wep, 0, "12345", "accepted joins sheet", wrong);
        row("4 characters are too few for WEP", wep, 0, "1234", "sheet");
        row("characters as the user sees them", wpa3, 0, QStringLiteral("👍🏽").repeated(7), "sheet");
    }

    void activate()
    {
        QFETCH(QString, network);
        QFETCH(int, joinError);
        QFETCH(QString, typed);
        QFETCH(QString, flags);
        QFETCH(QString, banner);
        QJsonObject ap = accessPoint(network);
        if (!QStringList{"open", "owe", "unknown"}.contains(ap["security"].toString()))
            ap["password"] = "correct horse";
        if (joinError)
            ap["joinError"] = QJsonObject{{"code", joinError}};
        const bool saved = flags.startsWith("saved");
        Fixture f({{"networks", QJsonArray{ap}}, {"saved", saved ? QJsonArray{ap["ssid"]} : QJsonArray()}});
        f.store->scan();
        f.radios.drain();
        const ScannedNetwork target = f.first();
        QStringList seen; // the flags as they come true
        const auto note = [&](bool on, const char* flag) { seen << QString(on ? flag : ""); };
        note(target.isSaved, "saved");
        f.store->activate(target);
        if (!typed.isEmpty())
            note(f.store->passwordTarget() == target && f.store->submitPassword(typed), "accepted");
        note(f.store->connectingTo() == target.ssid.value_or("Hidden network"), "joins");
        f.radios.drain();
        QCOMPARE(f.store->connectingTo(), std::nullopt);
        note(f.store->status().bssid == target.bssid, "joined");
        note(f.store->passwordTarget() && f.store->passwordTarget()->id() == target.id(), "sheet");
        QCOMPARE(seen.join(' ').simplified(), flags);
        // A sheet that took a password and opened again says why, in place of the banner.
        const bool again = seen.contains("accepted") && seen.contains("sheet");
        // The banner names the network it is about, so that the window can show its bytes.
        const bool named = !again && banner.startsWith("Could not connect to");
        QCOMPARE(std::tuple(f.first().isCurrent, f.first().isSaved, f.store->errorMessage().value_or(""),
                            f.store->passwordProblem().value_or(""), f.store->errorName()),
                 std::tuple(seen.contains("joined"), seen.contains("joined") || saved, again ? "" : banner,
                            again ? banner : "", named ? Text("Home") : Text()));
        f.store->cancelPassword();
        QVERIFY(!f.store->passwordTarget() && !f.store->passwordProblem() &&
                !f.store->submitPassword(QStringLiteral("correct horse")));
    }

    // A join by name: refused at once (the message in the signal, a banner only for enterprise), or a
    // join like a row's whose outcome the signal carries with the banner's text; success rescans.
    void joinHidden_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Security>("security");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("joins");      // a join runs (connectingTo shows the name)
        QTest::addColumn<QString>("message"); // the signal's ("" for success), also the banner after a join
        const QString den = QStringLiteral("Could not connect to “\u2068Den\u2069”. Check the password.");
        const QString reach = QStringLiteral(
            "“\u2068Den\u2069” refused the connection or timed out. Check that you are in range.");
        const auto row = [](const char* tag, const QString& name, Security security, const char* password,
                            bool joins, const QString& message) {
            QTest::newRow(tag) << name << security << QString(password) << joins << message;
        };
        row("joined", "Den", Security::wpa3Personal, "correct horse", true, "");
        row("wrong password", "Den", Security::wpa3Personal, "incorrect", true, den);
        row("other security", "Den", Security::wpa2Personal, "correct horse", true, reach);
        row("open: no password sent", "Cafe", Security::open, "correct horse", true, "");
        row("enterprise", "Den", Security::enterprise, "correct horse", false,
            "Join enterprise (802.1X) networks from Wi-Fi in System Settings.");
        row("no name", "", Security::wpa3Personal, "correct horse", false, "Enter the network name.");
        row("32 bytes", QString(16, QChar(0xe9)), Security::open, "", true,
            QStringLiteral(
                "“\u2068%1\u2069” refused the connection or timed out. Check that you are in range.")
                .arg(QString(16, QChar(0xe9))));
        row("33 bytes", QString(16, QChar(0xe9)) + "a", Security::open, "", false,
            "The network name is too long (32 bytes at most).");
        row("7 characters for WPA3", "Den", Security::wpa3Personal, "1234567", false,
            "The password must have at least 8 characters.");
        row("4 characters for WEP", "Den", Security::wep, "1234", false,
            "The password must have at least 5 characters.");
    }
    void joinHidden()
    {
        QFETCH(QString, name);
        QFETCH(Security, security);
        QFETCH(QString, password);
        QFETCH(bool, joins);
        QFETCH(QString, message);
        QJsonObject den = accessPoint("|d1|-50|6|wpa3Personal"), cafe = accessPoint("Cafe|c|-60|1|open");
        den["hiddenSsid"] = "Den";
        den["password"] = "correct horse";
        cafe["password"] = "saved secret"; // saved: joined without a password, not with another
        Fixture f({{"networks", QJsonArray{den, cafe}}, {"saved", QJsonArray{"Cafe"}}});
        // A receiver that takes the failure into its own view dismisses the banner: the message the
        // later ones are given stays whole.
        QString banner;
        connect(f.store.get(), &WiFiStore::hiddenJoinFinished, this, [&] {
            banner = f.store->errorMessage().value_or("");
            f.store->dismissError();
        });
        QSignalSpy finished(f.store.get(), &WiFiStore::hiddenJoinFinished);
        QSignalSpy scans(f.store.get(), &WiFiStore::scanFinished);
        f.store->joinHidden(name, security, password.isEmpty() ? std::nullopt : std::optional(password));
        QCOMPARE(std::pair(f.store->connectingTo(), int(finished.count())),
                 std::pair(joins ? Text(name) : Text(), joins ? 0 : 1));
        f.radios.drain();
        f.radios.drain(); // and the scan a success starts
        QCOMPARE(std::pair(f.store->connectingTo(), int(finished.count())), std::pair(Text(), 1));
        const bool shown = security == Security::enterprise || (joins && !message.isEmpty());
        const bool joined = joins && message.isEmpty();
        QCOMPARE(std::tuple(finished.at(0).at(0).toString(), finished.at(0).at(1).value<Text>().value_or(""),
                            banner, f.store->errorMessage(), f.store->status().ssid, scans.count()),
                 std::tuple(name, message, shown ? message : QString(), Text(), joined ? Text(name) : Text(),
                            joined ? 1 : 0));
    }

    // The latest join alone reaches the spinner, the banner, the sheet and the signal: failures of a
    // row's join and of one by name that a row's join overtook are dropped; a join by name that
    // overtook a row's failing one has the last word.
    void overtakenJoins()
    {
        QJsonObject den = accessPoint("|d1|-50|6|wpa2Personal"),
                    home = accessPoint("Home|h|-40|6|wpa2Personal");
        den["hiddenSsid"] = "Den";
        den["password"] = home["password"] = "correct horse";
        Fixture f({{"networks", QJsonArray{home, den, accessPoint("Cafe|c|-60|1|open")}}});
        f.store->scan();
        f.radios.drain();
        QSignalSpy finished(f.store.get(), &WiFiStore::hiddenJoinFinished);
        f.store->activate(f.first());
        QVERIFY(f.store->submitPassword(QStringLiteral("incorrect")));
        f.store->joinHidden("Den", Security::wpa2Personal, QStringLiteral("incorrect"));
        f.store->activate(*std::ranges::find(f.store->networks(), Text("c"), &ScannedNetwork::bssid));
        QSignalSpy spinner(f.store.get(), &WiFiStore::connectingToChanged);
        f.radios.drain();
        QCOMPARE(std::tuple(spinner.count(), finished.count(), f.store->status().bssid,
                            f.store->errorMessage(), f.store->passwordTarget().has_value()),
                 std::tuple(1, 0, Text("c"), Text(), false));
        const auto hidden = std::ranges::find(f.store->networks(), Text("d1"), &ScannedNetwork::bssid);
        f.store->performConnect(*hidden, QStringLiteral("incorrect"), false);
        f.store->joinHidden("Den", Security::wpa2Personal, QStringLiteral("correct horse"));
        f.radios.drain();
        QCOMPARE(std::tuple(finished.count(), f.store->status().ssid, f.store->errorMessage(),
                            f.store->connectingTo(), finished.at(0).at(1).value<Text>()),
                 std::tuple(1, Text("Den"), Text(), Text(), Text()));
    }

    // Each backend's join failures by message group: NetworkManager's device state reasons, its own
    // refusals and iwd's, which use the same numbers for the same meanings; other codes show their
    // description. A hostile name and description are escaped, format characters shown as they are.
    void describe()
    {
        Fixture f{QJsonObject()};
        const auto text = [&](const QString& domain, qint64 code, const char* description = "Else.",
                              const char* ssid = "Home") {
            ScannedNetwork network;
            network.ssid = QString::fromUtf8(ssid);
            return f.store->describe(network, SystemError(domain, code, description));
        };
        const QString iwd = QStringLiteral("net.connman.iwd");
        const QString home = QStringLiteral("Could not connect to “\u2068Home\u2069”. %1");
        const QString groups[] = {home.arg("Else."), home.arg("Check the password."),
                                  QStringLiteral("“\u2068Home\u2069” refused the connection or timed out. "
                                                 "Check that you are in range."),
                                  QStringLiteral("This operation is not permitted.")};
        enum { other, password, reach, denied };
        const std::tuple<QString, qint64, int> rows[] = {
            {kReason, 6, other},
            {kReason, 7, password},
            {kReason, 8, password},
            {kReason, 9, password},
            {kReason, 10, password},
            {kReason, 11, password},
            {kReason, 12, other},
            {kReason, 53, reach},
            {kManager, -3905, reach},
            {kManager, -3930, denied},
            {kManager, 7, other},
            {iwd, 7, password},
            {iwd, 8, other},
            {iwd, 53, reach},
            {iwd, -3905, reach},
            {iwd, -3930, denied},
            {"org.example", 7, other},
            // The codes as the backends name them: each lands in its group.
            {NetworkManagerBackend::kNetworkManagerDomain, NetworkManagerBackend::kNotPermitted, denied},
            {NetworkManagerBackend::kNetworkManagerDomain, NetworkManagerBackend::kTimedOut, reach},
            {NetworkManagerBackend::kNetworkManagerDomain, NetworkManagerBackend::kOtherFailure, other},
            {iwd::kDomain, iwd::kNotPermitted, denied},
            {iwd::kDomain, iwd::kTimedOut, reach},
            {iwd::kDomain, iwd::kSecretsFailed, password},
            {iwd::kDomain, iwd::kNotFound, reach},
            {iwd::kDomain, iwd::kOtherFailure, other}};
        for (const auto& [domain, code, group] : rows)
            QVERIFY2(text(domain, code) == groups[group],
                     qPrintable(QStringLiteral("%1 %2").arg(domain).arg(code)));
        QCOMPARE(text(kReason, 1, "100% %@ sure\x1b[2J", "50%@ %d\u202eTXT"),
                 "Could not connect to “\u206850%@ %d\u2066\\u202e\u2069TXT\u2069”. 100% %@ sure\\x1b[2J");
    }

    // What an empty list hides behind, so that the window offers the one
    // thing to undo: the search, the favourites-only switch, or neither when
    // there is no network at all (the radio off).
    void hidingFilter()
    {
        Fixture f(scenario({"A|a1|-40", "B|b1|-60"}));
        using H = WiFiStore::HidingFilter;
        // Before the first scan the list is empty because nothing was found yet, not for a search.
        QCOMPARE(f.store->hidingFilter(), H::none);
        f.store->scan();
        f.radios.drain();
        QSignalSpy changed(f.store.get(), &WiFiStore::hidingFilterChanged);
        const struct {
            const char* search;
            bool favoritesOnly;
            const char* favorite;
            H hiding;
            const char* rows;
        } steps[] = {
            {"", false, "", H::none, "Aa1 Bb1"},   {"zz", false, "", H::search, ""},
            {"", true, "", H::favoritesOnly, ""},  {"", true, "A", H::none, "Aa1+"},
            {"B", true, "A", H::search, ""},       // A shows without the search
            {"b", true, "", H::favoritesOnly, ""}, // B shows without the switch
            {"zz", true, "", H::search, ""},       // only without both: the search first
            {"b", false, "A", H::none, "Bb1"},
        };
        for (const auto& step : steps) {
            for (const QString& name : f.prefs->favorites())
                f.prefs->removeFavorite(name);
            if (*step.favorite)
                f.prefs->toggleFavorite(QString::fromLatin1(step.favorite));
            f.prefs->setFavoritesOnly(step.favoritesOnly);
            f.store->setSearchText(QString::fromLatin1(step.search));
            f.store->rebuild();
            QCOMPARE(std::pair(f.store->hidingFilter(), f.rows()),
                     std::pair(step.hiding, QString(step.rows)));
        }
        QCOMPARE(changed.count(), 7);
        // Turned off, the radio lists nothing, and no filter is to blame.
        f.store->setSearchText(QStringLiteral("zz"));
        f.store->powerOff();
        f.radios.drain();
        QCOMPARE(std::tuple(f.store->hidingFilter(), f.rows(), f.store->status().poweredOn),
                 std::tuple(H::none, QString(), false));
        // A switch that fails says why, escaped, and the list stays.
        Fixture refused(scenario({"A|a1|-40"},
                                 {{"powerError", QJsonObject{{"code", 5}, {"description", "rf\x1bkill"}}}}));
        refused.store->scan();
        refused.radios.drain();
        refused.store->powerOff();
        refused.radios.drain();
        QCOMPARE(std::pair(refused.rows(), refused.store->status().poweredOn),
                 std::pair(QString("Aa1 | rf\\x1bkill"), true));
    }

    // One store through a session: powering on and scans, the poll, a leave, preference changes, the
    // search, the automatic rescan, and a second store that goes away while work is in flight.
    void session()
    {
        Fixture f(scenario({"A|a1|-40", "A|a2|-50", "B|b1|-60", "C|c1|-70"},
                           {{"poweredOn", false}, {"saved", QJsonArray{"C"}}}));
        // Powering on scans, once even with a scan asked for meanwhile.
        QSignalSpy finished(f.store.get(), &WiFiStore::scanFinished),
            scanning(f.store.get(), &WiFiStore::isScanningChanged);
        f.store->powerOn();
        f.store->scan();
        f.store->scan();
        f.radios.drain();
        f.radios.drain(); // the scan that powering on asked for
        QCOMPARE(std::tuple(finished.count(), scanning.count(), f.rows()),
                 std::tuple(1, 2, QString("Aa1 Bb1 Cc1*")));
        QCOMPARE(f.store->lastScan(), f.clock.utcNow());

        // A failed scan keeps the list and shows its own banner, which the next scan clears.
        f.radios.engine().setPower(false, [](std::optional<SystemError>) {});
        f.radios.drain();
        f.store->scan();
        QVERIFY(finished.wait(10000));
        QCOMPARE(std::tuple(f.rows(), f.store->isScanning(), f.store->status().poweredOn),
                 std::tuple(QString("Aa1 Bb1 Cc1* | Wi-Fi is turned off."), false, false));

        // Another program joins B: the two-second poll notices. Activating the current network then does
        // nothing; left, the marks follow.
        f.store->powerOn();
        QVERIFY(finished.wait(10000));
        const ScannedNetwork b = f.store->networks().at(1);
        f.radios.engine().connect(b.id(), b.ssid, std::nullopt, [](std::optional<SystemError>) {});
        f.radios.drain();
        f.clock.advance(2s - 1ms);
        QCOMPARE(f.rows(), "Aa1 Bb1 Cc1*");
        f.clock.advance(1ms);
        QCOMPARE(std::pair(f.rows(), f.store->status().ssid), std::pair(QString("Bb1! Aa1 Cc1*"), b.ssid));
        f.store->activate(f.first());
        QCOMPARE(f.store->connectingTo(), std::nullopt);
        f.store->disconnect();
        f.radios.drain();
        QCOMPARE(f.rows(), "Aa1 Bb1 Cc1*");

        // Preference changes and a burst of keystrokes show together on the next turn of the event loop.
        QSignalSpy changed(f.store.get(), &WiFiStore::networksChanged);
        f.prefs->setGroupBySSID(false);
        f.prefs->toggleFavorite(QStringLiteral("A"));
        f.store->setSearchText(QStringLiteral("b"));
        f.store->setSearchText(QStringLiteral("a"));
        QCOMPARE(changed.count(), 0);
        QVERIFY(changed.wait(5000));
        QCOMPARE(std::pair(f.rows(), f.store->searchText()), std::pair(QString("Aa1+ Aa2+"), QString("a")));

        // The automatic rescan comes when its interval has passed, not before; never once off (0 or less) or
        // when longer than a timer counts (no wrapping round). A new store starts it as set.
        using Interval = std::optional<std::chrono::milliseconds>;
        for (const auto& [seconds, interval] :
             {std::pair{qint64(30), Interval(30s)}, {0, {}}, {qint64(1) << 40, 2147483s}, {-5, {}}}) {
            f.prefs->setAutoRefreshSeconds(seconds);
            QCoreApplication::processEvents();
            QCOMPARE(f.store->autoRefreshInterval(), interval);
            QCOMPARE(WiFiStore(f.radios.engine(), *f.prefs).autoRefreshInterval(), interval);
            f.clock.advance(30s - 1ms);
            QVERIFY(!f.store->isScanning());
            f.clock.advance(1ms);
            QCOMPARE(f.store->isScanning(), seconds == 30);
            f.radios.drain();
        }

        // A store that goes away with work of every kind in flight: the completions find it gone (a
        // touch would be a use-after-free under the sanitizers), and its timers went with it.
        auto doomed = std::make_unique<WiFiStore>(f.radios.engine(), *f.prefs, nullptr, f.clock);
        doomed->scan();
        doomed->activate(b);
        doomed->powerOn();
        doomed->disconnect();
        doomed.reset();
        f.radios.drain();
        f.prefs->setGroupBySSID(true);
        QCoreApplication::processEvents();
        QCOMPARE(f.clock.running(), size_t(1)); // the poll of the store that stays

        // A radio that cannot be turned on: the banner.
        const QJsonObject refusal{{"domain", kManager}, {"code", 1}, {"description", "Disabled."}};
        Fixture blocked(scenario({}, {{"poweredOn", false}, {"powerError", refusal}}));
        blocked.store->powerOn();
        blocked.radios.drain();
        QCOMPARE(std::tuple(blocked.rows(), blocked.store->status().poweredOn, blocked.store->isScanning()),
                 std::tuple(QString(" | Disabled."), false, false));
    }
};

QTEST_GUILESS_MAIN(tst_WiFiStore)
#include "tst_WiFiStore.moc"
