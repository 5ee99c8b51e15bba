// The speed test against the loopback server: real transfers, with the
// phases and their ticks in virtual time; and how its figures are written.

#include "SpeedTestServer.h"
#include "speed/ByteCounter.h"
#include "speed/HttpTransfers.h"
#include "speed/SpeedEntry.h"
#include "speed/SpeedFormat.h"
#include "speed/SpeedTest.h"
#include "tests/store/ManualClock.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <curl/curl.h>

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ondrel;
using namespace std::chrono_literals;
using testing::SpeedTestServer;
using Kind = SpeedTestServer::Kind;
using Behaviour = SpeedTestServer::Behaviour;
using Phase = SpeedTest::Phase;

namespace {

// Polls what the server's thread does more finely than QTRY's 50 ms steps.
bool until(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

struct Fixture {
    SpeedTestServer server;
    testing::ManualClock clock;
    SpeedTest test;

    // Without latency requests under load unless `probes` is given.
    explicit Fixture(std::chrono::milliseconds probes = 0ms, std::chrono::milliseconds upload = 1000ms)
        : test([&] {
              SpeedTest::Options o;
              o.baseUrl = server.url();
              o.download = 1000ms;
              o.upload = upload;
              o.warmUp = 0ms;
              o.tick = 100ms;
              o.probeInterval = probes;
              o.latencyTimeout = probes > 0ms ? 5000ms : 300ms; // libcurl's own limit, in real time
              o.clock = &clock;
              return o;
          }())
    {
    }

    bool waitFor(Phase::Kind kind)
    {
        QSignalSpy spy(&test, &SpeedTest::phaseChanged);
        while (test.phase().kind() != kind && test.phase().kind() != Phase::failed && spy.wait(15000)) {
        }
        return test.phase().kind() == kind;
    }
    // Starts the test and runs each throughput phase through once the server
    // has seen `requests` of its requests in this run (the answered ones
    // counted by then).
    void run(int requests)
    {
        const SpeedTestServer::Stats before = server.stats();
        test.start();
        for (auto [phase, kind] :
             {std::pair{Phase::download, Kind::download}, {Phase::upload, Kind::upload}}) {
            if (!waitFor(phase))
                return;
            QVERIFY(until([&] {
                return server.stats().requests[size_t(kind)] - before.requests[size_t(kind)] >= requests;
            }));
            clock.advance(1000ms);
        }
    }
};

} // namespace

class tst_SpeedTest : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void figures()
    {
        using Samples = std::vector<double>;
        QCOMPARE(SpeedTest::latencyAndJitter(Samples{30, 32, 31, 35, 32}), std::pair(qint64(30), qint64(2)));
        QCOMPARE(SpeedTest::latencyAndJitter(Samples{2.5, 2.5}), std::pair(qint64(3), qint64(0)));
        QCOMPARE(SpeedTest::latencyAndJitter(Samples{10, 20}), std::pair(qint64(10), qint64(5)));
        QCOMPARE(SpeedTest::latencyAndJitter({}), std::pair(qint64(0), qint64(0)));
        // The responsiveness classes' edges: 6000, 1000 and 300 round trips per minute.
        const std::pair<qint64, Responsiveness> grades[] = {
            {0, Responsiveness::excellent}, {10, Responsiveness::excellent}, {11, Responsiveness::good},
            {60, Responsiveness::good},     {61, Responsiveness::fair},      {200, Responsiveness::fair},
            {201, Responsiveness::poor}};
        for (const auto& [ms, grade] : grades)
            QCOMPARE(std::pair(ms, responsivenessOf(ms)), std::pair(ms, grade));
        // The working latency is the longer phase's; the added latency never below 0.
        const LatencyUnderLoad underLoad =
            LatencyUnderLoad::of(30, LoadedLatency{25, 1}, LoadedLatency{95, 4});
        QCOMPARE(std::tuple(underLoad.workingMs, underLoad.addedMs, underLoad.grade),
                 std::tuple(std::optional<qint64>(95), std::optional<qint64>(65),
                            std::optional(Responsiveness::fair)));
        QCOMPARE(LatencyUnderLoad::of(30, LoadedLatency{25, 1}, std::nullopt).addedMs,
                 std::optional<qint64>(0));
        QCOMPARE(LatencyUnderLoad::of(30, std::nullopt, std::nullopt).grade, std::nullopt);
        // Median of an even count, spread as the population deviation.
        QCOMPARE(LoadedLatency::of({40, 10, 30, 20}), std::optional(LoadedLatency{25, 11}));
        // Whatever libcurl reports, its English text never reaches the user (the log has it).
        HttpTransfers::Outcome outcome;
        for (outcome.curlCode = 1; outcome.curlCode < CURL_LAST; ++outcome.curlCode) {
            outcome.detail = QString::fromUtf8(curl_easy_strerror(CURLcode(outcome.curlCode)));
            const QString text = SpeedTest::describeFailure(outcome);
            QVERIFY2(text.endsWith(u'。') && !text.contains(outcome.detail), qPrintable(text));
        }
        // Locale, Mbps and its text, bytes and their megabytes: ties to even, one fraction digit below 100
        // judged before rounding.
        const std::tuple<const char*, double, const char*, qint64, const char*> rows[] = {
            {"en_US", 8.25, "8.2", 2'500'000, "2"},
            {"en_US", 99.96, "100.0", 1'499'999, "1"},
            {"en_US", 100.0, "100", 345'678'901, "346"},
            {"en_US", 1234.5, "1,234", 12'345'678'901, "12,346"},
            {"de_DE", 8.25, "8,2", 2'500'000'000, "2.500"},
            {"en_US", qQNaN(), "0", 0, "0"},
        };
        for (const auto& [locale, value, text, bytes, megabytes] : rows) {
            QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
            QCOMPARE(std::pair(mbps(value), ondrel::megabytes(bytes)),
                     std::pair(QString(text), QString(megabytes)));
        }
    }

    void fullRun()
    {
        Fixture f;
        // One whole answer of each kind, then every stream stalls: what was
        // measured is known to the byte (uploads: at least).
        f.server.setAnswerLimit(Kind::download, 1);
        f.server.setAnswerLimit(Kind::upload, 1);
        std::vector<Phase::Kind> phases;
        std::vector<double> progress, live;
        connect(&f.test, &SpeedTest::phaseChanged, this, [&] { phases.push_back(f.test.phase().kind()); });
        // The first latency answer takes 200 ms, as a connection's set-up may,
        // the others 10 ms.
        f.server.setLatencyDelay(200ms);
        connect(&f.test, &SpeedTest::progressChanged, this, [&] {
            progress.push_back(f.test.progress());
            f.server.setLatencyDelay(10ms);
        });
        connect(&f.test, &SpeedTest::liveMbpsChanged, this, [&] { live.push_back(f.test.liveMbps()); });
        const QDateTime start = f.clock.utcNow();
        f.run(SpeedTest::streams + 1);
        QVERIFY(f.waitFor(Phase::done));

        QCOMPARE(phases, (std::vector{Phase::latency, Phase::download, Phase::upload, Phase::done}));
        std::vector<double> expected{1 / 6.0, 2 / 6.0, 3 / 6.0, 4 / 6.0, 5 / 6.0, 1};
        for (int phase = 0; phase < 2; ++phase)
            for (int tick = 1; tick <= 10; ++tick)
                expected.push_back(tick / 10.0);
        QCOMPARE(progress, expected);
        // Samples once the window exceeds 0.3 s; the download's last stays until the upload's first.
        QCOMPARE(std::tuple(live.size() > 14, live[0], live[6], live.back()),
                 std::tuple(true, 500.0, 200.0, 0.0));

        const SpeedResult result = f.test.result();
        QCOMPARE(result.downloadMbps, 200.0); // 25 MB in one second
        QVERIFY2(result.uploadMbps >= 20 * 1.048576 * 8 && result.uploadMbps < 400,
                 qPrintable(QString::number(result.uploadMbps)));
        // Every byte moved: the 25 MB download and the upload's second.
        const auto moved = [](const SpeedResult& r) { return r.bytes - 25'000'000 - r.uploadMbps * 125'000; };
        QVERIFY2(qAbs(moved(result)) < 1000, qPrintable(QString::number(result.bytes)));
        // The set-up's answer is left out: the least of the others, and their
        // small spread (200 ms among them would spread them by some 70 ms).
        QVERIFY2(
            result.latencyMs >= 10 && result.latencyMs < 100 && result.jitterMs < 40,
            qPrintable(QStringLiteral("%1 ms, jitter %2 ms").arg(result.latencyMs).arg(result.jitterMs)));
        QCOMPARE(result.date, start.addSecs(2)); // when the upload ended
        const SpeedTestServer::Stats stats = f.server.stats();
        QCOMPARE(stats.requests[size_t(Kind::latency)], qint64(6));
        QCOMPARE(stats.latencyConnections.size(), size_t(1)); // one connection, reused
        QCOMPARE(stats.expectHeaders, qint64(0));
        QVERIFY(until([&] { return f.server.stats().openStreams == 0; })); // the streams end with the test

        // The stored entry: the result's figures and date, the network's details with its noise.
        WiFiEngine::Status status{
            true, true, QStringLiteral("Café"), QStringLiteral("aa:bb"), -50, -90, 0, 36, Band::ghz5};
        const std::optional<SpeedEntry> entry = SpeedEntry::measured(result, status);
        QVERIFY(entry && !entry->id.isNull());
        QCOMPARE(*entry, (SpeedEntry{entry->id, result.date, *status.ssid, status.bssid, -50, 50, 36,
                                     result.downloadMbps, result.uploadMbps, result.latencyMs,
                                     result.jitterMs, result.bytes, std::nullopt, std::nullopt, -90}));
        status.ssid = QString();
        QCOMPARE(SpeedEntry::measured(result, status), std::nullopt);

        // Stopping keeps a finished result; starting again clears it.
        f.test.stop();
        QCOMPARE(std::tuple(f.test.phase().kind(), f.test.result(), f.test.progress()),
                 std::tuple(Phase::done, result, 0.0));
        f.test.start();
        QCOMPARE(std::tuple(f.test.phase().kind(), f.test.result()),
                 std::tuple(Phase::latency, SpeedResult()));
        f.test.start(); // ignored while running
        QCOMPARE(phases.size(), size_t(5));
        f.test.stop(); // during the latency phase
        QCOMPARE(std::tuple(f.test.phase().kind(), phases.size()), std::tuple(Phase::idle, size_t(6)));

        // A second whole run, with one answer of each kind again, counts its own bytes only.
        f.server.setAnswerLimit(Kind::download, 1);
        f.server.setAnswerLimit(Kind::upload, 1);
        f.run(SpeedTest::streams + 1);
        QVERIFY(f.waitFor(Phase::done));
        const SpeedResult again = f.test.result();
        QCOMPARE(again.downloadMbps, 200.0);
        QVERIFY2(qAbs(moved(again)) < 1000, qPrintable(QString::number(again.bytes)));
    }

    // Latency requests under load on a link whose queues hold 250 ms of the
    // download and 80 ms of the upload over a 20 ms round trip: each phase
    // reports its own queue, the idle figure stays the round trip, and a
    // phase whose requests all fail has no figure rather than 0 ms. The
    // phases differ in length (1 s and 0.6 s) and in their number of requests.
    void latencyUnderLoad_data()
    {
        QTest::addColumn<qint64>("downloadQueue");
        QTest::addColumn<bool>("uploadRefused");
        QTest::addColumn<std::optional<qint64>>("upload");
        QTest::addColumn<Responsiveness>("grade");
        QTest::newRow("bloated queues")
            << qint64(2'500'000) << false << std::optional<qint64>(100) << Responsiveness::poor;
        QTest::newRow("no download queue")
            << qint64(0) << false << std::optional<qint64>(100) << Responsiveness::fair;
        QTest::newRow("the upload's requests refused")
            << qint64(2'500'000) << true << std::optional<qint64>() << Responsiveness::poor;
    }
    void latencyUnderLoad()
    {
        QFETCH(qint64, downloadQueue);
        QFETCH(bool, uploadRefused);
        QFETCH(std::optional<qint64>, upload);
        QFETCH(Responsiveness, grade);
        Fixture f(200ms, 600ms);
        f.server.setLatencyDelay(20ms);
        f.server.setQueue(Kind::download, downloadQueue, 10e6);
        f.server.setQueue(Kind::upload, 800'000, 10e6);
        // One whole answer of each kind, then the streams stall with all
        // their bytes still to move: the queues stay full.
        f.server.setAnswerLimit(Kind::download, 1);
        f.server.setAnswerLimit(Kind::upload, 1);
        std::vector<std::optional<qint64>> live;
        connect(&f.test, &SpeedTest::liveLatencyChanged, this,
                [&] { live.push_back(f.test.liveLatencyMs()); });
        f.test.start();
        // The download's first step spans two intervals: the second finds the
        // first request still waiting in the queue and sends none.
        using Steps = std::vector<std::chrono::milliseconds>;
        for (auto [phase, kind, steps] :
             {std::tuple{Phase::download, Kind::download, Steps{400ms, 200ms, 200ms}},
              std::tuple{Phase::upload, Kind::upload, Steps{200ms, 200ms}}}) {
            QVERIFY(f.waitFor(phase));
            if (phase == Phase::upload && uploadRefused)
                f.server.setBehaviour(Kind::latency, Behaviour::error);
            QVERIFY(until([&] { return f.server.stats().requests[size_t(kind)] > SpeedTest::streams; }));
            for (int i = 1; i <= int(steps.size()); ++i) {
                f.clock.advance(steps[i - 1]);
                QVERIFY(until([&] { return f.test.liveLatencyRequests() == i; }));
            }
            f.clock.advance(200ms); // the phase's end
        }
        QVERIFY(f.waitFor(Phase::done));
        // Six idle requests, then three and two under load, one at a time.
        QCOMPARE(f.server.stats().requests[size_t(Kind::latency)], qint64(11));

        const SpeedResult result = f.test.result();
        const qint64 download = 20 + downloadQueue / 10'000;
        const auto within = [](qint64 figure, qint64 expected) {
            return figure >= expected && figure <= expected + std::max<qint64>(30, expected / 4);
        };
        QVERIFY2(within(result.latencyMs, 20), qPrintable(QString::number(result.latencyMs)));
        QVERIFY(result.downloadLatency);
        QVERIFY2(within(result.downloadLatency->latencyMs, download) &&
                     result.downloadLatency->jitterMs <= 30,
                 qPrintable(QString::number(result.downloadLatency->latencyMs)));
        QCOMPARE(result.uploadLatency.has_value(), upload.has_value());
        if (upload)
            QVERIFY2(within(result.uploadLatency->latencyMs, *upload) && result.uploadLatency->jitterMs <= 30,
                     qPrintable(QString::number(result.uploadLatency->latencyMs)));
        const LatencyUnderLoad underLoad = result.underLoad();
        QCOMPARE(underLoad.workingMs,
                 std::max(result.downloadLatency->latencyMs, upload ? result.uploadLatency->latencyMs : 0));
        QCOMPARE(underLoad.addedMs, *underLoad.workingMs - result.latencyMs);
        QCOMPARE(underLoad.grade, grade);
        // Live: each phase's median so far, none between phases and at the end.
        QVERIFY(live.size() >= 2 && live.front() && !live.back());
        QVERIFY2(within(*live.front(), download), qPrintable(QString::number(*live.front())));
        // Idle and under load, one connection of their own, never a stream's
        // (a refusal closes it, and the next request opens another).
        const size_t connections = f.server.stats().latencyConnections.size();
        QVERIFY(uploadRefused ? connections > 1 : connections == 1);
        // Stored with the entry, and back from its file form.
        const WiFiEngine::Status status{true, true, QStringLiteral("Home"), {}, -50, -90, 0, 36, Band::ghz5};
        const SpeedEntry entry = *SpeedEntry::measured(result, status);
        QCOMPARE(std::pair(entry.downloadLatency, entry.uploadLatency),
                 std::pair(result.downloadLatency, result.uploadLatency));
        const std::optional<SpeedEntry> decoded = SpeedEntry::fromJson(entry.toJson());
        QCOMPARE(std::pair(decoded->downloadLatency, decoded->uploadLatency),
                 std::pair(entry.downloadLatency, entry.uploadLatency));
        QCOMPARE(entry.toJson().contains("uploadLatencyMs"), upload.has_value());
    }

    void stop()
    {
        // During the upload, with the download's live figure still shown.
        Fixture f;
        f.test.start();
        QVERIFY(f.waitFor(Phase::download));
        QVERIFY(
            until([&] { return f.server.stats().requests[size_t(Kind::download)] > SpeedTest::streams; }));
        f.clock.advance(1000ms);
        QVERIFY(f.waitFor(Phase::upload));
        QVERIFY(until([&] { return f.server.stats().openStreams == SpeedTest::streams; }));
        f.test.stop();
        QCOMPARE(std::tuple(f.test.phase().kind(), f.test.progress(), f.test.liveMbps()),
                 std::tuple(Phase::idle, 0.0, 0.0));
        QVERIFY(until([&] { return f.server.stats().openStreams == 0; }));
        // Nothing runs on.
        QSignalSpy phases(&f.test, &SpeedTest::phaseChanged), live(&f.test, &SpeedTest::liveMbpsChanged);
        f.clock.advance(10s);
        QCOMPARE(f.clock.running(), size_t(0));
        QCOMPARE(phases.count() + live.count(), 0);
    }

    // An upload into a peer that reads nothing: once both socket buffers are
    // full, what counts is what reached the peer, not what the client wrote,
    // which also holds the bytes still queued on its own side.
    void uploadCountsWhatArrived()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
        QVERIFY(::listen(listener, 1) == 0 &&
                ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        ByteCounter counter;
        HttpTransfers transfers(counter);
        HttpTransfers::Request request;
        request.url = "http://127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)) + "/__up";
        request.body = std::make_shared<const QByteArray>(64 * 1024, 'x');
        request.bodyLength = 64 * 1024 * 1024;
        request.timeout = 30'000ms;
        transfers.start(request);
        const int peer = ::accept(listener, nullptr, nullptr);
        QVERIFY(peer >= 0);
        // The peer's queue: the request's head, then body bytes.
        const auto arrived = [&] {
            QByteArray head(4096, 0);
            const qint64 peeked = ::recv(peer, head.data(), head.size(), MSG_PEEK);
            const qsizetype end = head.left(qMax<qint64>(peeked, 0)).indexOf("\r\n\r\n");
            int queued = 0;
            if (end < 0 || ::ioctl(peer, FIONREAD, &queued) != 0)
                return qint64(-1);
            return qint64(queued) - (end + 4);
        };
        qint64 last = -1;
        // Settled: the peer's queue stopped growing and the count matches it.
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const qint64 now = arrived(), previous = std::exchange(last, now);
                         return now > 0 && now == previous && counter.bytes() == now;
                     },
                     10000),
                 qPrintable(QStringLiteral("%1 counted, %2 arrived").arg(counter.bytes()).arg(last)));
        transfers.cancelAll();
        ::close(peer);
        ::close(listener);
    }

