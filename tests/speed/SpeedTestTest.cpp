#include "SpeedTestServer.h"

#include "app/DebugLogFile.h"
#include "localization/LocaleSettings.h"
#include "speed/SpeedTest.h"

#include <QFile>
#include <QTemporaryDir>

#include <curl/curl.h>

#include <QSignalSpy>
#include <QTest>

#include <vector>

using namespace ondrel;
using namespace std::chrono_literals;
using testing::SpeedTestServer;
using Kind = SpeedTestServer::Kind;
using Behaviour = SpeedTestServer::Behaviour;
using Phase = SpeedTest::Phase;

Q_DECLARE_METATYPE(SpeedTestServer::Kind)

namespace {

// Short phases so that a whole test takes about two seconds.
SpeedTest::Options fastOptions(const SpeedTestServer& server)
{
    SpeedTest::Options options;
    options.baseUrl = server.url();
    options.download = 1000ms;
    options.upload = 800ms;
    options.warmUp = 300ms;
    options.tick = 100ms;
    options.minimumWindow = 150ms;
    options.latencyTimeout = 1500ms;
    options.transferTimeout = 1500ms;
    return options;
}

bool waitForPhase(SpeedTest& test, Phase::Kind kind, int timeoutMs = 15000)
{
    if (test.phase().kind() == kind)
        return true;
    QSignalSpy spy(&test, &SpeedTest::phaseChanged);
    QDeadlineTimer deadline(timeoutMs);
    while (test.phase().kind() != kind && !deadline.hasExpired())
        spy.wait(int(std::max<qint64>(1, deadline.remainingTime())));
    return test.phase().kind() == kind;
}

} // namespace

class SpeedTestTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void latencyAndJitter_data();
    void latencyAndJitter();
    void payloadIsSharedAndPatterned();
    void fullRunReportsPhasesProgressAndResult();
    void startWhileRunningIsIgnoredAndRestartClears();
    void stopFromEachPhase_data();
    void stopFromEachPhase();
    void stopAfterDoneKeepsResult();
    void failedLatencyRequest_data();
    void failedLatencyRequest();
    void failureTextsAreTheProgramsOwn();
    void libcurlDetailGoesToTheLog();
    void answersOutside2xxFailTheTest_data();
    void answersOutside2xxFailTheTest();
    void droppedStreamsAreReplacedAndMeasured();
    void phaseWithNothingGettingThrough_data();
    void phaseWithNothingGettingThrough();
};

void SpeedTestTest::latencyAndJitter_data()
{
    QTest::addColumn<std::vector<double>>("samples");
    QTest::addColumn<qint64>("latency");
    QTest::addColumn<qint64>("jitter");
    QTest::newRow("typical") << std::vector<double>{30, 32, 31, 35, 32} << qint64(30) << qint64(2);
    QTest::newRow("halves away from zero") << std::vector<double>{2.5, 2.5} << qint64(3) << qint64(0);
    QTest::newRow("population deviation") << std::vector<double>{10, 20} << qint64(10) << qint64(5);
    QTest::newRow("none") << std::vector<double>{} << qint64(0) << qint64(0);
}

void SpeedTestTest::latencyAndJitter()
{
    QFETCH(std::vector<double>, samples);
    QFETCH(qint64, latency);
    QFETCH(qint64, jitter);
    QCOMPARE(SpeedTest::latencyAndJitter(samples), std::make_pair(latency, jitter));
}

void SpeedTestTest::payloadIsSharedAndPatterned()
{
    const auto payload = SpeedTest::payload();
    QCOMPARE(payload->size(), 20 * 1024 * 1024);
    QCOMPARE(SpeedTest::payload().get(), payload.get());
    for (qint64 i : {qint64(0), qint64(255), qint64(256), qint64(1000), payload->size() - 1})
        QCOMPARE(quint8(payload->at(i)), quint8(i % 256));
}

