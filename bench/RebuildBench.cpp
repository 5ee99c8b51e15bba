// How long the network list takes to rebuild, and what the two-second status
// poll costs the main thread.
//
// Prints the median CPU time of repeated runs of NetworkListBuilder::build()
// (the pure list computation) and of WiFiStore::rebuild() (the same plus
// reading the preferences and comparing with the list shown), and of the
// preparation that follows each scan, over 50, 1,000, 10,000 and
// 100,000 scanned access points, with grouping on and off, without and with
// a search text. Exits 1 when 10,000 records take 5 ms or more.
//
// Growth: the time from 1,000 to 10,000 records is printed beside n log n.
// Time also grows with the memory touched (1,000 records stay in the
// processor's caches, 10,000 do not), so the work itself is best compared by
// instructions executed, which this machine's virtual processors do not
// count for perf; callgrind does:
//   valgrind --tool=callgrind --toggle-collect='ondrel::NetworkListBuilder::build*'
//            bench_rebuild --quick --records N
// and compare the totals for two values of N (each runs the same number of builds).
//
// Usage: bench_rebuild [--quick] [--records N]

#include "store/NetworkListBuilder.h"
#include "store/Prefs.h"
#include "localization/UserDefaults.h"
#include "store/WiFiStore.h"
#include "wifi/simulation/SimulatedBackend.h"
#include "wifi/simulation/SimulationScenario.h"
#include "wifi/WiFiEngine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace ondrel;

