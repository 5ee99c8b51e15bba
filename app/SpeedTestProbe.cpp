// "--speedtest": one speed test from the command line. Phase lines go to
// standard error, the connection line and the summary to standard output;
// with "--json" one JSON report replaces the standard output lines.

#include "app/Modes.h"

#include "app/JsonOutput.h"
#include "app/TerminalText.h"
#include "speed/SpeedFormat.h"
#include "speed/SpeedHistory.h"
#include "speed/SpeedTest.h"
#include "wifi/WiFiEngine.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace ondrel {

namespace {

using namespace std::chrono_literals;

// ONDREL_SPEEDTEST_TIME_LIMIT (whole seconds) replaces the limit, for slow
// links and for tests.
constexpr auto kTimeLimit = 90s;
constexpr auto kSlice = 250ms;

// `text` as a double-quoted literal, with the escapes of visibleText and a
// backslash before a double quote.
QString quoted(const QString& text)
{
    return QLatin1Char('"') + visibleText(text).replace(QLatin1Char('"'), QStringLiteral("\\\"")) +
           QLatin1Char('"');
}

QString describe(const SpeedTest::Phase& phase)
{
    switch (phase.kind()) {
    case SpeedTest::Phase::idle:
        return QStringLiteral("idle");
    case SpeedTest::Phase::latency:
        return QStringLiteral("latency");
    case SpeedTest::Phase::download:
        return QStringLiteral("download");
    case SpeedTest::Phase::upload:
        return QStringLiteral("upload");
    case SpeedTest::Phase::done:
        return QStringLiteral("done");
    case SpeedTest::Phase::failed:
        break;
    }
    return QStringLiteral("failed(") + quoted(phase.message()) + QLatin1Char(')');
}

} // namespace

SpeedTest::Options speedTestOptions()
{
    SpeedTest::Options options;
    const std::optional<double> scale = speedTestScale(qgetenv("ONDREL_SPEEDTEST_DURATION"));
    if (!scale)
        return options;
    // Every length of a phase shrinks alike, so that the warm-up keeps its
    // share and the window measured after it keeps its number of samples.
    for (std::chrono::milliseconds* length : {&options.download, &options.upload, &options.warmUp, &options.tick,
                                              &options.minimumWindow, &options.probeInterval})
        *length = std::max(1ms, std::chrono::round<std::chrono::milliseconds>(*length * *scale));
    return options;
}

std::optional<double> speedTestScale(const QByteArray& seconds)
{
    // The two throughput phases with their warm-ups, 17 seconds by default.
    const SpeedTest::Options defaults;
    const double full =
        std::chrono::duration<double>(defaults.download + defaults.upload + 2 * defaults.warmUp).count();
    bool ok = false;
    const int wanted = seconds.toInt(&ok);
    if (!ok || wanted < 1 || wanted > full)
        return std::nullopt;
    return wanted / full;
}

int runSpeedTestProbe(bool json)
{
    SpeedTest test(speedTestOptions());
    // The network at the start is the one the stored result belongs to.
    const WiFiEngine::Status status = WiFiEngine::shared().currentStatus();
    const bool onNetwork = status.ssid && !status.ssid->isEmpty();
    if (!json) {
        std::printf("接続中: %s\n", onNetwork ? qUtf8Printable(visibleName(*status.ssid)) : "なし");
        std::fflush(stdout);
    }

    test.start();
    const int configured = qEnvironmentVariableIntValue("ONDREL_SPEEDTEST_TIME_LIMIT");
    const int limitSeconds = configured > 0 ? configured : int(kTimeLimit.count());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    QString last;
    // Reports the phase when it differs from the last one reported; true
    // once the test has ended.
    const auto report = [&] {
        const QString text = describe(test.phase());
        if (text != last) {
            std::fprintf(stderr, "段階: %s\n", qUtf8Printable(text));
            last = text;
        }
        const SpeedTest::Phase::Kind kind = test.phase().kind();
        return kind == SpeedTest::Phase::done || kind == SpeedTest::Phase::failed;
    };
    bool ended = report();
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        // Run the event loop for a slice, or until the phase moves on, so
        // that no phase goes unreported.
        QEventLoop loop;
        QTimer::singleShot(kSlice, &loop, &QEventLoop::quit);
        QObject::connect(&test, &SpeedTest::phaseChanged, &loop, &QEventLoop::quit);
        loop.exec();
        ended = report();
    }

    if (!ended) {
        // A test cut short has measured only part of what it reports:
        // it is a failure, and nothing is stored.
        const QString message = QStringLiteral("%1 秒以内に測定が終わらなかったので中止しました (段階: %2)")
                                    .arg(limitSeconds)
                                    .arg(last);
        std::fprintf(stderr, "段階: failed(%s)\n", qUtf8Printable(quoted(message)));
        if (json)
            writeJson(speedTestJson(status, test, std::nullopt, false)); // outcome "timedOut"
        else
            std::printf("失敗: %s\n", qUtf8Printable(message));
        test.stop();
        return 1;
    }
    if (test.phase().kind() == SpeedTest::Phase::failed && json) {
        writeJson(speedTestJson(status, test, std::nullopt, false));
        return 1;
    }
    if (test.phase().kind() == SpeedTest::Phase::failed) {
        std::printf("失敗: %s\n", qUtf8Printable(terminalSafe(test.phase().message())));
        return 1;
    }

    const SpeedResult result = test.result();
    std::optional<SpeedEntry> stored;
    bool saved = false;
    if (onNetwork) {
        stored = SpeedEntry::measured(result, status);
        saved = SpeedHistory::shared().add(*stored);
        if (!saved)
            std::fprintf(stderr, "履歴を保存できませんでした: %s\n",
                         qUtf8Printable(terminalSafe(SpeedHistory::shared().filePath())));
    }
    if (json) {
        writeJson(speedTestJson(status, test, stored, saved));
        return 0;
    }
    std::printf(
        "ダウンロード %s Mbps / アップロード %s Mbps / 応答時間 %lld ms / ゆらぎ %lld ms / 通信量 %s MB\n",
        qUtf8Printable(mbps(result.downloadMbps)), qUtf8Printable(mbps(result.uploadMbps)),
        qlonglong(result.latencyMs), qlonglong(result.jitterMs), qUtf8Printable(megabytes(result.bytes)));
    return 0;
}

} // namespace ondrel