void SpeedTestTest::fullRunReportsPhasesProgressAndResult()
{
    SpeedTestServer server;
    server.setRate(40);
    SpeedTest test(fastOptions(server));

    std::vector<Phase::Kind> phases;
    std::vector<std::pair<Phase::Kind, double>> progress;
    int liveSamples = 0;
    int mostOpenStreams = 0;
    double liveAtUploadStart = -1;
    connect(&test, &SpeedTest::phaseChanged, this, [&] {
        phases.push_back(test.phase().kind());
        if (test.phase().kind() == Phase::upload)
            liveAtUploadStart = test.liveMbps();
    });
    connect(&test, &SpeedTest::progressChanged, this,
            [&] { progress.emplace_back(test.phase().kind(), test.progress()); });
    connect(&test, &SpeedTest::liveMbpsChanged, this, [&] {
        if (test.liveMbps() > 0)
            ++liveSamples;
        mostOpenStreams = std::max(mostOpenStreams, server.stats().openStreams);
    });

    const QDateTime before = QDateTime::currentDateTimeUtc();
    test.start();
    QVERIFY(waitForPhase(test, Phase::done));

    QCOMPARE(phases, (std::vector<Phase::Kind>{Phase::latency, Phase::download, Phase::upload, Phase::done}));
    // Latency progress runs 1/6 … 1; each throughput phase starts again near
    // 0, never exceeds 1, and ends at exactly 1.
    std::vector<double> latency, download, upload;
    for (const auto& [kind, value] : progress) {
        QVERIFY2(value >= 0 && value <= 1.0, qPrintable(QString::number(value)));
        (kind == Phase::latency ? latency : kind == Phase::download ? download : upload).push_back(value);
    }
    QCOMPARE(latency.size(), size_t(6));
    QCOMPARE(latency[0], 1.0 / 6);
    QCOMPARE(latency.back(), 1.0);
    QVERIFY(!download.empty() && download.front() < 0.2);
    QCOMPARE(download.back(), 1.0);
    QVERIFY(!upload.empty() && upload.front() < 0.2);
    QCOMPARE(test.progress(), 1.0);

    QVERIFY(liveSamples >= 4);
    QVERIFY2(liveAtUploadStart > 0, "the last download sample stays until the upload's first sample");
    QCOMPARE(test.liveMbps(), 0.0);

    const SpeedResult result = test.result();
    QVERIFY2(qAbs(result.downloadMbps - 40) < 6, qPrintable(QString::number(result.downloadMbps)));
    QVERIFY2(qAbs(result.uploadMbps - 40) < 6, qPrintable(QString::number(result.uploadMbps)));
    QVERIFY(result.latencyMs >= 0 && result.latencyMs < 1000);
    QVERIFY(result.jitterMs >= 0);
    QVERIFY(result.date >= before.addSecs(-1) && result.date <= QDateTime::currentDateTimeUtc());
    // Everything moved, warm-ups included: at least what the measuring
    // windows alone account for.
    const double windowBytes = (result.downloadMbps * 1.0 + result.uploadMbps * 0.8) * 1e6 / 8;
    QVERIFY2(result.bytes > windowBytes, qPrintable(QString::number(result.bytes)));

    const SpeedTestServer::Stats stats = server.stats();
    QCOMPARE(stats.requests[size_t(Kind::latency)], qint64(6));
    QCOMPARE(stats.latencyConnections.size(), size_t(1)); // one reused connection
    QCOMPARE(mostOpenStreams, SpeedTest::streams);        // each stream on a connection of its own
    QCOMPARE(stats.expectHeaders, qint64(0));
    QTRY_COMPARE(server.stats().openStreams, 0); // the streams end with the test
}

void SpeedTestTest::startWhileRunningIsIgnoredAndRestartClears()
{
    SpeedTestServer server;
    server.setRate(20);
    SpeedTest test(fastOptions(server));
    test.start();
    QVERIFY(waitForPhase(test, Phase::download));
    const SpeedResult during = test.result();
    QVERIFY(during.latencyMs >= 0);
    QSignalSpy phases(&test, &SpeedTest::phaseChanged);
    test.start();
    QCOMPARE(test.phase().kind(), Phase::download);
    QCOMPARE(test.result(), during);
    QCOMPARE(phases.count(), 0);

    QVERIFY(waitForPhase(test, Phase::done));
    QVERIFY(test.result().downloadMbps > 0);
    test.start();
    QCOMPARE(test.phase().kind(), Phase::latency);
    QCOMPARE(test.result(), SpeedResult());
    QCOMPARE(test.result().date, SpeedResult::distantPast());
    QCOMPARE(test.progress(), 0.0);
    QVERIFY(waitForPhase(test, Phase::done));
}

void SpeedTestTest::stopFromEachPhase_data()
{
    QTest::addColumn<int>("phase");
    QTest::newRow("latency") << int(Phase::latency);
    QTest::newRow("download") << int(Phase::download);
    QTest::newRow("upload") << int(Phase::upload);
}

void SpeedTestTest::stopFromEachPhase()
{
    QFETCH(int, phase);
    SpeedTestServer server;
    server.setRate(50);
    if (phase == Phase::latency)
        server.setBehaviour(Kind::latency, Behaviour::stall);
    SpeedTest::Options options = fastOptions(server);
    options.download = options.upload = 5000ms; // long enough to stop in
    SpeedTest test(options);
    test.start();
    QVERIFY(waitForPhase(test, Phase::Kind(phase)));
    if (phase != Phase::latency)
        QTRY_VERIFY(test.liveMbps() > 0);

    test.stop();
    QCOMPARE(test.phase().kind(), Phase::idle);
    QCOMPARE(test.progress(), 0.0);
    QCOMPARE(test.liveMbps(), 0.0);
    // Nothing runs on: no later phase, and the server sees its transfers end.
    QTRY_COMPARE(server.stats().openStreams, 0);
    QSignalSpy phases(&test, &SpeedTest::phaseChanged);
    QSignalSpy live(&test, &SpeedTest::liveMbpsChanged);
    QVERIFY(!phases.wait(600));
    QCOMPARE(live.count(), 0);
    QCOMPARE(test.phase().kind(), Phase::idle);
}

