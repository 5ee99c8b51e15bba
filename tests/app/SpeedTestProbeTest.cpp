#include "tests/speed/SpeedTestServer.h"

#include "speed/SpeedHistory.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace ondrel;
using testing::SpeedTestServer;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

const char kOnNetwork[] =
    "{\"interface\": \"wlan0\", \"networks\": [{\"ssid\": \"Caf\u00e9 \\\"Home\\\"\", \"bssid\": "
    "\"12:34:56:78:9a:bc\", "
    "\"rssi\": -52, \"channel\": 36, \"band\": 50}], \"current\": {\"bssid\": \"12:34:56:78:9a:bc\"}}";
const char kOffNetwork[] = "{\"interface\": \"wlan0\", \"networks\": []}";

} // namespace

class SpeedTestProbeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void fullRunPrintsAndStores();
    void failedRun_data();
    void failedRun();

private:
    Run run(const QByteArray& scenario, const QByteArray& url) { return finish(*start(scenario, url)); }
    // The program with `args` on its own scenario file and data folder `data`.
    std::unique_ptr<QProcess> start(const QByteArray& scenario, const QByteArray& url,
                                    const QStringList& args = {"--speedtest"}, const QString& data = "data");
    static Run finish(QProcess& process);
    QString historyPath() const { return dir_->filePath(QStringLiteral("data/Ondrel/speed-history.json")); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void SpeedTestProbeTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
}

std::unique_ptr<QProcess> SpeedTestProbeTest::start(const QByteArray& scenario, const QByteArray& url,
                                                    const QStringList& args, const QString& data)
{
    const QString scenarioPath = dir_->filePath(data + QStringLiteral("-scenario.json"));
    QFile file(scenarioPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(scenario) != scenario.size())
        qFatal("cannot write the scenario");
    file.close();

    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_->filePath(data));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_->filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("ONDREL_WIFI_SIMULATION"), scenarioPath);
    env.insert(QStringLiteral("ONDREL_SPEEDTEST_URL"), QString::fromUtf8(url));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    process->setProcessEnvironment(env);
    process->start(qEnvironmentVariable("ONDREL_BINARY"), args);
    return process;
}

Run SpeedTestProbeTest::finish(QProcess& process)
{
    Run result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void SpeedTestProbeTest::fullRunPrintsAndStores()
{
    // The program's own phase lengths: about 17 seconds.
    SpeedTestServer server;
    server.setRate(100);
    // The JSON report of a run alongside, on a server and a history of its own.
    SpeedTestServer jsonServer;
    jsonServer.setRate(100);
    const std::unique_ptr<QProcess> json =
        start(kOnNetwork, jsonServer.url(), {"--speedtest", "--json"}, QStringLiteral("json-data"));
    const Run result = run(kOnNetwork, server.url());
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QStringLiteral("段階: latency\n段階: download\n段階: upload\n段階: done\n"));
    const QStringList lines = result.out.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("接続中: Café \"Home\""));
    QCOMPARE(lines[2], QString());
    static const QRegularExpression summary(
        QStringLiteral("^ダウンロード ([0-9.,]+) Mbps / アップロード ([0-9.,]+) Mbps / 応答時間 (\\d+) ms / "
                       "ゆらぎ (\\d+) ms / 通信量 (\\d+) MB$"));
    const QRegularExpressionMatch match = summary.match(lines[1]);
    QVERIFY2(match.hasMatch(), qPrintable(lines[1]));
    const double download = match.captured(1).toDouble();
    const double upload = match.captured(2).toDouble();
    QVERIFY2(qAbs(download - 100) < 5, qPrintable(lines[1]));
    QVERIFY2(qAbs(upload - 100) < 5, qPrintable(lines[1]));

    SpeedHistory history(historyPath());
    QCOMPARE(history.entries().size(), 1);
    const SpeedEntry& entry = history.entries()[0];
    QCOMPARE(entry.ssid, QStringLiteral("Café \"Home\""));
    QCOMPARE(entry.bssid, QStringLiteral("12:34:56:78:9a:bc"));
    QCOMPARE(entry.rssi, qint64(-52));
    QCOMPARE(entry.band, qint64(50));
    QCOMPARE(entry.channel, qint64(36));
    QVERIFY(qAbs(entry.downloadMbps - download) < 0.05);
    QCOMPARE(QString::number(entry.bytes / 1e6, 'f', 0), match.captured(5));
    QVERIFY(qAbs(entry.date.secsTo(QDateTime::currentDateTimeUtc())) < 60);

    const Run report = finish(*json);
    QCOMPARE(report.status, 0);
    QCOMPARE(report.err, result.err);
    QProcess validator;
    validator.start(
        qEnvironmentVariable("ONDREL_PYTHON"),
        {qEnvironmentVariable("ONDREL_SOURCE_DIR") + "/tests/app/tst_json_output.py", "--validate"});
    validator.write(report.out.toUtf8());
    validator.closeWriteChannel();
    QVERIFY(validator.waitForFinished(60000));
    QCOMPARE(validator.readAllStandardOutput(), QByteArray("valid\n"));
    const QJsonObject doc = QJsonDocument::fromJson(report.out.toUtf8()).object();
    const QList<SpeedEntry> stored =
        SpeedHistory(dir_->filePath(QStringLiteral("json-data/Ondrel/speed-history.json"))).entries();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(doc["outcome"].toString(), QStringLiteral("done"));
    QCOMPARE(doc["saved"].toBool(), true);
    QCOMPARE(doc["network"]["ssid"].toString(), QStringLiteral("Café \"Home\""));
    QCOMPARE(doc["entry"]["id"].toString(), stored[0].id.toString(QUuid::WithoutBraces).toUpper());
    QCOMPARE(doc["entry"]["band"].toString(), QStringLiteral("5GHz"));
    QCOMPARE(doc["result"]["downloadMbps"].toDouble(), stored[0].downloadMbps);
    QCOMPARE(doc["result"]["bytes"].toInteger(), stored[0].bytes);
    QVERIFY2(stored[0].uploadMbps > 0, qPrintable(report.out));
}

