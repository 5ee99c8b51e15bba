// The engine over the simulated radios: jobs off the main thread in submission order, completions posted once
// on the main thread, the access point a join finds, and how the radios answer.

#include "localization/LocaleSettings.h"
#include "wifi/WiFiEngine.h"
#include "wifi/simulation/SimulatedBackend.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>

using namespace ondrel;
using Error = std::optional<SystemError>;
using Text = std::optional<QString>;

namespace {

std::unique_ptr<SimulatedBackend> radiosOf(const QByteArray& scenario)
{
    return std::make_unique<SimulatedBackend>(SimulationScenario::fromJson(scenario).value());
}

const QByteArray kRoom = R"({
  "interface": "wlan7",
  "saved": ["Saved", ""],
  "current": {"bssid": "s1", "txRate": 300},
  "networks": [
    {"ssid": "Saved", "bssid": "s1", "rssi": -45, "noise": -90, "channel": 6, "password": "saved-pass"},
    {"ssid": "Saved", "bssid": "s2", "channel": 11, "password": "saved-pass"},
    {"ssid": "New", "bssid": "n1", "channel": 36, "password": "new-pass",
     "wrongPasswordError": {"domain": "sim", "code": 11, "description": "timed out"}},
    {"ssid": "New", "bssid": "n2", "channel": 149, "password": "new-pass"},
    {"ssid": "Free", "bssid": "f1", "channel": 1},
    {"ssid": "Refuses", "bssid": "r1", "password": "x", "joinError": {"code": 53, "description": "gone"}},
    {"bssid": "h1", "channel": 44},
    {"bssid": "d1", "hiddenSsid": "Den", "security": "wpa2Personal", "password": "den-pass"}
  ]
})";

// How a job ended: empty for success, else the last part of the failure's domain and its code.
QString ending(const Error& error)
{
    return error ? error->domain().section(QLatin1Char('.'), -1) + QLatin1Char(' ') +
                       QString::number(error->code())
                 : QString();
}

// The simulated radios behind a gate: when gated, every slow operation waits for a permit first (so a job run
// on the main thread would hang there).
class GatedRadios : public WiFiBackend {
public:
    std::unique_ptr<SimulatedBackend> radios = radiosOf(kRoom);
    std::atomic<bool> gated = false;
    std::atomic<int> waiting{0}; // slow operations waiting at the gate
    QSemaphore gate;

    bool hasInterface() const override { return radios->hasInterface(); }
    std::optional<QString> interfaceName() const override { return radios->interfaceName(); }
    bool isPoweredOn() const override { return radios->isPoweredOn(); }
    Association currentAssociation() const override { return radios->currentAssociation(); }
    QList<QByteArray> savedSsids() const override { return radios->savedSsids(); }
    ScanResult scan() override { return enter().scan(); }
    Error join(const AccessPoint& ap, const Text& password) override { return enter().join(ap, password); }
    Error joinHidden(const QByteArray& ssid, Security security, const Text& password) override
    {
        return enter().joinHidden(ssid, security, password);
    }
    void disconnect() override { enter().disconnect(); }
    Error setPower(bool on) override { return enter().setPower(on); }
    void cancel() override
    {
        gated = false;
        gate.release(1000);
    }

private:
    SimulatedBackend& enter()
    {
        if (gated) {
            ++waiting;
            gate.acquire();
            --waiting;
        }
        return *radios;
    }
};

} // namespace

class tst_WiFiEngine : public QObject {
    Q_OBJECT
    GatedRadios* radios_ = nullptr;
    std::unique_ptr<WiFiEngine> engine_;
    const QString gone = ending(SystemError(WiFiError::gone));

    // Replaces the radios; only while no job runs.
    void use(const QByteArray& scenario) { radios_->radios = radiosOf(scenario); }
    std::pair<QList<ScannedNetwork>, Error> scan()
    {
        std::optional<std::pair<QList<ScannedNetwork>, Error>> outcome;
        engine_->scan([&](QList<ScannedNetwork> networks, Error error) { outcome.emplace(networks, error); });
        [&] { QTRY_VERIFY(outcome); }();
        return outcome.value_or(std::pair<QList<ScannedNetwork>, Error>());
    }
    Error result(const std::function<void(WiFiEngine::ResultCompletion)>& start)
    {
        std::optional<Error> outcome;
        start([&](Error error) { outcome = error; });
        [&] { QTRY_VERIFY(outcome); }();
        return outcome.value_or(Error());
    }
    Error join(const QString& id, const Text& ssid, const Text& password = std::nullopt)
    {
        return result([&](auto done) { engine_->connect(id, ssid, password, done); });
    }

private Q_SLOTS:
    // What a user reads for each of the engine's own failures.
    void errorTexts()
    {
        LocaleSettings::apply(AppLanguage::en);
        QStringList texts;
        for (WiFiError e : {WiFiError::noInterface, WiFiError::powerOff, WiFiError::gone,
                            WiFiError::enterprise, WiFiError::needsLocation})
            texts << SystemError(e).description();
        QCOMPARE(texts, (QStringList{"No Wi-Fi interface was found.", "Wi-Fi is turned off.",
                                     "This network is no longer in range. Scan again.",
                                     "Join enterprise (802.1X) networks from Wi-Fi in System Settings.",
                                     "Allow location access to read the names of nearby networks."}));
        LocaleSettings::apply(AppLanguage::ja);
        QCOMPARE(SystemError(WiFiError::gone).description(),
                 QStringLiteral("このネットワークは見つからなくなりました。もう一度スキャンしてください。"));
    }