void SpeedTestTest::stopAfterDoneKeepsResult()
{
    SpeedTestServer server;
    server.setRate(20);
    SpeedTest test(fastOptions(server));
    test.start();
    QVERIFY(waitForPhase(test, Phase::done));
    const SpeedResult result = test.result();
    test.stop();
    QCOMPARE(test.phase().kind(), Phase::done);
    QCOMPARE(test.result(), result);
    QCOMPARE(test.progress(), 0.0);
}

void SpeedTestTest::failedLatencyRequest_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    QTest::newRow("refused") << "refuse" << QStringLiteral("サーバーに接続できませんでした。");
    QTest::newRow("stalled") << "stall" << QStringLiteral("要求がタイムアウトしました。");
    QTest::newRow("dropped") << "drop" << QStringLiteral("ネットワーク接続が切れました。");
}

void SpeedTestTest::failedLatencyRequest()
{
    QFETCH(QString, how);
    QFETCH(QString, message);
    SpeedTestServer server;
    if (how == "refuse")
        server.setRefusing(true);
    else
        server.setBehaviour(Kind::latency, how == "stall" ? Behaviour::stall : Behaviour::drop);
    SpeedTest test(fastOptions(server));
    test.start();
    QVERIFY(waitForPhase(test, Phase::failed));
    QCOMPARE(test.phase(), Phase::failure(message));
    QCOMPARE(test.result(), SpeedResult());
    QCOMPARE(server.stats().requests[size_t(Kind::download)], qint64(0));
}

void SpeedTestTest::failureTextsAreTheProgramsOwn()
{
    // Whatever libcurl reports, its English text never reaches the user.
    HttpTransfers::Outcome outcome;
    LocaleSettings::apply(AppLanguage::ja);
    for (outcome.curlCode = 1; outcome.curlCode < CURL_LAST; ++outcome.curlCode) {
        outcome.detail = QString::fromUtf8(curl_easy_strerror(CURLcode(outcome.curlCode)));
        const QString text = SpeedTest::describeFailure(outcome);
        QVERIFY2(text.endsWith(u'。') && !text.contains(outcome.detail), qPrintable(text));
    }
    LocaleSettings::apply(AppLanguage::en);
    for (const auto& [code, text] :
         {std::pair{CURLE_UNSUPPORTED_PROTOCOL,
                    "The speed test server's address must begin with http:// or https://."},
          {CURLE_PEER_FAILED_VERIFICATION,
           "The server's certificate could not be verified. The connection may be intercepted."},
          {CURLE_COULDNT_RESOLVE_PROXY, "The proxy's host name could not be found."},
          {CURLE_SSL_ENGINE_NOTFOUND, "Could not communicate with the server (error 53)."}}) {
        outcome.curlCode = code;
        QCOMPARE(SpeedTest::describeFailure(outcome), QString::fromUtf8(text));
    }
    LocaleSettings::apply(AppLanguage::ja);
}

void SpeedTestTest::libcurlDetailGoesToTheLog()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log"));
    qputenv("ONDREL_LOG", QFile::encodeName(log));
    installDebugLogFile();
    SpeedTest::Options options;
    options.baseUrl = "ftp://127.0.0.1:9"; // refused by libcurl before any traffic
    SpeedTest test(options);
    test.start();
    QVERIFY(waitForPhase(test, Phase::failed));
    qunsetenv("ONDREL_LOG");
    QCOMPARE(test.phase().message(),
             QStringLiteral("測定サーバーのアドレスは http:// か https:// で始まる必要があります。"));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray line = file.readAll();
    QVERIFY2(line.contains("latency phase") && line.contains("curl 1: ") && line.contains("ftp"), line);
}

void SpeedTestTest::answersOutside2xxFailTheTest_data()
{
    QTest::addColumn<QList<Kind>>("refusing");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("failedIn");
    const QString refused = QStringLiteral("サーバーが測定の要求を受け付けませんでした (HTTP %1)。");
    const QList<Kind> all{Kind::latency, Kind::download, Kind::upload};
    QTest::newRow("403 to everything") << all << 403 << int(Phase::latency);
    QTest::newRow("redirect to another host") << all << 302 << int(Phase::latency);
    QTest::newRow("the network's own 404 page for downloads")
        << QList<Kind>{Kind::download} << 404 << int(Phase::download);
    QTest::newRow("503 to uploads") << QList<Kind>{Kind::upload} << 503 << int(Phase::upload);
    QTest::newRow("redirected uploads") << QList<Kind>{Kind::upload} << 307 << int(Phase::upload);
}

