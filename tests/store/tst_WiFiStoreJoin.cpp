// The join flow on simulated radios: what a row's join button leads to, the
// password sheet, and the banner texts of failed joins.

#include "SimulatedRadios.h"

#include "store/WiFiStore.h"

#include <QTest>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

const QString kStateReason = QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");

QJsonObject error(qint64 code, const QString& domain = kStateReason, const QString& description = QString())
{
    return QJsonObject{{QStringLiteral("domain"), domain},
                       {QStringLiteral("code"), code},
                       {QStringLiteral("description"), description}};
}

// One network, with `extras` merged into its scenario entry, seen by a scan.
struct Fixture {
    Fixture(const QString& entry, const QJsonObject& extras, bool saved, bool showHidden = true)
        : radios(scenario(entry, extras, saved))
    {
        prefs->setShowHidden(showHidden);
        store = std::make_unique<WiFiStore>(radios.engine(), *prefs);
        QSignalSpy finished(store.get(), &WiFiStore::scanFinished);
        store->scan();
        if (!finished.wait(10000))
            qFatal("the scan did not finish");
    }

    static QJsonObject scenario(const QString& entry, const QJsonObject& extras, bool saved)
    {
        QJsonObject ap = accessPoint(entry);
        for (auto it = extras.begin(); it != extras.end(); ++it)
            ap[it.key()] = it.value();
        QJsonObject s{{QStringLiteral("networks"), QJsonArray{ap}},
                      {QStringLiteral("delays"), QJsonObject{{QStringLiteral("joinMs"), 50}}}};
        if (saved && ap.contains(QStringLiteral("ssid")))
            s[QStringLiteral("saved")] = QJsonArray{ap[QStringLiteral("ssid")]};
        return s;
    }

    ScannedNetwork first() const
    {
        if (store->networks().isEmpty())
            qFatal("nothing listed");
        return store->networks().first();
    }

    // Waits until a join in flight has been handled and nothing else is queued.
    void settle()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!store->connectingTo(), 10000);
        radios.drain();
    }

    SimulatedRadios radios;
    TestPrefs prefs;
    std::unique_ptr<WiFiStore> store;
};

} // namespace

class WiFiStoreJoinTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void activate_data();
    void activate();
    void activatingTheCurrentNetworkChangesNothing();
    void joinOfANetworkThatLeftTheScan();
    void passwordSheet_data();
    void passwordSheet();
    void describe_data();
    void describe();
};

void WiFiStoreJoinTest::activate_data()
{
    QTest::addColumn<QString>("network"); // "name|bssid|rssi|channel|security"
    QTest::addColumn<QJsonObject>("extras");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("joins");  // a join is attempted (connectingTo shows the name)
    QTest::addColumn<bool>("joined"); // and it succeeds
    QTest::addColumn<bool>("sheet");  // the password sheet opens
    QTest::addColumn<QString>("banner");

    const QJsonObject none;
    const QJsonObject withPassword{{QStringLiteral("password"), QStringLiteral("correct horse")}};

    QTest::newRow("open: joined at once")
        << "Cafe|c|-50|6|open" << none << false << true << true << false << "";
    QTest::newRow("enhanced open: joined at once")
        << "Cafe|c|-50|6|owe" << none << false << true << true << false << "";
    QTest::newRow("unknown security: joined without a password, failure described")
        << "Odd|o|-50|6|unknown" << QJsonObject{{QStringLiteral("joinError"), error(7)}} << false << true
        << false << false << "Could not connect to “\u2068Odd\u2069”. Check the password.";
    QTest::newRow("enterprise: only the banner")
        << "Corp|e|-50|6|enterprise" << none << true << false << false << false
        << "Join enterprise (802.1X) networks from Wi-Fi in System Settings.";
    QTest::newRow("unsaved WPA2: the sheet, nothing joined")
        << "Home|h|-50|6|wpa2Personal" << withPassword << false << false << false << true << "";
    QTest::newRow("unsaved WEP: the sheet")
        << "Old|w|-50|6|wep" << withPassword << false << false << false << true << "";
    QTest::newRow("saved WPA3: joined with the system's credentials")
        << "Home|h|-50|6|wpa3Personal" << withPassword << true << true << true << false << "";
    QTest::newRow("saved WPA2 failing: the sheet and no banner")
        << "Home|h|-50|6|wpa2Personal" << QJsonObject{{QStringLiteral("joinError"), error(10)}} << true
        << true << false << true << "";
    QTest::newRow("hidden open network: messages use the display name")
        << "|h1|-50|6|open" << QJsonObject{{QStringLiteral("joinError"), error(53)}} << false << true << false
        << false << "“Hidden network” refused the connection or timed out. Check that you are in range.";
}

