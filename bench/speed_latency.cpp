// The latency under load, against the loopback server standing for a link
// with a bloated queue, with the program's own phase lengths:
//  1. accuracy: at 20 and 100 Mbps with queues of 100 and 250 ms, each
//     phase's loaded latency within 10 % of the queue's wait (plus the idle
//     round trip), and the idle latency that of loopback (under 5 ms);
//  2. cost: at 1000 Mbps without a queue, the throughput with the latency
//     requests against the same without them, runs taken in turns; goal:
//     at most 1 % lower.
//   bench_speed_latency [--runs N]   (N turns for the cost, 3 by default)

#include "PacedSpeedServer.h"

#include "speed/SpeedTest.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <vector>

using namespace ondrel;
using namespace std::chrono_literals;

namespace {

SpeedResult measure(const QByteArray& url, bool probes)
{
    SpeedTest::Options options;
    options.baseUrl = url;
    if (!probes)
        options.probeInterval = 0ms;
    SpeedTest test(options);
    QEventLoop loop;
    QObject::connect(&test, &SpeedTest::phaseChanged, &loop, [&] {
        if (!test.phase().isRunning())
            loop.quit();
    });
    test.start();
    loop.exec();
    return test.result();
}

double mean(const std::vector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v / double(values.size());
    return sum;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "--runs")
            runs = args[i + 1].toInt();

    bench::PacedSpeedServer server;
    std::printf("pacing server at real-time priority: %s\n", server.raisePriority() ? "yes" : "no");
    bool pass = true;

    struct Link {
        double mbps;
        double queueMs;
    };
    for (const Link link : {Link{20, 250}, Link{100, 100}}) {
        server.setRate(link.mbps);
        server.setQueue(qint64(link.mbps * 1e6 / 8 * link.queueMs / 1000));
        const SpeedResult r = measure(server.url(), true);
        const auto near = [&](const std::optional<LoadedLatency>& loaded) {
            return loaded && std::abs(double(loaded->latencyMs) - double(r.latencyMs) - link.queueMs) <=
                                 link.queueMs * 0.1;
        };
        const bool ok = near(r.downloadLatency) && near(r.uploadLatency) && r.latencyMs < 5;
        pass = pass && ok;
        std::printf("pace %5.0f Mbps, queue %3.0f ms: idle %lld ms, while downloading %s ms (±%s), "
                    "while uploading %s ms (±%s); down %.1f up %.1f Mbps  %s\n",
                    link.mbps, link.queueMs, qlonglong(r.latencyMs),
                    r.downloadLatency ? qPrintable(QString::number(r.downloadLatency->latencyMs)) : "none",
                    r.downloadLatency ? qPrintable(QString::number(r.downloadLatency->jitterMs)) : "-",
                    r.uploadLatency ? qPrintable(QString::number(r.uploadLatency->latencyMs)) : "none",
                    r.uploadLatency ? qPrintable(QString::number(r.uploadLatency->jitterMs)) : "-",
                    r.downloadMbps, r.uploadMbps, ok ? "ok" : "MISSED");
        std::fflush(stdout);
    }

    server.setRate(1000);
    server.setQueue(0);
    std::vector<double> with[2], without[2]; // download, upload
    for (int run = 0; run < runs; ++run) {
        for (bool probes : {true, false}) {
            const SpeedResult r = measure(server.url(), probes);
            (probes ? with : without)[0].push_back(r.downloadMbps);
            (probes ? with : without)[1].push_back(r.uploadMbps);
            std::printf("pace 1000 Mbps, run %d %s latency requests: download %8.3f upload %8.3f\n", run + 1,
                        probes ? "with   " : "without", r.downloadMbps, r.uploadMbps);
            std::fflush(stdout);
        }
    }
    for (int direction = 0; direction < 2; ++direction) {
        const double cost =
            (mean(without[direction]) - mean(with[direction])) / mean(without[direction]) * 100;
        const bool ok = cost <= 1;
        pass = pass && ok;
        std::printf("%s: %.3f Mbps with the latency requests, %.3f without: %.2f %% lower  %s\n",
                    direction ? "upload" : "download", mean(with[direction]), mean(without[direction]), cost,
                    ok ? "ok" : "MISSED");
    }
    return pass ? 0 : 1;
}
