#include "wifi/ScannedNetwork.h"
#include "wifi/SimulatedBackend.h"
#include "wifi/WiFiEngine.h"

#include <QSet>
#include <QTest>

using namespace ondrel;

namespace {

SimulationScenario parse(const QByteArray& json)
{
    QString problem;
    std::optional<SimulationScenario> scenario = SimulationScenario::fromJson(json, &problem);
    if (!scenario)
        qFatal("scenario rejected: %s", qPrintable(problem));
    return *scenario;
}

const QByteArray kRoom = R"({
  "interface": "wlp2s0",
  "saved": ["Saved"],
  "current": {"bssid": "s1", "txRate": 300},
  "networks": [
    {"ssid": "Saved", "bssid": "s1", "rssi": -45, "channel": 6, "security": "wpa2Personal", "password": "saved-pass"},
    {"ssid": "New", "bssid": "n1", "rssi": -55, "channel": 36, "width": 80, "security": "wpa3Personal",
     "password": "new-pass", "wrongPasswordError": {"domain": "sim", "code": 11, "description": "timed out"}},
    {"ssid": "Free", "bssid": "f1", "rssi": -65, "channel": 1},
    {"ssid": "Refuses", "bssid": "r1", "rssi": -75, "channel": 11, "password": "x",
     "joinError": {"code": 53, "description": "gone"}},
    {"ssidHex": "ff41", "bssid": "bad", "rssi": -80, "channel": 37, "band": 60, "securityCodes": [4, 11]},
    {"bssid": "hid", "rssi": -85, "security": "owe"}
  ]
})";

} // namespace