void WiFiStoreJoinTest::activate()
{
    QFETCH(QString, network);
    QFETCH(QJsonObject, extras);
    QFETCH(bool, saved);
    QFETCH(bool, joins);
    QFETCH(bool, joined);
    QFETCH(bool, sheet);
    QFETCH(QString, banner);

    Fixture f(network, extras, saved);
    const ScannedNetwork target = f.first();
    QCOMPARE(target.isSaved, saved);
    const QString name = target.ssid.value_or(QStringLiteral("Hidden network"));

    f.store->activate(target);
    QCOMPARE(f.store->connectingTo(), joins ? std::optional(name) : std::nullopt);
    f.settle();

    QCOMPARE(f.store->status().bssid == target.bssid, joined);
    QCOMPARE(f.first().isCurrent, joined);
    QCOMPARE(f.store->passwordTarget().has_value(), sheet);
    if (sheet)
        QCOMPARE(f.store->passwordTarget()->id(), target.id());
    QCOMPARE(f.store->errorMessage().value_or(QString()), banner);
    if (joined)
        QVERIFY(f.first().isSaved);
}

void WiFiStoreJoinTest::activatingTheCurrentNetworkChangesNothing()
{
    Fixture f("Corp|e|-50|6|enterprise", {}, false);
    f.store->activate(f.first());
    const std::optional<QString> banner = f.store->errorMessage();
    QVERIFY(banner);

    ScannedNetwork current = f.first();
    current.isCurrent = true;
    current.security = Security::open;
    f.store->activate(current);
    QCOMPARE(f.store->connectingTo(), std::nullopt);
    QCOMPARE(f.store->errorMessage(), banner);
    f.radios.drain();
    QCOMPARE(f.store->status().ssid, std::nullopt);
}

void WiFiStoreJoinTest::joinOfANetworkThatLeftTheScan()
{
    Fixture f("Cafe|c|-50|6|open", {}, false);
    ScannedNetwork gone;
    gone.ssid = QStringLiteral("Elsewhere");
    gone.security = Security::open;
    f.store->activate(gone);
    f.settle();
    QCOMPARE(
        f.store->errorMessage(),
        QStringLiteral(
            "Could not connect to “\u2068Elsewhere\u2069”. This network is no longer in range. Scan again."));
}

void WiFiStoreJoinTest::passwordSheet_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted"); // long enough: the sheet closes and a join starts
    QTest::addColumn<bool>("joined");
    QTest::addColumn<QString>("banner");

    const QString right = QStringLiteral("correct horse");
    QTest::newRow("right password joins") << "wpa2Personal" << right << true << true << "";
    QTest::newRow("wrong password: the message, not the sheet again")
        << "wpa2Personal"
        << "wrong horse" << true << false << "Could not connect to “\u2068Home\u2069”. Check the password.";
    QTest::newRow("seven characters are too few for WPA") << "wpa2Personal"
                                                          << "1234567" << false << false << "";
    QTest::newRow("five characters do for WEP")
        << "wep"
        << "12345" << true << false << "Could not connect to “\u2068Home\u2069”. Check the password.";
    QTest::newRow("four characters are too few for WEP") << "wep"
                                                         << "1234" << false << false << "";
    QTest::newRow("characters are counted as the user sees them")
        << "wpa3Personal" << QString::fromUtf8("👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽")
        << false << false << "";
}

void WiFiStoreJoinTest::passwordSheet()
{
    QFETCH(QString, security);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(bool, joined);
    QFETCH(QString, banner);

    Fixture f("Home|h|-50|6|" + security, {{QStringLiteral("password"), QStringLiteral("correct horse")}},
              false);
    f.store->activate(f.first());
    QVERIFY(f.store->passwordTarget());

    QCOMPARE(f.store->submitPassword(typed), accepted);
    QCOMPARE(f.store->passwordTarget().has_value(), !accepted);
    QCOMPARE(f.store->connectingTo().has_value(), accepted);
    f.settle();
    QCOMPARE(f.store->status().ssid == QStringLiteral("Home"), joined);
    QCOMPARE(f.store->errorMessage().value_or(QString()), banner);
    QCOMPARE(f.store->passwordTarget().has_value(), !accepted);
    if (joined) {
        QVERIFY(f.first().isCurrent);
        QVERIFY(f.first().isSaved);
    }

    if (!accepted) {
        f.store->cancelPassword();
        QCOMPARE(f.store->passwordTarget(), std::nullopt);
        QVERIFY(!f.store->submitPassword(QStringLiteral("correct horse")));
    }
}