    void outcomes_data()
    {
        QTest::addColumn<QList<Kind>>("kinds");
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<int>("status");
        QTest::addColumn<Phase::Kind>("endedIn");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, QList<Kind> kinds, Behaviour behaviour, int status,
                            Phase::Kind endedIn, const QString& message) {
            QTest::newRow(name) << kinds << behaviour << status << endedIn << message;
        };
        const QString refused = QStringLiteral("サーバーが測定の要求を受け付けませんでした (HTTP %1)。");
        row("refused", {}, Behaviour::normal, 0, Phase::latency, "サーバーに接続できませんでした。");
        row("latency stalled", {Kind::latency}, Behaviour::stall, 0, Phase::latency,
            "要求がタイムアウトしました。");
        row("redirected", {Kind::latency}, Behaviour::error, 302, Phase::latency,
            "サーバーが測定を別のアドレスへ転送しようとしました (HTTP 302)。"
            "このネットワークではサインインが必要かもしれません。");
        row("300, the first of the range", {Kind::latency}, Behaviour::error, 300, Phase::latency,
            "サーバーが測定を別のアドレスへ転送しようとしました (HTTP 300)。"
            "このネットワークではサインインが必要かもしれません。");
        row("the network's 404 page for downloads", {Kind::download}, Behaviour::error, 404, Phase::download,
            refused.arg(404));
        row("503 to uploads", {Kind::upload}, Behaviour::error, 503, Phase::upload, refused.arg(503));
        row("downloads cut off", {Kind::download}, Behaviour::close, 0, Phase::download,
            "ネットワーク接続が切れました。");
        row("download stalled", {Kind::download}, Behaviour::stall, 0, Phase::download,
            "ダウンロードの測定中、データが届きませんでした。");
        row("dropped streams are replaced, half bodies measured", {Kind::download, Kind::upload},
            Behaviour::drop, 0, Phase::done, "");
    }