namespace {

// CPU time of the calling thread, in microseconds. The machine is shared
// with other work, so wall-clock time would measure the neighbours too.
double threadCpuMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

double medianMicroseconds(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    times.reserve(size_t(runs));
    work(); // warm caches and allocators
    for (int i = 0; i < runs; ++i) {
        const double start = threadCpuMicroseconds();
        work();
        times.push_back(threadCpuMicroseconds() - start);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

// A crowded radio environment: about three access points per name, a few
// hidden networks, names in several scripts (some with accents, so that
// lower-casing and composition have work to do), every band and security.
SimulationScenario crowdedScenario(int count)
{
    QRandomGenerator random(20261206u + quint32(count));
    const QStringList stems{QStringLiteral("Net"),    QStringLiteral("Café"), QStringLiteral("ネットワーク"),
                            QStringLiteral("Straße"), QStringLiteral("HOME"), QStringLiteral("Guest")};
    const SecurityCode kinds[] = {SecurityCode::none,          SecurityCode::owe,
                                  SecurityCode::wep,           SecurityCode::wpaPersonal,
                                  SecurityCode::wpa2Personal,  SecurityCode::wpa3Personal,
                                  SecurityCode::wpa2Enterprise};
    const int names = std::max(1, count / 3);

    SimulationScenario scenario;
    scenario.interfaceName = QStringLiteral("wlan0");
    scenario.networks.reserve(count);
    for (int i = 0; i < count; ++i) {
        SimulationScenario::Network network;
        AccessPoint& ap = network.accessPoint;
        if (random.bounded(20) != 0) {
            const int name = int(random.bounded(names));
            ap.ssid = QStringLiteral("%1-%2").arg(stems.at(name % stems.size())).arg(name);
            ap.ssidBytes = ap.ssid->toUtf8();
        }
        ap.bssid = QStringLiteral("02:%1:%2:%3:%4:%5")
                       .arg(i >> 24 & 0xff, 2, 16, QLatin1Char('0'))
                       .arg(i >> 16 & 0xff, 2, 16, QLatin1Char('0'))
                       .arg(i >> 8 & 0xff, 2, 16, QLatin1Char('0'))
                       .arg(i & 0xff, 2, 16, QLatin1Char('0'))
                       .arg(int(random.bounded(256)), 2, 16, QLatin1Char('0'));
        ap.rssi = -30 - int(random.bounded(66));
        const int band = int(random.bounded(3));
        ap.channel = ChannelInfo{band == 0 ? 1 + int(random.bounded(13)) : 36 + 4 * int(random.bounded(20)),
                                 band + 1, 1 + int(random.bounded(4))};
        ap.security = SecurityCodes{kinds[random.bounded(int(std::size(kinds)))]};
        ap.handle = QString::number(i);
        scenario.networks.append(network);
    }
    return scenario;
}

bool waitFor(QObject* sender, void (WiFiStore::*signal)(), int timeoutMs)
{
    QEventLoop loop;
    QObject::connect(static_cast<WiFiStore*>(sender), signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}

struct Figure {
    int count;
    bool grouping;
    bool search;
    double pureUs;
    double storeUs;
    double copyUs;
    qsizetype shown;
};

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--quick"));
    // "--records N" measures one size only (for profiling).
    QList<int> sizes{50, 1000, 10000, 100000};
    if (const qsizetype at = args.indexOf(QStringLiteral("--records")); at >= 0 && at + 1 < args.size())
        sizes = {args.at(at + 1).toInt()};

    UserDefaults defaults(home.filePath(QStringLiteral("bench.conf")));
    Prefs prefs(defaults);
    prefs.toggleFavorite(QStringLiteral("Net-6"));
    prefs.toggleFavorite(QStringLiteral("Café-1"));

    std::printf("records  grouping  search   shown   NetworkListBuilder::build  WiFiStore::rebuild  copying "
                "rows  (median CPU time)\n");
    std::vector<Figure> figures;
    for (int count : sizes) {
        const int runs = quick ? 5 : count <= 1000 ? 301 : count <= 10000 ? 101 : 15;
        SimulationScenario scenario = crowdedScenario(count);
        // The current network is one of the named access points.
        for (const SimulationScenario::Network& n : scenario.networks) {
            if (n.accessPoint.ssid) {
                scenario.current =
                    Association{n.accessPoint.ssid,   n.accessPoint.bssid, n.accessPoint.rssi, 0, 300.0,
                                n.accessPoint.channel};
                break;
            }
        }
        QList<ScannedNetwork> raw;
        raw.reserve(scenario.networks.size());
        for (const SimulationScenario::Network& n : scenario.networks)
            raw.append(ScannedNetwork::fromAccessPoint(n.accessPoint));

        const NetworkListBuilder prepared(raw);
        const double preparation = medianMicroseconds(quick            ? 3
                                                      : count <= 10000 ? 21
                                                                       : 5,
                                                      [&] { NetworkListBuilder once(raw); });
        std::printf("%7d  preparation after each scan: %.1f µs\n", count, preparation);

        WiFiEngine engine(std::make_unique<SimulatedBackend>(scenario));
        WiFiStore store(engine, prefs);
        store.scan();
        if (!waitFor(&store, &WiFiStore::scanFinished, 60000)) {
            std::fprintf(stderr, "the scan of %d records did not finish\n", count);
            return 2;
        }

        for (bool grouping : {true, false}) {
            for (bool search : {false, true}) {
                prefs.setGroupBySSID(grouping);
                const QString text = search ? QStringLiteral("  NET-1") : QString();
                store.setSearchText(text);
                QCoreApplication::processEvents();

                NetworkListInputs inputs;
                inputs.readPreferences(prefs);
                inputs.savedSsids = engine.savedSsids();
                inputs.currentSSID = store.status().ssid;
                inputs.currentBSSID = store.status().bssid;
                inputs.searchText = text;
                qsizetype shown = 0;
                const double pure = medianMicroseconds(runs, [&] { shown = prepared.build(inputs).size(); });
                const double whole = medianMicroseconds(runs, [&] { store.rebuild(); });
                // The floor under any list of values: copying the shown
                // records out once, in their shown order.
                const QList<ScannedNetwork> out = prepared.build(inputs);
                const double copy = medianMicroseconds(runs, [&] {
                    QList<ScannedNetwork> copied;
                    copied.reserve(out.size());
                    for (const ScannedNetwork& network : out)
                        copied.append(network);
                });
                figures.push_back({count, grouping, search, pure, whole, copy, shown});
                std::printf("%7d  %-8s  %-6s  %6lld  %22.1f µs  %15.1f µs  %12.1f µs\n", count,
                            grouping ? "on" : "off", search ? "yes" : "no", static_cast<long long>(shown),
                            pure, whole, copy);
            }
        }

        if (count == 10000) {
            // The poll reads the association from the backend's own state;
            // with nothing changed it rebuilds nothing.
            const double status = medianMicroseconds(quick ? 5 : 1001, [&] { (void)engine.currentStatus(); });
            const double poll = medianMicroseconds(quick ? 5 : 1001, [&] { store.pollStatus(); });
            std::printf("\nstatus poll with %d records listed: currentStatus() %.2f µs, whole poll %.2f µs "
                        "(unchanged status; a changed one adds one WiFiStore::rebuild above)\n\n",
                        count, status, poll);
        }
    }

    bool ok = true;
    for (const Figure& f : figures) {
        if (f.count == 10000 && f.storeUs >= 5000.0) {
            std::printf("FAIL: %d records, grouping %s, search %s: %.1f µs is not under 5 ms\n", f.count,
                        f.grouping ? "on" : "off", f.search ? "yes" : "no", f.storeUs);
            ok = false;
        }
    }
    // Growth from 1,000 to 10,000 records against n log n (ratio 13.33).
    const double nlogn = (10000.0 * std::log(10000.0)) / (1000.0 * std::log(1000.0));
    std::printf("time growth from 1,000 to 10,000 records (n log n: %.2f×; see above for instructions):\n",
                nlogn);
    for (const Figure& f : figures) {
        if (f.count != 10000)
            continue;
        for (const Figure& small : figures) {
            if (small.count == 1000 && small.grouping == f.grouping && small.search == f.search) {
                const double growth = f.storeUs / small.storeUs;
                const double copyGrowth = f.copyUs / small.copyUs;
                const double rest = (f.storeUs - f.copyUs) / (small.storeUs - small.copyUs);
                std::printf(
                    "  grouping %-3s search %-3s  %6.2f×   copying the rows alone %6.2f×, the rest %6.2f×\n",
                    f.grouping ? "on" : "off", f.search ? "yes" : "no", growth, copyGrowth, rest);
            }
        }
    }
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