void WiFiStoreJoinTest::describe_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("ssid"); // empty: a hidden network
    QTest::addColumn<QString>("expected");

    const QString checkPassword =
        QStringLiteral("Could not connect to “\u2068Home\u2069”. Check the password.");
    const QString outOfReach = QStringLiteral(
        "“\u2068Home\u2069” refused the connection or timed out. Check that you are in range.");
    const QString notPermitted = QStringLiteral("This operation is not permitted.");

    // Device state reasons: secrets and supplicant failures.
    for (qint64 code : {7, 8, 9, 10, 11})
        QTest::addRow("reason %lld: check the password", code) << kStateReason << code << ""
                                                               << "Home" << checkPassword;
    QTest::newRow("reason 53, network not found: out of reach") << kStateReason << qint64(53) << ""
                                                                << "Home" << outOfReach;
    QTest::newRow("reason 1 unknown: the generic sentence with the description")
        << kStateReason << qint64(1) << "Unknown error."
        << "Home"
        << "Could not connect to “\u2068Home\u2069”. Unknown error.";
    QTest::newRow("a reason code of another domain is not a reason")
        << "org.example.Other" << qint64(7) << "Something else."
        << "Home"
        << "Could not connect to “\u2068Home\u2069”. Something else.";

    // NetworkManager's own refusals and time-outs.
    const QString networkManager = QStringLiteral("org.freedesktop.NetworkManager");
    QTest::newRow("refused by policy: not permitted, without the name")
        << networkManager << qint64(-3930) << "Not authorized to control networking."
        << "Home" << notPermitted;
    QTest::newRow("join not finished in time: out of reach")
        << networkManager << qint64(-3905) << "The connection attempt timed out."
        << "Home" << outOfReach;
    QTest::newRow("any other NetworkManager failure: its own sentence")
        << networkManager << qint64(-1) << "No suitable device found."
        << "Home"
        << "Could not connect to “\u2068Home\u2069”. No suitable device found.";
    QTest::newRow("a D-Bus error name is no domain of ours")
        << "org.freedesktop.DBus.Error.AccessDenied" << qint64(-3930) << "Denied."
        << "Home"
        << "Could not connect to “\u2068Home\u2069”. Denied.";

    // The engine's own failures fall to the generic sentence.
    QTest::newRow("gone")
        << SystemError::kWiFiErrorDomain << qint64(2) << ""
        << "Home"
        << "Could not connect to “\u2068Home\u2069”. This network is no longer in range. Scan again.";
    QTest::newRow("no interface") << SystemError::kWiFiErrorDomain << qint64(0) << ""
                                  << "Home"
                                  << "Could not connect to “\u2068Home\u2069”. No Wi-Fi interface was found.";

    // Names.
    QTest::newRow("hidden network") << kStateReason << qint64(7) << ""
                                    << ""
                                    << "Could not connect to “Hidden network”. Check the password.";
    QTest::newRow("a name with format characters is shown as it is")
        << kStateReason << qint64(1) << "100% %@ sure"
        << "50%@ %d"
        << "Could not connect to “\u206850%@ %d\u2069”. 100% %@ sure";
    QTest::newRow("a hostile name and description are shown by the name rule")
        << kStateReason << qint64(1) << "Bad\x1b[2J"
        << "evil\u202eTXT"
        << "Could not connect to “\u2068evil\u2066\\u202e\u2069TXT\u2069”. Bad\\x1b[2J";
}

void WiFiStoreJoinTest::describe()
{
    QFETCH(QString, domain);
    QFETCH(qint64, code);
    QFETCH(QString, description);
    QFETCH(QString, ssid);
    QFETCH(QString, expected);

    SimulatedRadios radios({});
    TestPrefs prefs;
    WiFiStore store(radios.engine(), *prefs);
    ScannedNetwork network;
    if (!ssid.isEmpty())
        network.ssid = ssid;
    QCOMPARE(store.describe(network, SystemError(domain, code, description)), expected);
}

QTEST_GUILESS_MAIN(WiFiStoreJoinTest)
#include "tst_WiFiStoreJoin.moc"
