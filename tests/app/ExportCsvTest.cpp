#include "speed/SpeedHistory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace ondrel;

namespace {

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kJapaneseHeader =
    QStringLiteral("日時,ネットワーク,BSSID,電波 (dBm),周波数帯,チャンネル,ダウンロード (Mbps),"
                   "アップロード (Mbps),応答時間 (ms),ゆらぎ (ms),使った通信量 (MB)\r\n")
        .toUtf8();
const QByteArray kEnglishHeader("Date,Network,BSSID,Signal (dBm),Band,Channel,Download (Mbps),Upload (Mbps),"
                                "Latency (ms),Jitter (ms),Data used (MB)\r\n");

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class ExportCsvTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void writesTheFile_data();
    void writesTheFile();
    void failedWriteIsReported();
    void historyThatIsNotAFile_data();
    void historyThatIsNotAFile();

private:
    Run run(const QStringList& args);
    QString historyPath() const { return dir_->filePath(QStringLiteral("data/Ondrel/speed-history.json")); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void ExportCsvTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
}

Run ExportCsvTest::run(const QStringList& args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_->filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir_->path());
    process.start(qEnvironmentVariable("ONDREL_BINARY"), args);
    Run result;
    if (!process.waitForFinished(30000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void ExportCsvTest::writesTheFile_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("empty, Japanese") << QStringList{"--export-csv", "out.csv"} << 0 << kJapaneseHeader;
    QTest::newRow("empty, --lang en")
        << QStringList{"--lang", "en", "--export-csv", "out.csv"} << 0 << kEnglishHeader;
    QTest::newRow("two entries") << QStringList{"--lang", "en", "--export-csv", "out.csv"} << 2
                                 << kEnglishHeader;
}

void ExportCsvTest::writesTheFile()
{
    QFETCH(QStringList, args);
    QFETCH(int, entries);
    QFETCH(QByteArray, header);
    QByteArray rows;
    if (entries > 0) {
        SpeedHistory history(historyPath());
        for (int i = 0; i < entries; ++i) {
            SpeedEntry entry;
            entry.id = QUuid::createUuid();
            entry.date = QDateTime::fromSecsSinceEpoch(1'700'000'000 + i * 60, Qt::UTC);
            entry.ssid = QStringLiteral("Net %1").arg(i);
            entry.band = 24;
            entry.channel = 6;
            entry.rssi = -50;
            entry.downloadMbps = 10.5;
            entry.uploadMbps = 2;
            entry.bytes = 5'000'000;
            history.add(entry);
            rows += QStringLiteral("2023-11-14T22:%1:20Z,Net %2,,-50,2.4 GHz,6,10.50,2.00,0,0,5\r\n")
                        .arg(13 + i)
                        .arg(i)
                        .toUtf8();
        }
    }
    // An existing file is replaced whole.
    QFile old(dir_->filePath(QStringLiteral("out.csv")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'x'));
    old.close();

    const Run result = run(args);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, QStringLiteral("%1 件を書き出しました: out.csv\n").arg(entries).toUtf8());
    QCOMPARE(result.err, QByteArray());
    QFile file(dir_->filePath(QStringLiteral("out.csv")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kBom + header + rows);
}

void ExportCsvTest::failedWriteIsReported()
{
    const Run result = run({"--export-csv", "missing/out.csv"});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.out, QByteArray());
    QVERIFY2(result.err.startsWith(QStringLiteral("書き出せませんでした: missing/out.csv: ").toUtf8()),
             result.err);
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("missing/out.csv"))));
}

void ExportCsvTest::historyThatIsNotAFile_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("symlink to a FIFO") << "link to fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("symlink to a device") << "link to /dev/null";
    QTest::newRow("symlink to a file is fine") << "link to file";
}

void ExportCsvTest::historyThatIsNotAFile()
{
    QFETCH(QString, what);
    const QString other = dir_->filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(QFileInfo(historyPath()).absolutePath());
    if (what.contains("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(what == "fifo" ? historyPath() : other).constData(), 0600), 0);
    if (what == "folder")
        QVERIFY(QDir().mkpath(historyPath()));
    if (what == "link to file") {
        SpeedEntry entry;
        entry.id = QUuid::createUuid();
        entry.date = QDateTime::currentDateTimeUtc();
        SpeedHistory(other).add(entry);
    }
    if (what.startsWith("link"))
        QVERIFY(QFile::link(what.endsWith("/dev/null") ? "/dev/null" : other, historyPath()));

    if (what == "link to file") {
        const Run result = run({"--export-csv", "out.csv"});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QByteArray("1 件を書き出しました: out.csv\n"));
        return;
    }
    for (const QString& format : {QStringLiteral("csv"), QStringLiteral("json")}) {
        const Run result = run({"--export-" + format, "out." + format});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains("は通常のファイルではないため"), result.err);
        QVERIFY(!QFile::exists(dir_->filePath("out." + format)));
    }
}

QTEST_GUILESS_MAIN(ExportCsvTest)
#include "ExportCsvTest.moc"
