#pragma once

#include "speed/ByteCounter.h"
#include "speed/HttpTransfers.h"
#include "speed/SpeedResult.h"
#include "store/Clock.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ondrel {

// Measures the current connection against a speed-measurement service
// ("/__down" and "/__up"): latency and jitter from six empty requests, then
// download and upload throughput, each over four parallel streams, while the
// same empty request goes out every `probeInterval` on a connection of its
// own to measure the latency under load. A latency request of the idle phase
// that fails or is answered outside 2xx fails the test, and so does a
// throughput phase that measured nothing or in which the server refused
// requests and accepted none: a test ends `done` only with every throughput
// and idle figure measured. Requests under load that fail are left out; a
// phase without one that succeeded has no loaded latency.
// Lives on the main thread. The streams run on one HttpTransfers' thread,
// the latency requests on another, so that their timing never waits for the
// streams' work; only the ByteCounters are shared with them.
class SpeedTest : public QObject {
    Q_OBJECT
public:
    class Phase {
    public:
        enum Kind { idle, latency, download, upload, done, failed };
        Phase(Kind kind = idle) : kind_(kind) {}
        static Phase failure(const QString& message);

        Kind kind() const { return kind_; }
        // The failure's description; empty for the other phases.
        const QString& message() const { return message_; }
        bool isRunning() const { return kind_ == latency || kind_ == download || kind_ == upload; }
        bool operator==(const Phase&) const = default;

    private:
        Kind kind_;
        QString message_;
    };

    static constexpr int latencySamples = 6;
    static constexpr double downloadSeconds = 8.0;
    static constexpr double uploadSeconds = 6.0;
    static constexpr int streams = 4;
    static constexpr double warmUpSeconds = 1.5;
    static constexpr double tickSeconds = 0.2;
    static constexpr double minimumWindowSeconds = 0.3;
    static constexpr qint64 downloadBytes = 25'000'000;
    static constexpr qint64 payloadBytes = 20 * 1024 * 1024;
    static constexpr qint64 payloadBlockBytes = 64 * 1024;

    // Where and how long to measure, and on which clock. The program uses the
    // defaults; tests point at a local server and pass a clock they advance.
    struct Options {
        QByteArray baseUrl = defaultBaseUrl();
        std::chrono::milliseconds download{8000};
        std::chrono::milliseconds upload{6000};
        std::chrono::milliseconds warmUp{1500};
        std::chrono::milliseconds tick{200};
        std::chrono::milliseconds minimumWindow{300};
        // Between the latency requests under load; 0 sends none.
        std::chrono::milliseconds probeInterval{400};
        std::chrono::milliseconds latencyTimeout{20'000};
        std::chrono::milliseconds transferTimeout{60'000};
        Clock* clock = &Clock::system();
    };

    explicit SpeedTest(QObject* parent = nullptr);
    explicit SpeedTest(Options options, QObject* parent = nullptr);
    ~SpeedTest() override;

    // The lengths and the server this test measures with.
    const Options& options() const { return options_; }
    const Phase& phase() const { return phase_; }
    // Fraction 0 to 1 of the current phase.
    double progress() const { return progress_; }
    // The latest throughput sample in Mbps, renewed every tick after the
    // warm-up of a throughput phase.
    double liveMbps() const { return liveMbps_; }
    // The median latency under load of the running throughput phase so far;
    // none before its first answer.
    std::optional<qint64> liveLatencyMs() const { return liveLatencyMs_; }
    // The latency requests under load of the running phase that have ended,
    // answered or failed.
    int liveLatencyRequests() const { return int(probeSamplesMs_.size()) + probeFailures_; }
    const SpeedResult& result() const { return result_; }

    // Begins a test unless one is running.
    void start();
    // Cancels a running test at once (phase idle) and zeroes the live values;
    // a done or failed test keeps its phase and result.
    void stop();

    // "https://speed.cloudflare.com", or ONDREL_SPEEDTEST_URL when set.
    static QByteArray defaultBaseUrl();
    // The upload body is 20 MiB whose byte i is i mod 256: this block of
    // 64 KiB (built once and shared) repeated.
    static std::shared_ptr<const QByteArray> payloadBlock();
    // (latency, jitter) in ms from the kept samples: the smallest sample and
    // the population standard deviation, both rounded half away from zero.
    static std::pair<qint64, qint64> latencyAndJitter(const std::vector<double>& samplesMs);
    // The failure text, in the applied language, for a request that failed
    // or was answered outside 2xx: the HTTP status when one arrived, else
    // libcurl's error in the program's own words.
    static QString describeFailure(const HttpTransfers::Outcome& outcome);

Q_SIGNALS:
    void phaseChanged();
    void progressChanged();
    void liveMbpsChanged();
    void liveLatencyChanged();
    void resultChanged();

protected:
    // What a measurement announces, for views' tests that put a test in a
    // state without measuring.
    void setPhase(const Phase& phase);
    void setProgress(double progress);
    void setLiveMbps(double mbps);
    void setLiveLatency(std::optional<qint64> ms);
    void updateResult(const SpeedResult& result);

private:
    void requestLatencySample();
    void onTransferFinished(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome);
    void onStreamEnded(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome);
    // Ends the test as failed; libcurl's own text goes to the diagnostic log.
    void fail(const QString& message, const HttpTransfers::Outcome* outcome = nullptr);
    void beginThroughput(bool uploading);
    void onTick();
    void endThroughput(double mbps);
    void cancelStreams();
    void sendProbe();
    void onProbeFinished(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome);
    HttpTransfers& transfers();
    HttpTransfers& probes();

    Options options_;
    Phase phase_;
    double progress_ = 0;
    double liveMbps_ = 0;
    std::optional<qint64> liveLatencyMs_;
    SpeedResult result_;

    ByteCounter counter_;      // the streams' bytes
    ByteCounter probeCounter_; // the latency requests' bytes
    std::unique_ptr<HttpTransfers> transfers_;
    // The latency requests, idle and under load: a client of their own
    // reuses one connection that no stream ever takes.
    std::unique_ptr<HttpTransfers> probes_;
    std::unique_ptr<Clock::Timer> tick_;       // while a throughput phase runs
    std::unique_ptr<Clock::Timer> probeTimer_; // likewise, when probes are sent

    // Latency phase.
    HttpTransfers::Id latencyRequest_ = 0;
    int latencyIndex_ = 0;
    std::vector<double> samplesMs_;

    // Throughput phase.
    bool uploading_ = false;
    std::array<HttpTransfers::Id, streams> slots_{};
    Clock::TimePoint phaseStart_;
    Clock::TimePoint windowStart_;
    qint64 baseBytes_ = 0;
    double peakMbps_ = 0;
    // Requests of the phase's streams that ended with a 2xx answer, and the
    // latest ones that were answered outside 2xx or failed without an answer.
    int successes_ = 0;
    std::optional<HttpTransfers::Outcome> refusal_;
    std::optional<HttpTransfers::Outcome> transportFailure_;
    // The latency request under load in flight (one at a time, on the one
    // connection), the phase it was sent in, and the phase's answers.
    HttpTransfers::Id probeRequest_ = 0;
    Phase::Kind probePhase_ = Phase::idle;
    std::vector<double> probeSamplesMs_;
    int probeFailures_ = 0;
};

} // namespace ondrel
