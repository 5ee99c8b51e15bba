// Start-up of the windowed program: the time from starting the process to
// the end of the main window's first paint, and the process's peak memory
// (resident set) at that moment. Each run is a fresh process that goes
// through the program's own entry on the demo scenario and the off-screen
// platform, with settings and data folders of its own. Prints every run,
// the median and the worst; exits 1 when the median misses a goal.
//   bench_startup [--runs N]

#include "app/Entry.h"
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr double kStartGoalSeconds = 0.8;
constexpr long kPeakGoalKiB = 48 * 1024;

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// In the measured process: waits for the main window's first paint event,
// lets that paint finish, prints the time and the peak memory, and ends the
// process at once.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || seen_ || !watched->isWidgetType())
            return false;
        if (!qobject_cast<ondrel::MainWindow*>(static_cast<QWidget*>(watched)->window()))
            return false;
        seen_ = true;
        QTimer::singleShot(0, [] {
            const qint64 at = monotonicNs();
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("%lld %ld\n", static_cast<long long>(at), usage.ru_maxrss);
            std::fflush(stdout);
            std::_Exit(0);
        });
        return false;
    }

private:
    bool seen_ = false;
};

bool measuring = false;

void watchFirstPaint()
{
    if (measuring)
        QCoreApplication::instance()->installEventFilter(new FirstPaint);
}
Q_COREAPP_STARTUP_FUNCTION(watchFirstPaint)

struct Run {
    double seconds;
    long peakKiB;
};

bool runOnce(const QString& self, Run* run)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("ONDREL_WIFI_SIMULATION"),
               QStringLiteral(ONDREL_SOURCE_DIR "/resources/scenarios/demo.json"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 started = monotonicNs();
    process.start(self, {QStringLiteral("--measure-once")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return false;
    long long paintedAt = 0;
    long peak = 0;
    if (std::sscanf(process.readAllStandardOutput().constData(), "%lld %ld", &paintedAt, &peak) != 2)
        return false;
    *run = {double(paintedAt - started) / 1e9, peak};
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--measure-once") == 0) {
        measuring = true;
        char* args[] = {argv[0], nullptr};
        return ondrel::runEntry(1, args);
    }

    QCoreApplication app(argc, argv);
    int runs = 9;
    const QStringList args = QCoreApplication::arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--runs")); at >= 0 && at + 1 < args.size())
        runs = std::max(1, args.at(at + 1).toInt());

    QList<Run> results;
    for (int i = 0; i < runs; ++i) {
        Run run{};
        if (!runOnce(QCoreApplication::applicationFilePath(), &run)) {
            std::fprintf(stderr, "run %d: the main window was not painted\n", i + 1);
            return 1;
        }
        std::printf("run %d: first paint after %.3f s, peak memory %.1f MB\n", i + 1, run.seconds,
                    run.peakKiB / 1024.0);
        results.append(run);
    }
    auto median = [&results](auto field) {
        QList<double> values;
        for (const Run& r : std::as_const(results))
            values.append(field(r));
        std::sort(values.begin(), values.end());
        return std::pair(values.at(values.size() / 2), values.last());
    };
    const auto [seconds, worstSeconds] = median([](const Run& r) { return r.seconds; });
    const auto [peak, worstPeak] = median([](const Run& r) { return double(r.peakKiB); });
    std::printf("start-up to the first painted main window: median %.3f s, worst %.3f s (goal %.1f s)\n",
                seconds, worstSeconds, kStartGoalSeconds);
    std::printf("peak memory then: median %.1f MB, worst %.1f MB (goal %.0f MB)\n", peak / 1024,
                worstPeak / 1024, kPeakGoalKiB / 1024.0);
    return seconds <= kStartGoalSeconds && peak <= kPeakGoalKiB ? 0 : 1;
}
