// The simulation's scenario files: what each member becomes, the defaults a member left out takes, and the
// exact complaint about a member that is wrong (the first one found), so that a mistyped scenario is never
// taken for a room without Wi-Fi.

#include "wifi/LocationProvider.h"
#include "wifi/simulation/SimulationScenario.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

using namespace ondrel;

class tst_SimulationScenario : public QObject {
    Q_OBJECT

    static QString problemOf(const QByteArray& json)
    {
        QString problem;
        const bool read = SimulationScenario::fromJson(json, &problem).has_value();
        return read ? QStringLiteral("(read)") : problem;
    }

private Q_SLOTS:
    void membersAndDefaults()
    {
        const auto scenario = SimulationScenario::fromJson(R"({"interface": "wlan7", "poweredOn": false,
            "saved": ["A"],
            "networks": [
              {"ssid": "A", "bssid": "aa:00:00:00:00:01", "rssi": -70, "channel": 14},
              {"ssid": "A", "bssid": "aa:00:00:00:00:02", "rssi": -50, "noise": -91, "channel": 149,
               "width": 80, "security": "wpa2wpa3Personal", "password": "pw", "stationCount": 4},
              {"ssidHex": "ff41", "channel": 37, "band": 60, "securityCodes": [8, 2], "txRate": 12.5,
               "utilization": 100, "joinError": {"code": 9, "description": "no"}},
              {"hiddenSsidHex": "4400", "security": "enterprise"}],
            "current": {"ssid": "A", "noise": -88},
            "delays": {"scanMs": 30, "joinMs": 40, "disconnectMs": 50, "powerMs": 60},
            "location": {"status": 1, "answer": 2, "answerDelayMs": 70, "servicesEnabled": false}})");
        QVERIFY(scenario);
        const auto& n = scenario->networks;
        QCOMPARE(std::tuple(*scenario->interfaceName, scenario->poweredOn, scenario->savedNetworks, n.size()),
                 std::tuple(QStringLiteral("wlan7"), false, QList<QByteArray>{"A"}, qsizetype(4)));
        // Channel 14 is still 2.4 GHz and 149 is 5 GHz without a band; a 2.4 GHz link defaults to 144.4
        // Mbit/s and any other to 866.7.
        const auto channel = [&](int i) {
            const ChannelInfo c = n[i].accessPoint.channel.value_or(ChannelInfo{-1, -1, -1, -1});
            return std::tuple(c.number, c.bandCode, c.widthCode, n[i].txRate);
        };
        QCOMPARE(channel(0), std::tuple(14, 1, 0, 144.4));
        QCOMPARE(channel(1), std::tuple(149, 2, 3, 866.7));
        QCOMPARE(channel(2), std::tuple(37, 3, 0, 12.5));
        QCOMPARE(channel(3), std::tuple(-1, -1, -1, 866.7));
        const AccessPoint& strong = n[1].accessPoint;
        QCOMPARE(std::tuple(strong.rssi, strong.noise, *strong.stationCount, strong.utilization.has_value()),
                 std::tuple(-50, -91, 4, false));
        QCOMPARE(strong.security, (SecurityCodes{SecurityCode::wpa2Personal, SecurityCode::wpa3Personal}));
        QCOMPARE(n[0].accessPoint.security, SecurityCodes{SecurityCode::none});
        QCOMPARE(n[2].accessPoint.security, (SecurityCodes{SecurityCode(8), SecurityCode(2)}));
        QCOMPARE(n[3].accessPoint.security, SecurityCodes{SecurityCode::wpa2Enterprise});
        QCOMPARE(std::tuple(n[2].accessPoint.ssidBytes, *n[2].accessPoint.utilization, n[3].hiddenSsid,
                            n[3].accessPoint.ssid.has_value(), n[0].accessPoint.rssi),
                 std::tuple(QByteArray("\xff"
                                       "A"),
                            100, QByteArray("D\0", 2), false, -70));
        // Figures the file gives are the simulation's; the rest are none.
        QCOMPARE(std::tuple(strong.sources.noise, strong.sources.width, strong.sources.load,
                            strong.sources.country, n[0].accessPoint.sources.noise),
                 std::tuple(FigureSource::simulation, FigureSource::simulation, FigureSource::simulation,
                            FigureSource::none, FigureSource::none));
        // A wrong password fails as NetworkManager's "no secrets" unless the file says otherwise; a join
        // error is kept as written.
        QCOMPARE(
            std::tuple(n[1].password.value_or("-"), n[0].password.has_value(), n[1].wrongPasswordError.code(),
                       n[1].wrongPasswordError.domain(), n[2].joinError->code(), n[2].joinError->domain()),
            std::tuple(QStringLiteral("pw"), false, 7, kSimulatedFailureDomain, 9, kSimulatedFailureDomain));
        // The current network by name is its strongest access point, with the file's own figures over it.
        const Association& current = *scenario->current;
        QCOMPARE(
            std::tuple(*current.bssid, current.rssi, current.noise, current.channel->number, current.txRate,
                       current.noiseSource),
            std::tuple(QStringLiteral("aa:00:00:00:00:02"), -50, -88, 149, 866.7, FigureSource::simulation));
        using ms = std::chrono::milliseconds;
        QCOMPARE(std::tuple(scenario->scanDelay, scenario->joinDelay, scenario->disconnectDelay,
                            scenario->powerDelay, scenario->locationAnswerDelay),
                 std::tuple(ms(30), ms(40), ms(50), ms(60), ms(70)));
        QCOMPARE(
            std::tuple(scenario->locationStatus, scenario->locationAnswer, scenario->locationServicesEnabled),
            std::tuple(1, 2, false));