    void init()
    {
        auto radios = std::make_unique<GatedRadios>();
        radios_ = radios.get();
        engine_ = std::make_unique<WiFiEngine>(std::move(radios));
    }

    // Jobs run one at a time off the main thread, in submission order, while the quick reads answer at once;
    // each completion comes once, on the main thread, never inside the call. Without an interface all but
    // leaving fail, and the radios' state is not read.
    void jobs()
    {
        const QString id = scan().first[3].id();
        for (bool interface : {true, false}) {
            radios_->gated = interface;
            QStringList completed;
            const auto done = [&](const char* job, const Error& error) {
                const bool main = QThread::currentThread() == qApp->thread();
                completed << QLatin1String(job) + (main ? " " : " elsewhere ") + ending(error);
            };
            engine_->scan([&](QList<ScannedNetwork>, Error e) { done("scan", e); });
            engine_->connect(id, std::nullopt, QStringLiteral("new-pass"), [&](Error e) { done("join", e); });
            engine_->connectHidden("Den", Security::wpa2Personal, QStringLiteral("den-pass"),
                                   [&](Error e) { done("by name", e); });
            engine_->setPower(false, [&](Error e) { done("off", e); });
            engine_->disconnect([&] { done("leave", {}); });
            engine_->setPower(true, [&](Error e) { done("on", e); });
            QVERIFY(completed.isEmpty());
            QCOMPARE(engine_->interfaceName(), interface ? Text("wlan7") : Text());
            QCOMPARE(engine_->savedSsids(), interface ? QSet<QByteArray>{"Saved"} : QSet<QByteArray>());
            QVERIFY(!interface || engine_->currentStatus().bssid == "s1");
            QVERIFY(interface || engine_->currentStatus() == WiFiEngine::Status());
            radios_->gate.release(7); // the marker too
            // A marker submitted last proves every earlier completion has been delivered; none of them may
            // come a second time.
            bool marker = false;
            engine_->disconnect([&] { marker = true; });
            QTRY_VERIFY(marker);
            const QString fails = interface ? QString() : ending(SystemError(WiFiError::noInterface));
            QCOMPARE(completed, QStringList({"scan " + fails, "join " + fails, "by name " + fails,
                                             "off " + fails, "leave ", "on " + fails}));
            use(R"({"saved": ["Saved"], "current": {"bssid": "s1"}})");
        }
    }

    // A join finds the access point by record id, else the first one seen of the name; the radios take it or
    // refuse it by password and scenario, and save the name of a network joined.
    void join()
    {
        // The record whose id is given (-1: an unknown id), the name, the password; how the join ends and the
        // current network afterwards.
        const QList<std::tuple<int, Text, Text, QString, Text>> rows{
            {1, {}, {}, "", "s2"},                  // saved: its secret
            {1, {}, "nope", "StateReason 7", "s1"}, // saved, but a wrong password
            {2, {}, {}, "sim 11", "s1"},            // no password
            {2, {}, "new-pas", "sim 11", "s1"},     // a prefix of the password
            {3, "New", "new-pass", "", "n2"},       // the id's, not the first of its name
            {-1, "New", "new-pass", "", "n1"},      // an unknown id: the first of its name
            {4, {}, {}, "", "f1"},                  // open
            {5, {}, "x", "StateReason 53", "s1"},   // refused whatever the password
            {6, {}, {}, "", "h1"},                  // hidden, by id
            {-1, {}, {}, gone, "s1"},               // an unknown id and no name
        };
        for (const auto& [record, ssid, password, failure, current] : rows) {
            init();
            const QList<ScannedNetwork> networks = scan().first;
            QCOMPARE(ending(join(record < 0 ? "stale" : networks.value(record).id(), ssid, password)),
                     failure);
            const WiFiEngine::Status now = engine_->currentStatus();
            QCOMPARE(now.bssid, current);
            const QByteArray joined = failure.isEmpty() && now.ssid ? now.ssid->toUtf8() : "Saved";
            QCOMPARE(engine_->savedSsids(), QSet<QByteArray>({"Saved", joined}));
        }
    }

