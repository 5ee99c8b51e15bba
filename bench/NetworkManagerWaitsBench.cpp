// How long the NetworkManager backend waits where NetworkManager is absent,
// hangs or a join is given up, against python-dbusmock's NetworkManager on a
// private bus. Prints each figure beside its goal; exits 1 when one is missed.
// These are wall-clock limits, kept out of the tests because a loaded machine
// misses them without any fault.
//
// Usage: bench_nm_waits [path of the ondrel binary, to time --probe as well]

#include "tests/wifi/networkmanager/MockNetworkManager.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cstdio>

using namespace ondrel;
using namespace std::chrono_literals;

namespace {

bool allMet = true;

void report(const char* what, qint64 ms, qint64 goalMs)
{
    std::printf("%-62s %6lld ms (goal < %lld ms)%s\n", what, qlonglong(ms), qlonglong(goalMs),
                ms < goalMs ? "" : "  MISSED");
    allMet = allMet && ms < goalMs;
}

template <typename F> qint64 timed(F&& f)
{
    QElapsedTimer clock;
    clock.start();
    f();
    return clock.elapsed();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    test::MockNetworkManager nm;
    if (!nm.busRunning() || !nm.start({{"ActivationStepMs", 20}, {"ScanMs", 50}})) {
        std::fprintf(stderr, "could not start the NetworkManager mock\n");
        return 2;
    }
    const QString device = nm.addWirelessDevice();
    nm.addAccessPoint(device, {.ssid = "Home", .rsn = 0x188});
    nm.addSavedWifi("Home", "wpa-psk", "secret12");
    nm.setNetworkBehaviour("Home", QString(), "stall");
    NetworkManagerBackend::Limits limits;
    limits.call = 700ms;
    {
        NetworkManagerBackend backend(limits);
        backend.hasInterface();
        nm.pause();
        report("200 reads while NetworkManager does not answer", timed([&] {
                   for (int i = 0; i < 200; ++i)
                       backend.hasInterface() && backend.savedSsids().size() &&
                           !backend.currentAssociation().ssid;
               }),
               500);
        report("a scan while NetworkManager hangs (call limit 700 ms)", timed([&] { backend.scan(); }), 2500);
        report("a new backend giving up while NetworkManager hangs", timed([&] {
                   NetworkManagerBackend late(limits);
                   late.hasInterface();
               }),
               2500);
        nm.resume();

        // A join waiting for an activation that never ends, cancelled.
        AccessPoint ap = backend.scan().accessPoints.value(0);
        std::unique_ptr<QThread> worker(
            QThread::create([&] { backend.join(ap, QStringLiteral("password1")); }));
        worker->start();
        while (nm.counter("activations") == 0)
            QThread::msleep(10);
        report("a waiting join after cancel()", timed([&] {
                   backend.cancel();
                   worker->wait();
               }),
               3000);
    }
    nm.stop();
    report("NetworkManager absent: create, read, scan, power, disconnect", timed([] {
               NetworkManagerBackend absent;
               absent.hasInterface();
               absent.savedSsids();
               absent.scan();
               absent.setPower(true);
               absent.disconnect();
           }),
           2000);

    if (argc > 1) {
        const auto probe = [&](const QString& bus) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus);
            env.remove(QStringLiteral("ONDREL_WIFI_SIMULATION"));
            process.setProcessEnvironment(env);
            return timed([&] {
                process.start(QString::fromLocal8Bit(argv[1]), {QStringLiteral("--probe")});
                process.waitForFinished(60000);
            });
        };
        report("--probe, NetworkManager absent", probe(nm.busAddress()), 2500);
        report("--probe, no system bus at all", probe(QStringLiteral("unix:path=/nonexistent/bus")), 2500);
        nm.start();
        nm.pause();
        report("--probe, NetworkManager hanging", probe(nm.busAddress()), 6000);
        nm.resume();
    }
    return allMet ? 0 : 1;
}
