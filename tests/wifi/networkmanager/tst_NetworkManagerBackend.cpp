// The NetworkManager backend, in this process and in "ondrel --probe", against python-dbusmock's
// NetworkManager (nm_template.py) on a private bus of this test's own: what NetworkManager's signals, calls
// and secret requests add to the rules of tst_NetworkManagerRules.

#include "tests/wifi/networkmanager/MockNetworkManager.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/networkmanager/NetworkManagerNames.h"
#include "wifi/nl80211/KernelRadio.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

using namespace ondrel;
using namespace ondrel::nm::dbus;
using namespace std::chrono_literals;
using test::MockNetworkManager;
using Error = std::optional<SystemError>;
using B = NetworkManagerBackend;

namespace {

constexpr uint kCcmpPsk = 0x8 | 0x80 | 0x100, kSae = 0x400;
const QString kRight = QStringLiteral("the right one");

// Short limits: every wait these tests run into ends quickly.
B::Limits limits(std::chrono::milliseconds activation = 5s, std::chrono::milliseconds call = 1500ms)
{
    return {call, 150ms, activation, 1500ms, 100ms, 100ms};
}

// A join of a network whose secret is kRight, with a saved profile (its secret's owner: NetworkManager 0, the
// keyring agent 1) or none; -1 steps: every state before the call's reply. The error code (0: joined).
struct Join {
    QByteArray ssid = "Home";
    std::optional<uint> saved{};
    QString stored = QStringLiteral("outdated"), typed{};

    QString outcome = QStringLiteral("secret");
    uint reason = 0;
    QStringList denied{};
    int stepMs = 20;
    qint64 code = 0;
    uint agentRequests = 0;
    QString desktopAnswer{}; // what the desktop's own agent gives when asked for a new secret
    QString keyMgmt = QStringLiteral("wpa-psk");
    uint rsn = kCcmpPsk;
};

// A join by `name`, a hidden access point (flags, WPA and RSN flags) answering to `answers`, whose secret is
// kRight; with a saved profile of the name (marked hidden, its secret `saved`) or none. The error code (0:
// joined) and the key management of the profile kept ("-": none kept).
struct Hidden {
    uint flags = 1, wpa = 0, rsn = kCcmpPsk;
    QByteArray answers = "Den";
    Security security = Security::wpa2Personal;
    std::optional<QString> typed = kRight, saved{};
    qint64 code = 0;
    QString keyMgmt = QStringLiteral("wpa-psk");
    QByteArray name = "Den";
};

// The kernel as the test sets it, read from the backend's threads.
class FakeKernel final : public KernelRadio {
public:
    void set(KernelReading reading)
    {
        std::lock_guard lock(mutex_);
        reading_ = std::move(reading);
    }
    KernelReading read(const QString& interface, bool withScanResults) override
    {
        std::lock_guard lock(mutex_);
        KernelReading reading = reading_;
        if (interface != QLatin1String("wlan0"))
            reading = {KernelFailure::noInterface};
        if (!withScanResults)
            reading.bsses.clear();
        reading.readAt = std::chrono::steady_clock::now();
        return reading;
    }

private:
    std::mutex mutex_;
    KernelReading reading_;
};

QByteArray element(int id, const QByteArray& body)
{
    return QByteArray(1, char(id)) + QByteArray(1, char(body.size())) + body;
}

} // namespace

class tst_NetworkManagerBackend : public QObject {
    Q_OBJECT

    std::unique_ptr<MockNetworkManager> nm_;
    QString device_;

