// Scans through the NetworkManager backend against python-dbusmock's
// NetworkManager on a private bus: D-Bus round trips per scan (which must not
// grow with the number of access points), the whole scan's time, and the time
// to turn NetworkManager's answer into records. For comparison it also times
// the one-call-per-access-point way of reading the same properties.
//
// Usage: bench_nm_scan [access points, default 500] [scans, default 15]

#include "tests/wifi/networkmanager/MockNetworkManager.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/ScannedNetwork.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ondrel;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

QDBusMessage callManager(QDBusConnection bus, const QString& path, const QString& interface,
                         const QString& method, const QVariantList& args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.NetworkManager"),
                                                          path, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, 30000);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const int scans = argc > 2 ? std::max(1, atoi(argv[2])) : 15;

    test::MockNetworkManager nm;
    if (!nm.busRunning() || !nm.start({{QStringLiteral("ScanMs"), 0}})) {
        std::fprintf(stderr, "could not start the NetworkManager mock\n");
        return 2;
    }
    const QString device = nm.addWirelessDevice();
    // Varied names (every eleventh hidden), bands and securities.
    const uint rsns[] = {0, 0, 0, 0x188, 0x588, 0x488, 0x288, 0x800};
    const uint frequencies[] = {2412, 2437, 2462, 5180, 5500, 5745, 5955, 6115};
    for (int i = 0; i < count; ++i)
        nm.addAccessPoint(device,
                          {.ssid = i % 11 ? QStringLiteral("Network %1").arg(i / 3).toUtf8() : QByteArray(),
                           .bssid = QStringLiteral("02:00:%1:01").arg(i, 6, 16, QLatin1Char('0')),
                           .frequency = frequencies[i % 8],
                           .strength = uchar(i * 7 % 101),
                           .wpa = i % 8 == 2 ? 0x14cu : 0u,
                           .rsn = rsns[i % 8],
                           .bandwidth = 20u << (i % 4),
                           .flags = i % 8 == 1 || i % 8 == 2 || rsns[i % 8] ? 1u : 0u});

    NetworkManagerBackend backend;
    if (!backend.hasInterface()) {
        std::fprintf(stderr, "the backend sees no interface\n");
        return 2;
    }

    std::vector<double> scanMs;
    quint64 tripsPerScan = 0;
    bool constantTrips = true;
    qsizetype found = 0;
    for (int i = 0; i < scans; ++i) {
        const quint64 before = backend.roundTrips();
        QElapsedTimer clock;
        clock.start();
        const ScanResult result = backend.scan();
        scanMs.push_back(clock.nsecsElapsed() / 1e6);
        if (result.error) {
            std::fprintf(stderr, "scan failed: %s\n", qPrintable(result.error->description()));
            return 2;
        }
        found = result.accessPoints.size();
        const quint64 trips = backend.roundTrips() - before;
        if (i > 0 && trips != tripsPerScan)
            constantTrips = false;
        tripsPerScan = trips;
    }

    // NetworkManager's answer to records, without the bus: the same reply
    // decoded and converted repeatedly.
    const QDBusConnection bus = nm.connection();
    const QDBusMessage all = callManager(bus, QStringLiteral("/org/freedesktop"),
                                         QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                         QStringLiteral("GetManagedObjects"));
    std::vector<double> convertMs;
    qsizetype records = 0;
    for (int i = 0; i < scans; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QVariantMap objects = nm::plainValue(all.arguments().value(0)).toMap();
        const QVariantList paths =
            objects.value(device)
                .toMap()
                .value(QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless"))
                .toMap()
                .value(QStringLiteral("AccessPoints"))
                .toList();
        QList<ScannedNetwork> list;
        list.reserve(paths.size());
        for (const QVariant& path : paths) {
            const QVariantMap props = objects.value(path.toString())
                                          .toMap()
                                          .value(QStringLiteral("org.freedesktop.NetworkManager.AccessPoint"))
                                          .toMap();
            list << ScannedNetwork::fromAccessPoint(nm::accessPointFromProperties(path.toString(), props));
        }
        convertMs.push_back(clock.nsecsElapsed() / 1e6);
        records = list.size();
    }

    // The alternative this backend avoids: one GetAll per access point.
    const QVariantList paths =
        nm.property(device, QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless"),
                    QStringLiteral("AccessPoints"))
                .isValid()
            ? nm::plainValue(nm.property(device,
                                         QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless"),
                                         QStringLiteral("AccessPoints")))
                  .toList()
            : QVariantList();
    QElapsedTimer perAp;
    perAp.start();
    for (const QVariant& path : paths)
        callManager(bus, path.toString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("GetAll"), {QStringLiteral("org.freedesktop.NetworkManager.AccessPoint")});
    const double perApMs = perAp.nsecsElapsed() / 1e6;

    std::printf("access points: %d (scan found %lld, records %lld)\n", count, qlonglong(found),
                qlonglong(records));
    std::printf("D-Bus round trips per scan: %llu (%s)\n", static_cast<unsigned long long>(tripsPerScan),
                constantTrips ? "the same for every scan" : "VARIED");
    std::printf("scan through the backend: median %.1f ms over %d scans\n", median(scanMs), scans);
    std::printf("answer to records (decode + convert): median %.2f ms, %.2f us per access point\n",
                median(convertMs), 1000.0 * median(convertMs) / std::max<qsizetype>(1, records));
    std::printf("for comparison, one GetAll per access point: %lld round trips, %.1f ms\n",
                qlonglong(paths.size()), perApMs);

    const bool ok = found == count && records == count && constantTrips && tripsPerScan <= 2;
    return ok ? 0 : 1;
}
