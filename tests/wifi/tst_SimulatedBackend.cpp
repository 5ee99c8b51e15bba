// The simulated radios: what a scenario file may say, and joins, power and
// leaving as the scenario scripts them. (The probe's tests read whole rooms
// through them: names, securities, bands, the current network.)

#include "wifi/SimulatedBackend.h"

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
     "joinError": {"code": 53, "description": "gone"}}
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
            {R"({"networks": [3]})", "networks[0]"},
            {R"({"networks": [{"channel": 1.5}]})", "channel"},
            {R"({"networks": [{"channel": 1, "band": 33}]})", "band"},
            {R"({"networks": [{"security": "wpa9"}]})", "security"},
            {R"({"networks": [{"securityCodes": [16]}]})", "securityCodes"},
            {R"({"delays": {"scanMs": -1}})", "scanMs"},
            {R"({"current": {"rssi": -40}})", "current"},
            {R"({"saved": [1]})", "saved"},
            {R"({"poweredOn": "yes"})", "poweredOn"},
            {R"({"networks": [{"rssi": -1e10}]})", range.arg("rssi")},
            {R"({"networks": [{"ssidHex": "4G"}]})",
             "networks[0].\"ssidHex\" must be hexadecimal digits in pairs"},
        };
        for (const auto& [json, mentions] : rows) {
            QString problem;
            QVERIFY(!SimulationScenario::fromJson(json, &problem));
            QVERIFY2(problem.contains(mentions), qPrintable(problem));
        }
        const SimulationScenario empty = parse("{}");
        QVERIFY(!SimulatedBackend(empty).hasInterface() && !SimulatedBackend(empty).isPoweredOn());
        QVERIFY(empty.locationStatus == 3 && empty.locationAnswer == 3 && empty.locationServicesEnabled);
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
        QCOMPARE(backend.currentAssociation().txRate, 300.0);
        backend.disconnect();
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>());
        QVERIFY(!backend.setPower(false) && !backend.isPoweredOn());
        QVERIFY(!backend.setPower(true) && backend.isPoweredOn());

        SimulatedBackend stuck(
            parse(R"({"interface": "w", "powerError": {"code": 5, "description": "rfkill"}})"));
        const std::optional<SystemError> error = stuck.setPower(false);
        QCOMPARE(*error, SystemError(kSimulatedFailureDomain, 5, QStringLiteral("rfkill")));
        QVERIFY(stuck.isPoweredOn());
    }
};

QTEST_GUILESS_MAIN(tst_SimulatedBackend)
#include "tst_SimulatedBackend.moc"