    AccessPoint scanned(NetworkManagerBackend& backend, const QByteArray& ssid)
    {
        const QList<AccessPoint> all = backend.scan().accessPoints;
        const auto found = std::ranges::find(all, ssid, &AccessPoint::ssidBytes);
        return found == all.end() ? AccessPoint() : *found;
    }
    void behave(const char* name, const QVariant& value)
    {
        nm_->mock("SetBehaviour", {name, QVariant::fromValue(QDBusVariant(value))});
    }
    // An activation made elsewhere, by another client of NetworkManager.
    void activate(const QString& profile, const QString& ap)
    {
        QVariantList paths;
        for (const QString& path : {profile, device_, ap})
            paths << QVariant::fromValue(QDBusObjectPath(path));
        QCOMPARE(nm_->call(kManagerPath, kManager, "ActivateConnection", paths).type(),
                 QDBusMessage::ReplyMessage);
    }
    // The saved profiles and each one's secrets.
    std::pair<QStringList, QList<QVariantMap>> profiles()
    {
        std::pair<QStringList, QList<QVariantMap>> all{nm_->savedConnections(), {}};
        for (const QString& path : all.first)
            all.second << nm_->connectionSecrets(path);
        return all;
    }

private Q_SLOTS:
    // One mock for every case, reset before each (started again where a case stopped it).
    void initTestCase()
    {
        nm_ = std::make_unique<MockNetworkManager>();
        QVERIFY(nm_->start({{"ActivationStepMs", 5}, {"ScanMs", 10}}));
    }
    void init()
    {
        QVERIFY(nm_->reset());
        device_ = nm_->addWirelessDevice();
    }

    // A scan: one RequestScan (its round trips: bench_nm_scan), records with the exact bytes,
    // NetworkManager's WPA and RSN flags and the width it gives (none before 1.46); a refused scan, or one
    // whose LastScan never changes, serves the current list. The reads follow NetworkManager's signals:
    // profiles, an activation made elsewhere (of a hidden network: named by its profile), a device going and
    // another coming, the radio.
    void scanAndSignals()
    {
        const QList<MockNetworkManager::Ap> aps{
            {.ssid = "Mixed", .frequency = 5500, .rsn = kCcmpPsk | kSae, .bandwidth = 160},
            {.ssid = "", .frequency = 5955, .flags = 1},
            {.ssid = "A\xff\x1b[2J", .frequency = 5180, .wpa = 0x144, .bandwidth = 0},
        };
        const QList<std::tuple<std::optional<QString>, Security, Band, int>> records{
            {"Mixed", Security::wpa2wpa3Personal, Band::ghz5, 160},
            {std::nullopt, Security::wep, Band::ghz6, 20},
            {QLatin1Char('A') + QChar(0xdcff) + QStringLiteral("\x1b[2J"), Security::wpaPersonal, Band::ghz5,
             0},
        };
        QStringList paths;
        for (const MockNetworkManager::Ap& ap : aps)
            paths << nm_->addAccessPoint(device_, ap);
        NetworkManagerBackend backend(limits());
        QCOMPARE(backend.interfaceName(), std::optional<QString>("wlan0"));
        QVERIFY(backend.isPoweredOn());
        const ScanResult result = backend.scan();
        QVERIFY(!result.error && result.accessPoints.size() == aps.size());
        QCOMPARE(nm_->counter("scan_requests"), 1u);
        for (qsizetype i = 0; i < aps.size(); ++i) {
            const ScannedNetwork record = ScannedNetwork::fromAccessPoint(result.accessPoints[i]);
            QCOMPARE(result.accessPoints[i].handle, paths[i]);
            QCOMPARE(result.accessPoints[i].ssidBytes, aps[i].ssid);
            QCOMPARE(std::tie(record.ssid, record.security, record.band, record.widthMHz), records[i]);
            QVERIFY(record.bssid == QStringLiteral("02:00:00:00:00:01") && record.rssi == -58);
        }
        for (const char* mode : {"refuse", "never"}) {
            behave("scan_mode", mode);
            const ScanResult stale = backend.scan();
            QVERIFY(!stale.error && stale.accessPoints.size() == aps.size());
        }
        // A request that is not answered in time is a failure, not the old list.
        behave("scan_mode", "late");
        const ScanResult late = backend.scan();
        QVERIFY(late.error && late.accessPoints.isEmpty());
        QCOMPARE(late.error->code(), B::kTimedOut);
        behave("scan_mode", "normal");
        const QString attic = nm_->addSavedWifi("Attic");
        QTRY_COMPARE(backend.savedSsids(), QList<QByteArray>{"Attic"});
        activate(attic, paths[1]);
        QTRY_COMPARE(backend.currentAssociation().ssid, std::optional<QString>("Attic"));

        nm_->mock("RemoveDevice", {device_});
        QTRY_VERIFY(!backend.hasInterface());
        QVERIFY(!backend.currentAssociation().ssid);
        device_ = nm_->addWirelessDevice("wlan1");
        QTRY_COMPARE(backend.interfaceName(), std::optional<QString>("wlan1"));
        nm_->mock("SetProperty",
                  {kManagerPath, kManager, "WirelessEnabled", QVariant::fromValue(QDBusVariant(false))});
        QTRY_VERIFY(!backend.isPoweredOn());
        behave("denied", QStringList{"WirelessEnabled"}); // a refusal is not reported as done
        QCOMPARE(backend.setPower(true)->code(), B::kNotPermitted);
    }

