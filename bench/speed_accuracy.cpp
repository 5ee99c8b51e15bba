// How closely the speed test measures a known rate: the loopback server paces
// all its connections together with one token bucket; the engine runs with
// the program's own phase lengths. Goal: every figure within 1 % of the pace,
// and the runs of one rate within 1 % of each other.

#include "PacedSpeedServer.h"

#include "speed/SpeedTest.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ondrel;

namespace {

SpeedResult measure(const QByteArray& url)
{
    SpeedTest::Options options;
    options.baseUrl = url;
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

struct Spread {
    double mean = 0, worstError = 0, spread = 0;
};

Spread summarize(const std::vector<double>& values, double pace)
{
    Spread s;
    for (double v : values) {
        s.mean += v / double(values.size());
        s.worstError = std::max(s.worstError, std::abs(v - pace) / pace * 100);
    }
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    s.spread = (*high - *low) / s.mean * 100;
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 10;
    std::vector<double> rates = {20, 100, 500};
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--runs")
            runs = args[i + 1].toInt();
        if (args[i] == "--rates") {
            rates.clear();
            for (const QString& rate : args[i + 1].split(','))
                rates.push_back(rate.toDouble());
        }
    }

    bench::PacedSpeedServer server;
    // The reference must hold its pace while other work shares the CPU; the
    // engine itself runs at normal priority.
    std::printf("pacing server at real-time priority: %s\n", server.raisePriority() ? "yes" : "no");
    bool pass = true;
    for (double rate : rates) {
        server.setRate(rate);
        std::vector<double> downloads, uploads;
        for (int run = 0; run < runs; ++run) {
            const SpeedResult result = measure(server.url());
            downloads.push_back(result.downloadMbps);
            uploads.push_back(result.uploadMbps);
            std::printf("pace %6.1f Mbps  run %2d  download %8.3f  upload %8.3f\n", rate, run + 1,
                        result.downloadMbps, result.uploadMbps);
            std::fflush(stdout);
        }
        const Spread down = summarize(downloads, rate);
        const Spread up = summarize(uploads, rate);
        const bool ok = down.worstError <= 1 && up.worstError <= 1 && down.spread <= 1 && up.spread <= 1;
        pass = pass && ok;
        std::printf("pace %6.1f Mbps  download mean %8.3f worst error %.2f %% spread %.2f %%  |  "
                    "upload mean %8.3f worst error %.2f %% spread %.2f %%  %s\n",
                    rate, down.mean, down.worstError, down.spread, up.mean, up.worstError, up.spread,
                    ok ? "ok" : "MISSED");
        std::fflush(stdout);
    }
    return pass ? 0 : 1;
}
