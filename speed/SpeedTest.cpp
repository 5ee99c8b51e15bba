#include "speed/SpeedTest.h"

#include "localization/DebugLog.h"
#include "localization/Lookup.h"

#include <curl/curl.h>

#include <algorithm>
#include <cmath>

namespace ondrel {

namespace {

double seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double toMbps(qint64 bytes, double seconds)
{
    return double(bytes) * 8.0 / seconds / 1'000'000.0;
}

} // namespace

SpeedTest::Phase SpeedTest::Phase::failure(const QString& message)
{
    Phase phase(failed);
    phase.message_ = message;
    return phase;
}

SpeedTest::SpeedTest(QObject* parent) : SpeedTest(Options(), parent) {}

SpeedTest::SpeedTest(Options options, QObject* parent) : QObject(parent), options_(std::move(options))
{
    while (options_.baseUrl.endsWith('/'))
        options_.baseUrl.chop(1);
}

SpeedTest::~SpeedTest() = default;

QByteArray SpeedTest::defaultBaseUrl()
{
    const QByteArray url = qgetenv("ONDREL_SPEEDTEST_URL");
    return url.isEmpty() ? QByteArrayLiteral("https://speed.cloudflare.com") : url;
}

std::shared_ptr<const QByteArray> SpeedTest::payloadBlock()
{
    static const std::shared_ptr<const QByteArray> shared = [] {
        auto bytes = std::make_shared<QByteArray>(payloadBlockBytes, Qt::Uninitialized);
        char* data = bytes->data();
        for (qint64 i = 0; i < payloadBlockBytes; ++i)
            data[i] = char(i % 256);
        return bytes;
    }();
    return shared;
}

std::pair<qint64, qint64> SpeedTest::latencyAndJitter(const std::vector<double>& samplesMs)
{
    if (samplesMs.empty())
        return {0, 0};
    const double n = double(samplesMs.size());
    const double smallest = *std::min_element(samplesMs.begin(), samplesMs.end());
    double sum = 0;
    for (double sample : samplesMs)
        sum += sample;
    const double mean = sum / n;
    double squares = 0;
    for (double sample : samplesMs)
        squares += (sample - mean) * (sample - mean);
    const double jitter = std::sqrt(squares / n);
    return {std::llround(smallest), std::llround(jitter)};
}

QString SpeedTest::describeFailure(const HttpTransfers::Outcome& outcome)
{
    const int status = int(outcome.httpStatus);
    if (status >= 300 && status < 400)
        return Lf("サーバーが測定を別のアドレスへ転送しようとしました (HTTP %d)。"
                  "このネットワークではサインインが必要かもしれません。",
                  "The server redirected the test to another address (HTTP %d). "
                  "The network may require you to sign in.",
                  {status});
    if (status >= 400)
        return Lf("サーバーが測定の要求を受け付けませんでした (HTTP %d)。",
                  "The server refused the test's request (HTTP %d).", {status});
    switch (outcome.curlCode) {
    case CURLE_UNSUPPORTED_PROTOCOL:
        return L("測定サーバーのアドレスは http:// か https:// で始まる必要があります。",
                 "The speed test server's address must begin with http:// or https://.");
    case CURLE_URL_MALFORMAT:
        return L("測定サーバーのアドレスが正しくありません。",
                 "The speed test server's address is not valid.");
    case CURLE_COULDNT_RESOLVE_HOST:
        return L("サーバーのホスト名が見つかりませんでした。", "The server's host name could not be found.");
    case CURLE_COULDNT_RESOLVE_PROXY:
        return L("プロキシのホスト名が見つかりませんでした。", "The proxy's host name could not be found.");
    case CURLE_COULDNT_CONNECT:
        return L("サーバーに接続できませんでした。", "Could not connect to the server.");
    case CURLE_OPERATION_TIMEDOUT:
        return L("要求がタイムアウトしました。", "The request timed out.");
    case CURLE_PEER_FAILED_VERIFICATION:
        return L("サーバーの証明書を確認できませんでした。通信が傍受されているおそれがあります。",
                 "The server's certificate could not be verified. The connection may be intercepted.");
    case CURLE_SSL_CACERT_BADFILE:
        return L("サーバーの証明書を確かめるための信頼できる証明書を読み込めませんでした。",
                 "The trusted certificates needed to verify the server could not be read.");
    case CURLE_SSL_CONNECT_ERROR:
        return L("サーバーとの安全な接続を確立できませんでした。",
                 "A secure connection to the server could not be established.");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return L("ネットワーク接続が切れました。", "The network connection was lost.");
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return L("サーバーの応答を理解できませんでした。", "The server's answer could not be understood.");
    case CURLE_OUT_OF_MEMORY:
        return L("メモリーが足りません。", "There is not enough memory.");
    default:
        return Lf("サーバーと通信できませんでした (エラー %d)。",
                  "Could not communicate with the server (error %d).", {outcome.curlCode});
    }
}

void SpeedTest::start()
{
    if (phase_.isRunning())
        return;
    updateResult(SpeedResult());
    setLiveMbps(0);
    setProgress(0);
    counter_.resetAll();
    probeCounter_.resetAll();
    if (probeRequest_ != 0)
        probes().cancel(probeRequest_); // a request under load of an earlier test
    probeRequest_ = 0;
    samplesMs_.clear();
    latencyIndex_ = 0;
    setPhase(Phase::latency);
    requestLatencySample();
}

void SpeedTest::stop()
{
    tick_.reset();
    probeTimer_.reset();
    latencyRequest_ = 0;
    probeRequest_ = 0;
    if (transfers_)
        transfers_->cancelAll();
    if (probes_)
        probes_->cancelAll();
    slots_.fill(0);
    if (phase_.isRunning())
        setPhase(Phase::idle);
    setProgress(0);
    setLiveMbps(0);
    setLiveLatency(std::nullopt);
}

HttpTransfers& SpeedTest::transfers()
{
    if (!transfers_) {
        transfers_ = std::make_unique<HttpTransfers>(counter_);
        connect(transfers_.get(), &HttpTransfers::streamEnded, this, &SpeedTest::onStreamEnded);
    }
    return *transfers_;
}

HttpTransfers& SpeedTest::probes()
{
    if (!probes_) {
        probes_ = std::make_unique<HttpTransfers>(probeCounter_);
        connect(probes_.get(), &HttpTransfers::finished, this, &SpeedTest::onTransferFinished);
    }
    return *probes_;
}

void SpeedTest::requestLatencySample()
{
    HttpTransfers::Request request;
    request.url = options_.baseUrl + "/__down?bytes=0";
    request.timeout = options_.latencyTimeout;
    latencyRequest_ = probes().start(std::move(request));
}

void SpeedTest::onTransferFinished(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome)
{
    if (id != 0 && id == probeRequest_) {
        onProbeFinished(id, outcome);
        return;
    }
    if (id == 0 || id != latencyRequest_ || phase_.kind() != Phase::latency)
        return;
    latencyRequest_ = 0;
    if (!outcome.succeeded()) {
        fail(describeFailure(outcome), &outcome);
        return;
    }
    // The first request pays for the connection set-up; its time is dropped.
    if (latencyIndex_ > 0)
        samplesMs_.push_back(std::chrono::duration<double, std::milli>(outcome.time).count());
    ++latencyIndex_;
    setProgress(double(latencyIndex_) / latencySamples);
    if (latencyIndex_ < latencySamples) {
        requestLatencySample();
        return;
    }
    const auto [latency, jitter] = latencyAndJitter(samplesMs_);
    SpeedResult result = result_;
    result.latencyMs = latency;
    result.jitterMs = jitter;
    updateResult(result);
    beginThroughput(false);
}

void SpeedTest::beginThroughput(bool uploading)
{
    uploading_ = uploading;
    setPhase(uploading ? Phase::upload : Phase::download);
    counter_.resetBytes();
    for (HttpTransfers::Id& slot : slots_) {
        HttpTransfers::Request request;
        if (uploading) {
            request.url = options_.baseUrl + "/__up";
            request.body = payloadBlock();
            request.bodyLength = payloadBytes;
            request.contentType = "application/octet-stream";
        } else {
            request.url = options_.baseUrl + "/__down?bytes=" + QByteArray::number(downloadBytes);
        }
        request.timeout = options_.transferTimeout;
        request.stream = true;
        request.retryDelay = options_.tick;
        slot = transfers().start(std::move(request));
    }
    phaseStart_ = windowStart_ = options_.clock->now();
    baseBytes_ = 0;
    peakMbps_ = 0;
    successes_ = 0;
    refusal_.reset();
    transportFailure_.reset();
    probeSamplesMs_.clear();
    probeFailures_ = 0;
    setLiveLatency(std::nullopt);
    tick_ = options_.clock->repeat(options_.tick, [this] { onTick(); });
    if (options_.probeInterval.count() > 0)
        probeTimer_ = options_.clock->repeat(options_.probeInterval, [this] {
            // From the end of the warm-up, when the streams have filled
            // whatever queue the link has; one request at a time, so a
            // request that takes longer than the interval delays the next.
            if (probeRequest_ == 0 && options_.clock->now() - phaseStart_ >= options_.warmUp)
                sendProbe();
        });
}

void SpeedTest::sendProbe()
{
    HttpTransfers::Request request;
    request.url = options_.baseUrl + "/__down?bytes=0";
    request.timeout = options_.latencyTimeout;
    probePhase_ = phase_.kind();
    probeRequest_ = probes().start(std::move(request));
}

void SpeedTest::onProbeFinished(HttpTransfers::Id, const HttpTransfers::Outcome& outcome)
{
    probeRequest_ = 0;
    // An answer that arrives after its phase ended belongs to no phase.
    if (probePhase_ != phase_.kind() || !probeTimer_)
        return;
    if (!outcome.succeeded()) {
        ++probeFailures_;
        return;
    }
    probeSamplesMs_.push_back(std::chrono::duration<double, std::milli>(outcome.time).count());
    setLiveLatency(LoadedLatency::of(probeSamplesMs_)->latencyMs);
}

void SpeedTest::onTick()
{
    // Streams replace their own finished requests on the transfer thread, so
    // the tick only samples.
    const Clock::TimePoint now = options_.clock->now();
    const double elapsed = seconds(now - phaseStart_);
    const double warmUp = seconds(options_.warmUp);
    const double total = seconds(uploading_ ? options_.upload : options_.download) + warmUp;
    const qint64 bytes = counter_.bytes();

    if (elapsed < warmUp) {
        // Bytes of the warm-up are left out: the window starts at its last tick.
        windowStart_ = now;
        baseBytes_ = bytes;
        setProgress(elapsed / total);
        return;
    }
    const double window = seconds(now - windowStart_);
    // Upload bytes that a refusal took back can leave the count below the base.
    const qint64 delta = std::max<qint64>(0, bytes - baseBytes_);
    if (window > seconds(options_.minimumWindow)) {
        const double sample = toMbps(delta, window);
        setLiveMbps(sample);
        peakMbps_ = std::max(peakMbps_, sample);
    }
    setProgress(std::min(elapsed / total, 1.0));
    if (elapsed < total)
        return;

    const double finalWindow = seconds(now - windowStart_);
    const qint64 finalDelta = counter_.bytes() - baseBytes_;
    cancelStreams();
    endThroughput(finalWindow > 0 && finalDelta > 0 ? toMbps(finalDelta, finalWindow) : peakMbps_);
}

void SpeedTest::onStreamEnded(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome)
{
    if (!phase_.isRunning() || std::find(slots_.begin(), slots_.end(), id) == slots_.end())
        return;
    if (outcome.succeeded())
        ++successes_;
    else
        (outcome.httpStatus >= 300 ? refusal_ : transportFailure_) = outcome;
}

void SpeedTest::fail(const QString& message, const HttpTransfers::Outcome* outcome)
{
    static const char* const names[] = {"idle", "latency", "download", "upload", "done", "failed"};
    QString log = QStringLiteral("speed test failed in the %1 phase: %2")
                      .arg(QLatin1String(names[phase_.kind()]), message);
    if (outcome)
        log += QStringLiteral(" (HTTP status %1, curl %2: %3)")
                   .arg(outcome->httpStatus)
                   .arg(outcome->curlCode)
                   .arg(outcome->detail);
    debugLog(log);
    tick_.reset();
    probeTimer_.reset();
    setLiveMbps(0);
    setLiveLatency(std::nullopt);
    setPhase(Phase::failure(message));
}

void SpeedTest::endThroughput(double mbps)
{
    tick_.reset();
    probeTimer_.reset();
    const std::optional<LoadedLatency> loaded = LoadedLatency::of(probeSamplesMs_);
    if (options_.probeInterval.count() > 0)
        debugLog(QStringLiteral("latency under load while %1: %2 answers, %3 failed, median %4 ms")
                     .arg(uploading_ ? QStringLiteral("uploading") : QStringLiteral("downloading"))
                     .arg(probeSamplesMs_.size())
                     .arg(probeFailures_)
                     .arg(loaded ? QString::number(loaded->latencyMs) : QStringLiteral("none")));
    // Upload bytes count as the peer takes them, before its answer: while
    // the server refuses every upload that it answers, what it took
    // meanwhile is no measurement either. (Download bytes count only from
    // 2xx answers.)
    if (!(mbps > 0) || (uploading_ && refusal_ && successes_ == 0)) {
        // A figure of 0 would be a measurement of nothing.
        if (const auto& failure = refusal_ ? refusal_ : transportFailure_)
            fail(describeFailure(*failure), &*failure);
        else if (uploading_)
            fail(L("アップロードの測定中、データを送れませんでした。",
                   "No data could be sent while measuring the upload."));
        else
            fail(L("ダウンロードの測定中、データが届きませんでした。",
                   "No data arrived while measuring the download."));
        return;
    }
    SpeedResult result = result_;
    if (!uploading_) {
        result.downloadMbps = mbps;
        result.downloadLatency = loaded;
        updateResult(result);
        beginThroughput(true);
        return;
    }
    result.uploadMbps = mbps;
    result.uploadLatency = loaded;
    result.bytes = counter_.lifetime() + probeCounter_.lifetime();
    result.date = options_.clock->utcNow();
    updateResult(result);
    setLiveMbps(0);
    setLiveLatency(std::nullopt);
    setProgress(1.0);
    setPhase(Phase::done);
}

void SpeedTest::cancelStreams()
{
    for (HttpTransfers::Id& slot : slots_) {
        if (slot != 0)
            transfers().cancel(slot);
        slot = 0;
    }
}

void SpeedTest::setPhase(const Phase& phase)
{
    if (phase_ == phase)
        return;
    phase_ = phase;
    Q_EMIT phaseChanged();
}

void SpeedTest::setProgress(double progress)
{
    if (progress_ == progress)
        return;
    progress_ = progress;
    Q_EMIT progressChanged();
}

void SpeedTest::setLiveMbps(double mbps)
{
    if (liveMbps_ == mbps)
        return;
    liveMbps_ = mbps;
    Q_EMIT liveMbpsChanged();
}

void SpeedTest::setLiveLatency(std::optional<qint64> ms)
{
    if (liveLatencyMs_ == ms)
        return;
    liveLatencyMs_ = ms;
    Q_EMIT liveLatencyChanged();
}

void SpeedTest::updateResult(const SpeedResult& result)
{
    if (result_ == result)
        return;
    result_ = result;
    Q_EMIT resultChanged();
}

} // namespace ondrel