    // A join by name needs no scan: the radios find the strongest access point that broadcasts or hides the
    // name and takes the key management of the security asked for, then answer as to any join; the name
    // joined is the current one and saved.
    void joinByName()
    {
        // The name, the security, the password; how the join ends, the current access point after.
        const QList<std::tuple<QByteArray, Security, Text, QString, Text>> rows{
            {"Den", Security::wpa2Personal, "den-pass", "", "d1"},
            {"Den", Security::wpa2wpa3Personal, "den-pass", "", "d1"},           // WPA2's key management
            {"Den", Security::wpa3Personal, "den-pass", "StateReason 53", "s1"}, // no SAE there
            {"Den", Security::wpa2Personal, "den-pas", "StateReason 7", "s1"},
            {"Den", Security::enterprise, "den-pass", ending(SystemError(WiFiError::enterprise)), "s1"},
            {"Free", Security::open, {}, "", "f1"},  // a visible one too
            {"Saved", Security::open, {}, "", "s1"}, // saved: its secret
            {"Free", Security::wpaPersonal, {}, "StateReason 53", "s1"},
            {"Nobody", Security::open, {}, "StateReason 53", "s1"},
        };
        for (const auto& [ssid, security, password, failure, current] : rows) {
            init();
            const QString ended =
                ending(result([&](auto done) { engine_->connectHidden(ssid, security, password, done); }));
            QVERIFY2(ended == failure, ssid + ": " + ended.toUtf8());
            const WiFiEngine::Status now = engine_->currentStatus();
            QCOMPARE(now.bssid, current);
            QCOMPARE(now.ssid, Text(failure.isEmpty() ? ssid : "Saved"));
            QCOMPARE(engine_->savedSsids(), QSet<QByteArray>({"Saved", failure.isEmpty() ? ssid : "Saved"}));
        }
    }

    // The status from the scenario's current network, its own fields first. One record per access point, in
    // the radios' order, unmerged, unmarked. A failed scan keeps the remembered access points; a successful
    // one replaces them all.
    void radios()
    {
        QCOMPARE(engine_->currentStatus(),
                 WiFiEngine::Status({true, true, "Saved", "s1", -45, -90, 300, 6, Band::ghz2_4,
                                     FigureSource::simulation, FigureSource::simulation}));
        QCOMPARE(ending(join("x", QStringLiteral("Free"))), gone); // before any scan nothing is known
        const auto [networks, error] = scan();
        const QList<AccessPoint> accessPoints = radios_->radios->scan().accessPoints;
        QVERIFY(!error && networks.size() == accessPoints.size());
        for (qsizetype i = 0; i < networks.size(); ++i) {
            QVERIFY(networks[i] == ScannedNetwork::fromAccessPoint(accessPoints[i]));
            ScannedNetwork marked = networks[i];
            marked.isFavorite = marked.isSaved = marked.isCurrent = true;
            QCOMPARE(marked.id(), networks[i].id()); // the id a join finds it by holds no marks
        }
        const QString free = networks[4].id();
        QVERIFY(!result([&](auto done) { engine_->setPower(false, done); }));
        QVERIFY(!engine_->currentStatus().poweredOn && !engine_->currentStatus().bssid); // and left
        QCOMPARE(ending(scan().second), ending(SystemError(WiFiError::powerOff)));
        QCOMPARE(ending(join(free, std::nullopt)), "StateReason 53"); // tried: the radio is off
        use(R"({"interface": "w", "scanError": {"domain": "d", "code": 7, "description": "busy"}})");
        QCOMPARE(scan().second, Error(SystemError("d", 7, "busy"))); // the system's errors pass unchanged
        use(R"({"interface": "w", "networks": [{"ssid": "Other"}]})");
        scan();
        QCOMPARE(ending(join(free, QStringLiteral("Free"))), gone);
        QVERIFY(!join("stale", QStringLiteral("Other")));
        bool left = false;
        engine_->disconnect([&] { left = true; });
        QTRY_VERIFY(left);
        QVERIFY(!engine_->currentStatus().ssid);
        use(R"({"interface": "w", "powerError": {"code": 5, "description": "rfkill"}})");
        QCOMPARE(result([&](auto done) { engine_->setPower(false, done); }),
                 Error(SystemError(kSimulatedFailureDomain, 5, "rfkill")));
        QVERIFY(engine_->currentStatus().poweredOn);
    }

    void destroyedEngineDropsJobsThatHadNotStarted()
    {
        radios_->gated = true;
        int scans = 0, joins = 0, leaves = 0;
        Error powerError;
        engine_->scan([&](QList<ScannedNetwork>, Error) { ++scans; }); // runs and waits
        engine_->scan([&](QList<ScannedNetwork>, Error) { ++scans; });
        engine_->connect("x", QStringLiteral("Free"), std::nullopt, [&](Error) { ++joins; });
        engine_->setPower(true, [&](Error e) { powerError = e; });
        engine_->disconnect([&] { ++leaves; });
        QTRY_COMPARE(radios_->waiting.load(), 1);
        engine_.reset(); // all it posts is posted by now, to be delivered later
        QVERIFY(scans + joins + leaves == 0 && !powerError);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(std::tuple(scans, joins, leaves), std::tuple(1, 0, 1)); // the running scan completes
        QCOMPARE(powerError, Error(WiFiError::noInterface));
    }
};

QTEST_GUILESS_MAIN(tst_WiFiEngine)
#include "tst_WiFiEngine.moc"