    // The kernel's figures where it has them (by BSSID), NetworkManager's elsewhere and whenever the kernel
    // cannot be read; the current association takes the link's signal and noise soon after it starts.
    void kernelFigures()
    {
        const QString near = nm_->addAccessPoint(device_, {.ssid = "Near",
                                                           .bssid = "02:00:00:00:00:0A",
                                                           .frequency = 5180,
                                                           .strength = 100,
                                                           .bandwidth = 0});
        nm_->addAccessPoint(device_, {.ssid = "Far",
                                      .bssid = "02:00:00:00:00:0b",
                                      .frequency = 2437,
                                      .strength = 30,
                                      .bandwidth = 40});
        auto kernel = std::make_shared<FakeKernel>();
        KernelReading reading;
        const QByteArray elements = element(0, "Near") + element(7, "DE ") +
                                    element(61, QByteArray::fromHex("2405") + QByteArray(20, 0)) +
                                    element(192, QByteArray::fromHex("012a00fcff"));
        reading.bsses = {{"02:00:00:00:00:0a", 5180, -2700, 200ms, false, elements}};
        reading.surveys = {{5180, -92}, {2437, -90}};
        kernel->set(reading);
        B::Limits fast = limits();
        fast.linkRefresh = 50ms;
        NetworkManagerBackend backend(fast, kernel);

        const auto find = [&](const QByteArray& ssid) { return scanned(backend, ssid); };
        AccessPoint n = find("Near"), f = find("Far");
        QCOMPARE(std::tie(n.rssi, n.noise, n.channel->widthCode, n.countryCode),
                 std::make_tuple(-27, -92, 3, std::optional<QString>("DE")));
        QCOMPARE(n.sources, (FigureSources{FigureSource::scanDump, FigureSource::survey,
                                           FigureSource::elements, FigureSource::elements}));
        QCOMPARE(std::tie(f.rssi, f.noise, f.channel->widthCode, f.countryCode),
                 std::make_tuple(nm::dbmFromStrength(30), 0, 2, std::optional<QString>()));
        QCOMPARE(f.sources, (FigureSources{FigureSource::networkManager, FigureSource::none,
                                           FigureSource::networkManager}));

        // Joined: the link's signal, in the status and for the joined access point.
        reading.stations = {{"02:00:00:00:00:0a", -41, -42, 866.7}};
        kernel->set(reading);
        activate(nm_->addSavedWifi("Near"), near);
        QTRY_COMPARE(backend.currentAssociation().rssi, -41);
        Association now = backend.currentAssociation();
        QCOMPARE(std::tie(now.noise, now.rssiSource, now.noiseSource),
                 std::make_tuple(-92, FigureSource::station, FigureSource::survey));
        n = find("Near");
        QCOMPARE(std::tie(n.rssi, n.sources.rssi), std::make_tuple(-41, FigureSource::station));
        // The link moves: the status follows without a scan.
        reading.stations = {{"02:00:00:00:00:0a", -47}};
        kernel->set(reading);
        QTRY_COMPARE(backend.currentAssociation().rssi, -47);

        // The kernel unreadable: NetworkManager's figures again, and said so.
        kernel->set({KernelFailure::noPermission});
        n = find("Near");
        QCOMPARE(std::tie(n.rssi, n.noise, n.countryCode, n.sources.rssi),
                 std::make_tuple(-40, 0, std::optional<QString>(), FigureSource::networkManager));
        QTRY_COMPARE(backend.currentAssociation().rssiSource, FigureSource::networkManager);
        QCOMPARE(backend.currentAssociation().rssi, -40);
    }