    void outcomes()
    {
        QFETCH(QList<Kind>, kinds);
        QFETCH(Behaviour, behaviour);
        QFETCH(int, status);
        QFETCH(Phase::Kind, endedIn);
        QFETCH(QString, message);
        Fixture f;
        f.server.setRefusing(kinds.isEmpty());
        f.server.setErrorStatus(status);
        for (Kind kind : kinds)
            f.server.setBehaviour(kind, behaviour);
        Phase::Kind last = Phase::idle;
        connect(&f.test, &SpeedTest::phaseChanged, this, [&] {
            if (f.test.phase().isRunning())
                last = f.test.phase().kind();
        });
        // Beyond the first round and the one request libcurl repeats itself when a reused connection
        // dies, a request follows a stream's reported end.
        f.run(SpeedTest::streams + (behaviour == Behaviour::stall ? 0 : 2));
        if (endedIn == Phase::done) {
            QVERIFY(f.waitFor(Phase::done));
            QVERIFY(f.test.result().downloadMbps > 0 && f.test.result().uploadMbps > 0);
            return;
        }
        QVERIFY(f.waitFor(Phase::failed));
        QCOMPARE(last, endedIn);
        QCOMPARE(f.test.phase().message(), message);
        QCOMPARE(std::tuple(f.test.result().date, f.test.liveMbps()),
                 std::tuple(SpeedResult::distantPast(), 0.0));
        if (endedIn == Phase::latency)
            QCOMPARE(f.test.result(), SpeedResult());
        QVERIFY(until([&] { return f.server.stats().openStreams == 0; }));
    }
};

QTEST_GUILESS_MAIN(tst_SpeedTest)
#include "tst_SpeedTest.moc"