void SpeedTestProbeTest::failedRun_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    const QString refused = QStringLiteral("サーバーに接続できませんでした。");
    QTest::newRow("on a network") << QByteArray(kOnNetwork) << QStringLiteral("Café \"Home\"") << "refuse"
                                  << refused;
    QTest::newRow("no network") << QByteArray(kOffNetwork) << QStringLiteral("なし") << "refuse" << refused;
    QTest::newRow("403 to everything")
        << QByteArray(kOnNetwork) << QStringLiteral("Café \"Home\"") << "403"
        << QStringLiteral("サーバーが測定の要求を受け付けませんでした (HTTP 403)。");
    QTest::newRow("time limit passed in the latency phase")
        << QByteArray(kOnNetwork) << QStringLiteral("Café \"Home\"") << "stall"
        << QStringLiteral("1 秒以内に測定が終わらなかったので中止しました (段階: latency)");
    // A name that would retitle the terminal and turn the line around.
    const QJsonObject hostile{{"ssid", QString::fromUtf16(u"Evil\x1b]0;pwned\x07\u202eX")}, {"bssid", "12"}};
    QTest::newRow("hostile name") << QJsonDocument(QJsonObject{{"interface", "wlan0"},
                                                               {"networks", QJsonArray{hostile}},
                                                               {"current", QJsonObject{{"bssid", "12"}}}})
                                         .toJson()
                                  << QStringLiteral("Evil\\x1b]0;pwned\\x07\\u202eX") << "refuse" << refused;
}

void SpeedTestProbeTest::failedRun()
{
    QFETCH(QByteArray, scenario);
    QFETCH(QString, network);
    QFETCH(QString, how);
    QFETCH(QString, message);
    SpeedTestServer server;
    if (how == "refuse")
        server.setRefusing(true);
    server.setErrorStatus(403);
    for (auto kind :
         {SpeedTestServer::Kind::latency, SpeedTestServer::Kind::download, SpeedTestServer::Kind::upload})
        server.setBehaviour(kind, how == "stall" ? SpeedTestServer::Behaviour::stall
                                                 : SpeedTestServer::Behaviour::error);
    if (how == "stall")
        qputenv("ONDREL_SPEEDTEST_TIME_LIMIT", "1"); // the program inherits it
    const Run result = run(scenario, server.url());
    qunsetenv("ONDREL_SPEEDTEST_TIME_LIMIT");
    QCOMPARE(result.status, 1);
    QCOMPARE(result.out, QStringLiteral("接続中: %1\n失敗: %2\n").arg(network, message));
    QCOMPARE(result.err, QStringLiteral("段階: latency\n段階: failed(\"%1\")\n").arg(message));
    QVERIFY(!QFile::exists(historyPath()));
    const QString printed = result.out + result.err;
    QVERIFY(std::none_of(printed.begin(), printed.end(), [](QChar c) {
        return c != u'\n' && (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format);
    }));
}

QTEST_GUILESS_MAIN(SpeedTestProbeTest)
#include "SpeedTestProbeTest.moc"