    // Which profile a join uses and keeps is tst_NetworkManagerRules' table; here NetworkManager carries it
    // out.
    void joins_data()
    {
        QTest::addColumn<Join>("row");

        QTest::newRow("new, non-ASCII, states first")
            << Join{.ssid = "\xe6\x97\xa5\xff", .typed = kRight, .stepMs = -1};
        QTest::newRow("new, wrong password") << Join{.typed = "wrong pass", .code = 7, .agentRequests = 1};
        QTest::newRow("new, never finishes")
            << Join{.typed = kRight, .outcome = "stall", .code = B::kTimedOut};
        QTest::newRow("new, no DHCP answer") << Join{.typed = kRight, .outcome = "no-address", .code = 5};

        QTest::newRow("hidden, no name") << Join{.ssid = "", .typed = kRight, .code = B::kOtherFailure};
        QTest::newRow("saved, not found") << Join{.saved = 0, .outcome = "fail", .reason = 53, .code = 53};
        QTest::newRow("saved, agent refused")
            << Join{.saved = 1, .typed = kRight, .denied = {"Register"}, .code = B::kNotPermitted};
        QTest::newRow("saved, right password") << Join{.saved = 0, .typed = kRight};
        QTest::newRow("saved, wrong password")
            << Join{.saved = 0, .typed = "typo one", .code = 7, .agentRequests = 1};
        QTest::newRow("keyring, nothing typed") << Join{.saved = 1, .stored = kRight, .agentRequests = 1};
        // WPA3 alone: the agent answers the typed password for an SAE profile as for a PSK one.
        QTest::newRow("keyring, WPA3, typed")
            << Join{.saved = 1, .typed = kRight, .agentRequests = 1, .keyMgmt = "sae", .rsn = kSae};
        QTest::newRow("keyring, wrong password")
            << Join{.saved = 1, .typed = "typo one", .code = 7, .agentRequests = 2};
        // Asked for a new secret with nothing typed, Ondrel's agent cancels the request, so that the
        // desktop's agent never opens a password dialog of its own: the join fails and Ondrel asks.
        QTest::newRow("keyring outdated, nothing typed, the desktop would answer")
            << Join{.saved = 1, .code = 7, .agentRequests = 2, .desktopAnswer = kRight};
    }
    void joins()
    {
        QFETCH(Join, row);
        behave("step_ms", row.stepMs);
        behave("desktop_answer", row.desktopAnswer);
        nm_->setNetworkBehaviour(row.ssid, kRight, row.outcome, row.reason);
        nm_->addAccessPoint(device_,
                            {.ssid = row.ssid, .frequency = 5180, .rsn = row.rsn, .bitrate = 300000});
        nm_->addSavedWifi("Other", "wpa-psk", "x");
        QString saved;
        if (row.saved) {
            // An older profile of the same name is not the one a join uses.
            nm_->addSavedWifi(row.ssid, row.keyMgmt, "older", {{"timestamp", 100}});
            saved = nm_->addSavedWifi(row.ssid, row.keyMgmt, row.stored,
                                      {{"secret-flags", *row.saved}, {"timestamp", 200}});
        }
        const auto [before, secrets] = profiles();
        behave("denied", row.denied);
        const bool hangs =
            row.outcome == QLatin1String("stall") || row.outcome == QLatin1String("no-address");
        NetworkManagerBackend backend(limits(hangs ? 300ms : 5s));
        const AccessPoint ap = scanned(backend, row.ssid);
        const Error error = backend.join(ap, row.typed.isEmpty() ? std::nullopt : std::optional(row.typed));
        QVERIFY2((error ? error->code() : 0) == row.code,
                 qPrintable(error ? error->description() : QString()));
        QCOMPARE(nm_->counter("agent_requests"), row.agentRequests);
        if (error) {
            // Every profile as it was, nothing connected; a refusal activates nothing.
            QTRY_COMPARE(nm_->savedConnections(), before);
            for (qsizetype i = 0; i < before.size(); ++i)
                QCOMPARE(nm_->connectionSecrets(before[i]), secrets[i]);
            QCOMPARE(nm_->property(device_, kDevice, "ActiveConnection").toString(), QStringLiteral("/"));
            QVERIFY(row.denied.isEmpty() || nm_->counter("activations") == 0);
            return;
        }
        const Association now = backend.currentAssociation();
        QCOMPARE(now.ssid, nm::decodeSsid(row.ssid));
        QVERIFY(now.txRate == 300.0 && now.channel->number == 36);
        // The profile that worked is on disk with the secret that worked, the rest of it as it was.
        const QString profile = saved.isEmpty() ? nm_->savedConnections().value(before.size()) : saved;
        const QVariantMap stored = nm_->connectionSecrets(profile);
        QCOMPARE(stored.value("persist").toString(), QStringLiteral("disk"));
        QCOMPARE(stored.value(row.saved == 1u ? "keyring" : "psk").toString(),
                 row.saved && row.typed.isEmpty() ? row.stored : row.typed);
        if (row.saved)
            QCOMPARE(stored.value("ipv4"), secrets[before.indexOf(saved)].value("ipv4"));
        // A copy that carried the password vanishes with its connection.
        backend.disconnect();
        QVERIFY(!backend.currentAssociation().ssid);
        QTRY_COMPARE(nm_->savedConnections(), saved.isEmpty() ? before + QStringList{profile} : before);
    }