class tst_SimulatedBackend : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rejectsBadScenarios()
    {
        const QString range = QStringLiteral("\"%1\" must be a whole number from -2147483648 to 2147483647");
        const QList<std::pair<QByteArray, QString>> rows{
            {"{", "JSON"},
            {"[]", "object"},
            {R"({"networks": {}})", "networks"},
            {R"({"networks": [3]})", "networks[0]"},
            {R"({"networks": [{"rssi": "-40"}]})", "rssi"},
            {R"({"networks": [{"channel": 1.5}]})", "channel"},
            {R"({"networks": [{"channel": 1, "band": 33}]})", "band"},
            {R"({"networks": [{"security": "wpa9"}]})", "security"},
            {R"({"networks": [{"securityCodes": [16]}]})", "securityCodes"},
            {R"({"delays": {"scanMs": -1}})", "scanMs"},
            {R"({"current": {"rssi": -40}})", "current"},
            {R"({"saved": [1]})", "saved"},
            {R"({"poweredOn": "yes"})", "poweredOn"},
            {R"({"networks": [{"rssi": -1e10}]})", range.arg("rssi")},
            {R"({"networks": [{"channel": 3e9}]})", range.arg("channel")},
            {R"({"delays": {"joinMs": 3e9}})", range.arg("joinMs")},
            {R"({"location": {"status": 1e300}})", range.arg("status")},
            {R"({"networks": [{"ssidHex": "4G"}]})",
             "networks[0].\"ssidHex\" must be hexadecimal digits in pairs"},
            {R"({"current": {"ssidHex": "414"}})", "current.\"ssidHex\""},
        };
        for (const auto& [json, mentions] : rows) {
            QString problem;
            QVERIFY(!SimulationScenario::fromJson(json, &problem));
            QVERIFY2(problem.contains(mentions), qPrintable(problem));
        }
    }

    void defaults()
    {
        const SimulationScenario scenario = parse("{}");
        SimulatedBackend backend(scenario);
        QVERIFY(!backend.hasInterface());
        QVERIFY(!backend.isPoweredOn());
        QCOMPARE(scenario.locationStatus, 3);
        QCOMPARE(scenario.locationAnswer, 3);
        QVERIFY(scenario.locationServicesEnabled);
        QVERIFY(scenario.networks.isEmpty());
    }

    void accessPoints()
    {
        SimulatedBackend backend(parse(kRoom));
        const ScanResult result = backend.scan();
        QVERIFY(!result.error);
        QCOMPARE(result.accessPoints.size(), 6);
        QList<ScannedNetwork> records;
        for (const AccessPoint& ap : result.accessPoints)
            records.append(ScannedNetwork::fromAccessPoint(ap));
        QCOMPARE(records[0].band, Band::ghz2_4); // from the channel
        QCOMPARE(records[1].band, Band::ghz5);
        QCOMPARE(records[1].widthMHz, 80);
        QCOMPARE(records[1].security, Security::wpa3Personal);
        QCOMPARE(records[2].security, Security::open);
        // Bytes that are not UTF-8: kept exactly, in the bytes and in the name.
        QCOMPARE(result.accessPoints[4].ssidBytes, QByteArray("\xff"
                                                              "A"));
        QCOMPARE(records[4].ssid, std::optional<QString>(QString(QChar(0xdcff)) + "A"));
        QCOMPARE(records[4].band, Band::ghz6);
        QCOMPARE(records[4].security, Security::wpa2wpa3Personal);
        // Hidden, and without a channel.
        QCOMPARE(records[5].ssid, std::optional<QString>());
        QVERIFY(result.accessPoints[5].ssidBytes.isEmpty());
        QCOMPARE(records[5].channel, 0);
        QCOMPARE(records[5].band, Band::unknown);
        QCOMPARE(records[5].security, Security::owe);
    }

    void securityNames()
    {
        const char* names[] = {"open",         "owe",          "wep",
                               "wpaPersonal",  "wpa2Personal", "wpa2wpa3Personal",
                               "wpa3Personal", "enterprise",   "unknown"};
        for (int i = 0; i < 9; ++i) {
            const SimulationScenario scenario = parse(
                QStringLiteral(R"({"networks": [{"ssid": "n", "security": "%1"}]})").arg(names[i]).toUtf8());
            QCOMPARE(detectSecurity(scenario.networks[0].accessPoint.security),
                     i == 8 ? Security::unknown : *securityFromRawValue(i));
        }
    }

    void currentFromTheNetworkList()
    {
        SimulatedBackend backend(parse(kRoom));
        Association current = backend.currentAssociation();
        QCOMPARE(current.ssid, std::optional<QString>("Saved"));
        QCOMPARE(current.rssi, -45);
        QCOMPARE(current.txRate, 300.0);
        QCOMPARE(current.channel->number, 6);

        SimulatedBackend byName(parse(R"({"interface": "w", "current": {"ssid": "A", "rssi": -30},
        "networks": [{"ssid": "A", "bssid": "1", "rssi": -70, "channel": 1},
                     {"ssid": "A", "bssid": "2", "rssi": -50, "channel": 40}]})"));
        current = byName.currentAssociation();
        QCOMPARE(current.bssid, std::optional<QString>("2")); // the strongest of that name
        QCOMPARE(current.rssi, -30);
        QCOMPARE(current.channel->bandCode, 2);
    }

    void join()
    {
        using P = std::optional<QString>;
        // Network of kRoom, password, radio on, failure code (-1: joined).
        const QList<std::tuple<int, P, bool, qint64>> rows{
            {0, P(), true, -1}, {0, "saved-pass", true, -1}, {0, "nope", true, 7},
            {1, P(), true, 11}, {1, "new-pas", true, 11},    {1, "new-pass", true, -1},
            {2, P(), true, -1}, {3, "x", true, 53},          {2, P(), false, 53}, // radio off
        };
        for (const auto& [network, password, poweredOn, failureCode] : rows) {
            SimulatedBackend backend(parse(kRoom));
            QVERIFY(poweredOn || !backend.setPower(false));
            const AccessPoint target = backend.scan().accessPoints[network];
            const std::optional<SystemError> error = backend.join(target, password);
            QCOMPARE(error ? error->code() : -1, failureCode);
            QCOMPARE(backend.currentAssociation().bssid, !error      ? target.bssid
                                                         : poweredOn ? std::optional<QString>("s1")
                                                                     : std::nullopt);
            QVERIFY(backend.savedSsids().contains("Saved") &&
                    (error || backend.savedSsids().contains(target.ssidBytes)));
            QCOMPARE(backend.savedSsids().size(), !error && network ? 2 : 1);
        }
    }

    void leaveAndPower()
    {
        SimulatedBackend backend(parse(kRoom));
        backend.disconnect();
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>());
        QVERIFY(!backend.join(backend.scan().accessPoints[2], std::nullopt));
        QVERIFY(!backend.setPower(false));
        QVERIFY(!backend.isPoweredOn());
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>());
        QVERIFY(!backend.setPower(true));
        QVERIFY(backend.isPoweredOn());

        SimulatedBackend stuck(
            parse(R"({"interface": "w", "powerError": {"code": 5, "description": "rfkill"}})"));
        const std::optional<SystemError> error = stuck.setPower(false);
        QCOMPARE(error->code(), 5);
        QCOMPARE(error->description(), QStringLiteral("rfkill"));
        QCOMPARE(error->domain(), kSimulatedFailureDomain);
        QVERIFY(stuck.isPoweredOn());
    }

    void exactBytesReachTheJoin()
    {
        // Two names that differ in one byte that is not UTF-8: the join goes to
        // the access point that was listed, by its record id.
        SimulationScenario scenario = parse(R"({"interface": "w", "networks": [
        {"ssidHex": "ff41", "bssid": "one", "channel": 1},
        {"ssidHex": "fe41", "bssid": "two", "channel": 1}]})");
        auto backend = std::make_unique<SimulatedBackend>(scenario);
        SimulatedBackend* simulated = backend.get();
        WiFiEngine engine(std::move(backend));
        QList<ScannedNetwork> networks;
        engine.scan([&](QList<ScannedNetwork> found, std::optional<SystemError>) { networks = found; });
        QTRY_COMPARE(networks.size(), 2);
        QVERIFY(networks[0].ssid != networks[1].ssid);
        bool done = false;
        engine.connect(networks[1].id(), networks[1].ssid, std::nullopt,
                       [&](std::optional<SystemError> error) {
                           QVERIFY(!error);
                           done = true;
                       });
        QTRY_VERIFY(done);
        QCOMPARE(simulated->currentAssociation().bssid, std::optional<QString>("two"));
    }

    void shippedDemo()
    {
        // The scenario the README offers newcomers: valid, and as varied as it says.
        QString problem;
        const std::optional<SimulationScenario> demo = SimulationScenario::fromFile(
            qEnvironmentVariable("ONDREL_SOURCE_DIR") + QStringLiteral("/resources/scenarios/demo.json"),
            &problem);
        QVERIFY2(demo, qPrintable(problem));
        SimulatedBackend backend(*demo);
        QVERIFY(backend.hasInterface() && backend.isPoweredOn());
        QVERIFY(backend.currentAssociation().ssid);
        QSet<int> securities;
        QSet<int> bands;
        QSet<QString> strengths;
        QHash<QString, int> perName;
        int hidden = 0;
        for (const AccessPoint& ap : backend.scan().accessPoints) {
            const ScannedNetwork network = ScannedNetwork::fromAccessPoint(ap);
            securities.insert(rawValue(network.security));
            bands.insert(rawValue(network.band));
            strengths.insert(network.strengthLabel());
            if (network.ssid)
                ++perName[*network.ssid];
            else
                ++hidden;
        }
        QCOMPARE(securities.size(), 9);
        QCOMPARE(bands.size(), 4);
        QCOMPARE(strengths.size(), 5);
        QCOMPARE(hidden, 1);
        QVERIFY(std::find(perName.cbegin(), perName.cend(), 3) != perName.cend());
    }
};

QTEST_GUILESS_MAIN(tst_SimulatedBackend)
#include "tst_SimulatedBackend.moc"