        // By hardware address the current one is that access point, weaker or not.
        const auto byAddress = SimulationScenario::fromJson(R"({"networks": [
              {"ssid": "B", "bssid": "b1", "rssi": -40}, {"ssid": "B", "bssid": "b2", "rssi": -80, "noise": -95}],
            "current": {"bssid": "b2"}})");
        QCOMPARE(std::tuple(*byAddress->current->ssid, byAddress->current->rssi, byAddress->current->noise,
                            byAddress->interfaceName.has_value(), byAddress->poweredOn,
                            byAddress->locationStatus),
                 std::tuple(QStringLiteral("B"), -80, -95, false, true, 3));
    }

    void wrongMembersAreNamed()
    {
        const std::pair<QByteArray, QString> rows[] = {
            {R"({"interface": 7})", R"("interface" must be a text)"},
            {R"({"poweredOn": "yes"})", R"("poweredOn" must be true or false)"},
            {R"({"saved": ["A", 2]})", R"("saved" must be a list of texts)"},
            {R"({"saved": "A"})", R"("saved" must be a list)"},
            {R"({"networks": [3]})", "networks[0] must be an object"},
            {R"({"networks": [{}, {"rssi": -60.5}]})", R"(networks[1]."rssi" must be a whole number)"},
            {R"({"networks": [{"rssi": 3e9}]})",
             R"(networks[0]."rssi" must be a whole number from -2147483648 to 2147483647)"},
            {R"({"networks": [{"txRate": "fast"}]})", R"(networks[0]."txRate" must be a number)"},
            {R"({"networks": [{"channel": 1, "band": 5}]})", R"(networks[0]."band" must be 24, 50, 60 or 0)"},
            {R"({"networks": [{"ssidHex": "4"}]})",
             R"(networks[0]."ssidHex" must be hexadecimal digits in pairs)"},
            {R"({"networks": [{"ssid": "A", "hiddenSsid": "B"}]})",
             R"(networks[0]."hiddenSsid" is for a network without "ssid")"},
            {R"({"networks": [{"stationCount": -1}]})",
             R"(networks[0]."stationCount" must be a whole number of 0 or more)"},
            {R"({"networks": [{"utilization": 101}]})",
             R"(networks[0]."utilization" must be a percentage from 0 to 100)"},
            {R"({"networks": [{"utilization": 0}]})", "(read)"},
            {R"({"networks": [{"securityCodes": [15, 16]}]})",
             R"(networks[0]."securityCodes" must be a list of codes from 0 to 15)"},
            {R"({"networks": [{"security": "WPA2"}]})",
             R"(networks[0]."security" must be open, owe, wep, wpaPersonal, wpa2Personal, wpa2wpa3Personal, )"
             "wpa3Personal, enterprise or unknown"},
            {R"({"networks": [{"joinError": {"code": "x"}}]})",
             R"(networks[0].joinError."code" must be a number)"},
            {R"({"current": {"rssi": -50}})", R"("current" must name a network by "ssid" or "bssid")"},
            {R"({"current": []})", R"("current" must be an object)"},
            {R"({"delays": {"joinMs": -1}})", R"(delays."joinMs" must be a duration of 0 or more)"},
            {R"({"location": {"servicesEnabled": 1}})",
             R"(location."servicesEnabled" must be true or false)"},
            {R"({"interface": 1, "poweredOn": 2})", R"("interface" must be a text)"}, // the first one found
            {"[]", "the scenario must be a JSON object"},
            {"{\"a\": }", "not valid JSON (object is missing after a comma at offset 7)"},
        };
        for (const auto& [json, problem] : rows)
            QCOMPARE(problemOf(json), problem);
    }

    // The program's location permission, made from the file the environment names: it starts as the
    // file's status and becomes its answer once asked.
    void locationFromTheEnvironment()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(R"({"location": {"status": 0, "answer": 2, "servicesEnabled": false}})");
        file.close();
        qputenv("ONDREL_WIFI_SIMULATION", file.fileName().toUtf8());
        const std::unique_ptr<LocationProvider> provider = LocationProvider::create();
        QCOMPARE(std::tuple(provider->authorizationStatus(), provider->servicesEnabled()),
                 std::tuple(0, false));
        QSignalSpy changed(provider.get(), &LocationProvider::authorizationChanged);
        provider->requestWhenInUse();
        QVERIFY(changed.wait(1000));
        QCOMPARE(provider->authorizationStatus(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_SimulationScenario)
#include "tst_SimulationScenario.moc"