    // A join by name asks for no access point and NetworkManager probes for the name: the template's hidden
    // access point answers only a profile marked hidden whose key management it offers. A new profile is kept
    // (on disk, marked hidden, the secret that worked) only after success; a failure leaves every profile as
    // it was and none added. Enterprise is refused without a single call.
    void hiddenJoins_data()
    {
        QTest::addColumn<Hidden>("row");
        using S = Security;
        const QString none = QStringLiteral("-");
        QTest::newRow("wpa2") << Hidden{};
        QTest::newRow("wpa2 to a WPA3 network") << Hidden{.rsn = kSae, .code = 53, .keyMgmt = none};
        QTest::newRow("wpa3") << Hidden{.rsn = kSae, .security = S::wpa3Personal, .keyMgmt = "sae"};
        QTest::newRow("wpa3 to a WPA2 network")
            << Hidden{.security = S::wpa3Personal, .code = 53, .keyMgmt = none};
        QTest::newRow("transition") << Hidden{.rsn = kCcmpPsk | kSae, .security = S::wpa2wpa3Personal};
        QTest::newRow("wpa") << Hidden{.wpa = 0x144, .rsn = 0, .security = S::wpaPersonal};
        QTest::newRow("owe") << Hidden{
            .rsn = 0x800, .security = S::owe, .typed = std::nullopt, .keyMgmt = "owe"};
        QTest::newRow("open") << Hidden{
            .flags = 0, .rsn = 0, .security = S::open, .typed = {}, .keyMgmt = ""};
        QTest::newRow("wep") << Hidden{.rsn = 0, .security = S::wep, .keyMgmt = "none"};
        QTest::newRow("wrong password") << Hidden{.typed = "wrong pass", .code = 7, .keyMgmt = none};
        QTest::newRow("no password") << Hidden{.typed = {}, .code = 7, .keyMgmt = none};
        QTest::newRow("another name") << Hidden{.answers = "Attic", .code = 53, .keyMgmt = none};
        QTest::newRow("saved, its secret") << Hidden{.typed = {}, .saved = kRight, .keyMgmt = none};
        QTest::newRow("saved, right password") << Hidden{.saved = "outdated", .keyMgmt = none};
        QTest::newRow("saved, wrong password")
            << Hidden{.typed = "typo one", .saved = "outdated", .code = 7, .keyMgmt = none};
        QTest::newRow("enterprise") << Hidden{
            .security = S::enterprise, .code = qint64(WiFiError::enterprise), .keyMgmt = none};
        // A name has 1 to 32 bytes; the others are refused before NetworkManager hears of them.
        const QByteArray longest(32, 'L');
        QTest::newRow("a name of 32 bytes") << Hidden{.answers = longest, .name = longest};
        QTest::newRow("a name of 33 bytes") << Hidden{.answers = longest + "L",
                                                      .code = NetworkManagerBackend::kOtherFailure,
                                                      .keyMgmt = none,
                                                      .name = longest + "L"};
        QTest::newRow("an empty name")
            << Hidden{.code = NetworkManagerBackend::kOtherFailure, .keyMgmt = none, .name = ""};
    }
    void hiddenJoins()
    {
        QFETCH(Hidden, row);
        behave("step_ms", 5);
        nm_->setNetworkBehaviour(row.name, kRight);
        nm_->setHiddenSsid(
            nm_->addAccessPoint(
                device_, {.ssid = "", .wpa = row.wpa, .rsn = row.rsn, .bitrate = 300000, .flags = row.flags}),
            row.answers);
        nm_->addSavedWifi("Other", "wpa-psk", "x");
        const QString saved =
            row.saved ? nm_->addSavedWifi(row.name, "wpa-psk", *row.saved, {{"hidden", true}}) : "";
        const auto [before, secrets] = profiles();
        NetworkManagerBackend backend(limits());
        QTRY_COMPARE(backend.savedSsids().size(), before.size());
        const quint64 trips = backend.roundTrips();
        const Error error = backend.joinHidden(row.name, row.security, row.typed);
        QVERIFY2((error ? error->code() : 0) == row.code,
                 qPrintable(error ? error->description() : QString()));
        QVERIFY(
            (row.code != qint64(WiFiError::enterprise) && row.code != NetworkManagerBackend::kOtherFailure) ||
            (backend.roundTrips() == trips && nm_->counter("activations") == 0));
        for (qsizetype i = 0; i < before.size(); ++i) {
            const bool updated = !error && before[i] == saved && row.typed;
            QCOMPARE(nm_->connectionSecrets(before[i]).value("psk"),
                     updated ? QVariant(*row.typed) : secrets[i].value("psk"));
        }
        if (error) {
            QTRY_COMPARE(nm_->savedConnections(), before);
            QCOMPARE(nm_->property(device_, kDevice, "ActiveConnection").toString(), QStringLiteral("/"));
            return;
        }
        // Named by its profile, although the access point broadcasts no name; listed once, by name, although
        // NetworkManager now lists the beacons and the probe's answer apart.
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>(QString::fromLatin1(row.name)));
        const ScanResult listed = backend.scan();
        QCOMPARE(listed.accessPoints.size(), 1);
        QCOMPARE(listed.accessPoints[0].ssid, std::optional<QString>(QString::fromLatin1(row.name)));
        backend.disconnect(); // a copy that carried a password vanishes with its connection
        QTRY_COMPARE(nm_->savedConnections().size(), before.size() + (row.keyMgmt == "-" ? 0 : 1));
        if (row.keyMgmt == "-")
            return;
        const QString kept = nm_->savedConnections().constLast();
        const QVariantMap settings =
            nm::plainValue(nm_->call(kept, kConnection, "GetSettings").arguments().value(0)).toMap();
        const QVariantMap wireless = settings.value("802-11-wireless").toMap();
        QCOMPARE(std::tuple(wireless.value("ssid").toByteArray(), wireless.value("hidden").toBool()),
                 std::tuple(row.name, true));
        QCOMPARE(settings.value("802-11-wireless-security").toMap().value("key-mgmt").toString(),
                 row.keyMgmt);
        const QVariantMap stored = nm_->connectionSecrets(kept);
        QCOMPARE(stored.value("persist").toString(), QStringLiteral("disk"));
        QCOMPARE(stored.value(row.security == Security::wep ? "wep-key0" : "psk").toString(),
                 row.typed.value_or(QString()));
    }

    // NetworkManager hanging: the reads answer from the copy without asking, a scan waits one call, a copy
    // that could not load loads once it answers. A join waiting for NetworkManager ends as soon as the engine
    // goes away or NetworkManager leaves. (Leaving and coming back: tst_NetworkManagerDaemon.)
    void hangingAndLeaving()
    {
        nm_->setNetworkBehaviour("Home", QString(), "stall");
        nm_->addSavedWifi("Home", "wpa-psk", "secret12");
        nm_->addAccessPoint(device_, {.ssid = "Home", .rsn = kCcmpPsk});
        NetworkManagerBackend backend(limits(600s, 300ms));
        const AccessPoint ap = scanned(backend, "Home");
        QTRY_COMPARE(backend.savedSsids(), QList<QByteArray>{"Home"});
        nm_->pause();
        const quint64 trips = backend.roundTrips();
        QVERIFY(backend.hasInterface() && backend.isPoweredOn());
        QCOMPARE(backend.savedSsids(), QList<QByteArray>{"Home"});
        QCOMPARE(backend.roundTrips(), trips);
        QCOMPARE(backend.scan().error->code(), B::kTimedOut);
        NetworkManagerBackend late(limits(5s, 300ms)); // gives up after one call: no interface
        QVERIFY(!late.hasInterface());
        nm_->resume();
        QTRY_VERIFY(late.hasInterface()); // loaded again after its retry interval
        for (uint activations : {1u, 2u}) {
            NetworkManagerBackend joining(limits(600s)); // cancel() is for good
            Error result;
            std::unique_ptr<QThread> worker(
                QThread::create([&] { result = joining.join(ap, QStringLiteral("password1")); }));
            worker->start();
            QTRY_COMPARE(nm_->counter("activations"), activations);
            activations == 1 ? joining.cancel() : nm_->stop();
            QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 20000);
            QCOMPARE(result->code(), activations == 1 ? B::kTimedOut : qint64(WiFiError::noInterface));
        }
    }

    // "ondrel --probe" joining with the password from standard input (also by name, --hidden): its exit
    // status and sentence, no password shown; killed at a random moment after the activation began. Once the
    // join has ended the saved profile is as it was, and a new network's profile is on disk if it worked,
    // else gone.
    void probe_data()
    {
        QTest::addColumn<QString>("target"); // none: no system bus at all
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status"); // -1: killed
        QTest::addColumn<QString>("saying");
        const QString cafe = QStringLiteral("Café Wi-Fi");
        QTest::newRow("right password") << cafe << "secret12" << 0 << "成功。現在の接続先: Café Wi-Fi\n";
        QTest::newRow("no system bus")
            << QString() << "unused" << 1 << "Wi-Fi インターフェースが見つかりません。\n";
        QTest::newRow("killed, new network") << cafe << "baguette" << -1 << QString();
        QTest::newRow("killed, saved profile") << QString("HomeNet") << "baguette" << -1 << QString();
        QTest::newRow("by name") << QString("Den") << "secret12" << 0 << "成功。現在の接続先: Den\n";
        QTest::newRow("killed, by name") << QString("Den") << "baguette" << -1 << QString();
    }
    void probe()
    {
        QFETCH(QString, target);
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(QString, saying);
        behave("step_ms", 20);
        for (const QByteArray ssid : {"Caf\xc3\xa9 Wi-Fi", "HomeNet"}) {
            nm_->addAccessPoint(device_, {.ssid = ssid, .rsn = kCcmpPsk});
            nm_->setNetworkBehaviour(ssid, "secret12");
        }
        nm_->addSavedWifi("HomeNet", "wpa-psk", "secret12"); // keeps its own secret
        nm_->setHiddenSsid(nm_->addAccessPoint(device_, {.ssid = "", .rsn = kCcmpPsk}),
                           "Den"); // "Den" joins --hidden
        nm_->setNetworkBehaviour("Den", "secret12");
        const QStringList profiles = nm_->savedConnections();
        const QVariantMap secrets = nm_->connectionSecrets(profiles.value(0));
        QProcess process;
        QVERIFY(test::startProbe(
            process, target.isEmpty() ? QStringLiteral("unix:path=/nonexistent/bus") : nm_->busAddress(),
            target.isEmpty() ? QStringList()
                             : QStringList{"--connect", target, "--password", "-"} +
                                   (target == "Den" ? QStringList{"--hidden"} : QStringList())));
        process.write(password.toUtf8() + '\n');
        process.closeWriteChannel();
        const int moment = QRandomGenerator::global()->bounded(100);
        if (status < 0) {
            QTRY_VERIFY_WITH_TIMEOUT(nm_->counter("activations") == 1, 10000);
            if (!process.waitForFinished(moment))
                process.kill();
        }
        process.waitForFinished(60000);
        QCOMPARE(process.state(), QProcess::NotRunning);
        const QString output =
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(status < 0 ||
                     (process.exitCode() == status && output.contains(saying) && !output.contains(password)),
                 qPrintable(output));
        const QByteArray context = "killed " + QByteArray::number(moment) + " ms after the activation began";
        QTRY_VERIFY2(status == 0 || nm_->property(device_, kDevice, "ActiveConnection").toString() == "/",
                     context.constData());
        QTRY_COMPARE(nm_->savedConnections().size(), profiles.size() + (status == 0 ? 1 : 0));
        QVERIFY2(nm_->connectionSecrets(profiles[0]) == secrets, context.constData());
        for (const QString& path : nm_->savedConnections())
            QCOMPARE(nm_->connectionSecrets(path).value("persist"), QVariant("disk"));
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerBackend)
#include "tst_NetworkManagerBackend.moc"
