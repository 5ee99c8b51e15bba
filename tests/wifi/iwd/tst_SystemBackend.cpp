// The system backend's choice on one bus with both daemons' stand-ins: NetworkManager while it manages a
// Wi-Fi device, else iwd while it runs, else none; followed as daemons come and go.

#include "tests/wifi/iwd/MockIwd.h"
#include "tests/wifi/networkmanager/MockNetworkManager.h"
#include "wifi/SystemBackend.h"
#include "wifi/iwd/IwdBackend.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"

#include <QtTest>

using namespace ondrel;
using namespace std::chrono_literals;

class tst_SystemBackend : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choice()
    {
        test::MockNetworkManager nm;
        QVERIFY(nm.start({{"ActivationStepMs", 5}, {"ScanMs", 10}}));
        test::MockIwd iwd(nm.busAddress());
        QVERIFY(iwd.start({{"ScanMs", 30}, {"StepMs", 10}}));
        const QString device = nm.addWirelessDevice();
        nm.addAccessPoint(device, {.ssid = "Shared"});
        nm.addAccessPoint(device, {.ssid = "Shared", .bssid = "02:00:00:00:00:02", .frequency = 5180});
        iwd.addDevice();
        iwd.addNetwork("Shared", "open", -4000);
        iwd.addNetwork("Only iwd", "open", -5000);

        SystemBackend backend(
            std::make_unique<NetworkManagerBackend>(
                NetworkManagerBackend::Limits{1500ms, 150ms, 5s, 1500ms, 100ms, 100ms}),
            std::make_unique<IwdBackend>(IwdBackend::Limits{.call = 1500ms, .scan = 1500ms}));
        QCOMPARE(backend.daemonName(), QStringLiteral("networkManager"));
        const QList<AccessPoint> fromNm = backend.scan().accessPoints;
        QCOMPARE(fromNm.size(), 2);
        QVERIFY(fromNm[1].handle.startsWith("networkManager:/org/freedesktop/NetworkManager/AccessPoint/"));
        // The access point chosen is the one joined, not the first of its name.
        const auto second =
            std::ranges::find(fromNm, std::optional<QString>("02:00:00:00:00:02"), &AccessPoint::bssid);
        QVERIFY(second != fromNm.end());
        QVERIFY(!backend.join(*second, std::nullopt));
        QCOMPARE(backend.currentAssociation().bssid, second->bssid);
        // Wi-Fi turned off in NetworkManager: it stays in charge of the device, and turns Wi-Fi on again.
        QVERIFY(!backend.setPower(false));
        QTRY_VERIFY(!backend.isPoweredOn());
        QCOMPARE(std::tuple(backend.daemonName(), backend.interfaceName()),
                 std::tuple(QStringLiteral("networkManager"), std::optional<QString>("wlan0")));
        QVERIFY(!backend.setPower(true));
        QTRY_VERIFY(backend.isPoweredOn());

        // NetworkManager loses its device: iwd, alone, is in charge.
        nm.mock("RemoveDevice", {device});
        QTRY_COMPARE(backend.daemonName(), QStringLiteral("iwd"));
        QCOMPARE(backend.interfaceName(), std::optional<QString>("wlan0"));
        const QList<AccessPoint> fromIwd = backend.scan().accessPoints;
        QCOMPARE(fromIwd.size(), 2);
        QVERIFY(std::ranges::all_of(fromIwd, [](const AccessPoint& ap) {
            return ap.handle.startsWith("iwd:/net/connman/iwd/0/17/");
        }));
        // A network listed by NetworkManager is joined through iwd by its name.
        QVERIFY(!backend.join(fromNm[0], std::nullopt));
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>("Shared"));
        QVERIFY(iwd.files().contains("Shared.open"));

        iwd.stop();
        QTRY_VERIFY(backend.daemonName().isEmpty());
        QVERIFY(!backend.hasInterface() && !backend.isPoweredOn() && backend.savedSsids().isEmpty());
        QVERIFY(backend.scan().error == SystemError(WiFiError::noInterface));
        QVERIFY(backend.setPower(true) == SystemError(WiFiError::noInterface));

        nm.addWirelessDevice("wlan1");
        QTRY_COMPARE(backend.daemonName(), QStringLiteral("networkManager"));
        QCOMPARE(backend.interfaceName(), std::optional<QString>("wlan1"));
    }
};

QTEST_GUILESS_MAIN(tst_SystemBackend)
#include "tst_SystemBackend.moc"