void SpeedTestTest::answersOutside2xxFailTheTest()
{
    QFETCH(QList<Kind>, refusing);
    QFETCH(int, status);
    QFETCH(int, failedIn);
    SpeedTestServer server;
    server.setRate(200);
    server.setErrorStatus(status);
    for (Kind kind : refusing)
        server.setBehaviour(kind, Behaviour::error);
    SpeedTest test(fastOptions(server));
    Phase::Kind last = Phase::idle;
    connect(&test, &SpeedTest::phaseChanged, this, [&] {
        if (test.phase().isRunning())
            last = test.phase().kind();
    });
    test.start();
    QVERIFY(waitForPhase(test, Phase::failed));
    QCOMPARE(int(last), failedIn);
    const QString message =
        status / 100 == 3 ? QStringLiteral("サーバーが測定を別のアドレスへ転送しようとしました (HTTP %1)。"
                                           "このネットワークではサインインが必要かもしれません。")
                          : QStringLiteral("サーバーが測定の要求を受け付けませんでした (HTTP %1)。");
    QCOMPARE(test.phase().message(), message.arg(status));
    QCOMPARE(test.result().date, SpeedResult::distantPast());
    QCOMPARE(test.liveMbps(), 0.0);
    if (failedIn != Phase::latency) // refused streams were retried
        QVERIFY(server.stats().requests[size_t(refusing.first())] > SpeedTest::streams);
    QTRY_COMPARE(server.stats().openStreams, 0);
}

void SpeedTestTest::droppedStreamsAreReplacedAndMeasured()
{
    SpeedTestServer server;
    server.setRate(200);
    server.setBehaviour(Kind::download, Behaviour::drop);
    server.setBehaviour(Kind::upload, Behaviour::drop);
    SpeedTest test(fastOptions(server));
    test.start();
    QVERIFY(waitForPhase(test, Phase::done));
    const SpeedTestServer::Stats stats = server.stats();
    QVERIFY2(stats.requests[size_t(Kind::download)] > SpeedTest::streams,
             qPrintable(QString::number(stats.requests[size_t(Kind::download)])));
    QVERIFY(stats.requests[size_t(Kind::upload)] > SpeedTest::streams);
    // Half bodies still carry data, and it is measured.
    QVERIFY(test.result().downloadMbps > 10);
    QVERIFY(test.result().uploadMbps > 10);
}

void SpeedTestTest::phaseWithNothingGettingThrough_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("failedIn");
    QTest::addColumn<QString>("message");
    QTest::newRow("download stalled") << "stall download" << int(Phase::download)
                                      << QStringLiteral("ダウンロードの測定中、データが届きませんでした。");
    QTest::newRow("upload stalled") << "stall upload" << int(Phase::upload)
                                    << QStringLiteral("アップロードの測定中、データを送れませんでした。");
    QTest::newRow("refused after the latency phase")
        << "refuse" << int(Phase::download) << QStringLiteral("サーバーに接続できませんでした。");
}

void SpeedTestTest::phaseWithNothingGettingThrough()
{
    QFETCH(QString, how);
    QFETCH(int, failedIn);
    QFETCH(QString, message);
    SpeedTestServer server;
    if (how == "stall download")
        server.setBehaviour(Kind::download, Behaviour::stall);
    if (how == "stall upload")
        server.setBehaviour(Kind::upload, Behaviour::stall);
    SpeedTest::Options options = fastOptions(server);
    // Stalled streams are not given up within the phase: a retried upload
    // would get a new receive window's worth of bytes through.
    options.transferTimeout = 10s;
    SpeedTest test(options);
    Phase::Kind last = Phase::idle;
    connect(&test, &SpeedTest::phaseChanged, this, [&] {
        if (test.phase().isRunning())
            last = test.phase().kind();
        if (how == "refuse" && test.phase().kind() == Phase::download) {
            // The latency phase's idle connection goes too.
            server.setBehaviour(Kind::download, Behaviour::close);
            server.setBehaviour(Kind::upload, Behaviour::close);
            server.setRefusing(true);
        }
    });
    test.start();
    QVERIFY(waitForPhase(test, Phase::failed));
    QCOMPARE(int(last), failedIn);
    QCOMPARE(test.phase().message(), message);
    QCOMPARE(test.result().date, SpeedResult::distantPast());
    QCOMPARE(test.liveMbps(), 0.0);
}

QTEST_GUILESS_MAIN(SpeedTestTest)
#include "SpeedTestTest.moc"
