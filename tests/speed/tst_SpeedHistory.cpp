// The history file: its format, limits, sharing between processes, damaged or odd paths, the CSV export.

#include "localization/LocaleSettings.h"
#include "speed/SpeedHistory.h"
#include "wifi/SsidText.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ondrel;

namespace {

// Figures distinct from one another and from the decoded fixture's.
SpeedEntry entry(const QString& ssid, qint64 seconds = 1'700'000'000)
{
    const QUuid id = QUuid::createUuid();
    const QDateTime date = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    return {id, date, ssid, "aa:bb:cc:dd:ee:ff", -55, 50, 36, 123.456, 45.5, 12, 3, 345'678'901, {}, {}};
}

// A stored entry without its closing brace.
const QByteArray kStored =
    R"({"id":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0","date":"2026-03-04T05:06:07Z","ssid":"Home",)"
    R"("bssid":"aa:bb:cc:dd:ee:ff","rssi":-60,"band":24,"channel":6,"downloadMbps":88.5,"uploadMbps":12,)"
    R"("latencyMs":20,"jitterMs":4,"bytes":1000)";

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

} // namespace

class tst_SpeedHistory : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path_;

private Q_SLOTS:
    void init()
    {
        path_ = dir_.filePath(QUuid::createUuid().toString(QUuid::Id128) + "/Ondrel/history.json");
    }

    void fileFormat()
    {
        SpeedHistory history(path_);
        QSignalSpy changed(&history, &SpeedHistory::entriesChanged);
        // A name with a byte-order mark and a byte that is not UTF-8; a date with milliseconds.
        SpeedEntry first = entry(QString::fromUtf16(u"\ufeffCaf\u00e9\xdcff"));
        first.date = first.date.addMSecs(750);
        first.noise = -92;
        SpeedEntry second = entry("Office", 1'700'000'100);
        second.bssid.reset();
        QVERIFY(history.add(first) && history.add(second));
        QCOMPARE(std::tuple(changed.count(), history.entries()[0].id, history.entries()[1].date),
                 std::tuple(2, second.id, QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC)));
        const QByteArray file = read(path_);
        QVERIFY(file.contains("\n    {")); // pretty-printed
        const QJsonArray array = QJsonDocument::fromJson(file).array();
        const QJsonObject newest = array[0].toObject(), oldest = array[1].toObject();
        QCOMPARE(std::tuple(newest.contains("bssid"), newest.contains("noise"), oldest["date"].toString(),
                            oldest["id"].toString(), oldest["noise"].toInteger()),
                 std::tuple(false, false, QStringLiteral("2023-11-14T22:13:20Z"),
                            first.id.toString(QUuid::WithoutBraces).toUpper(), qint64(-92)));
        QCOMPARE(SpeedHistory(path_).entries(), history.entries());
    }

    void strictDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("count"); // -1: not a history
        const QByteArray valid = kStored + "}";
        const auto with = [&](const char* from, const char* to) {
            return "[" + QByteArray(valid).replace(from, to) + "]";
        };
        QTest::newRow("valid") << "[" + valid + "," + valid + "]" << 2;
        QTest::newRow("empty array") << QByteArray("[]") << 0;
        QTest::newRow("bssid absent") << with(R"("bssid":"aa:bb:cc:dd:ee:ff",)", "") << 1;
        QTest::newRow("bssid null") << with(R"("aa:bb:cc:dd:ee:ff")", "null") << 1;
        QTest::newRow("noise") << with(R"("rssi")", R"("noise":-92,"rssi")") << 1;
        QTest::newRow("noise null") << with(R"("rssi")", R"("noise":null,"rssi")") << 1;
        QTest::newRow("noise as text") << with(R"("rssi")", R"("noise":"-92","rssi")") << -1;
        QTest::newRow("noise fractional") << with(R"("rssi")", R"("noise":-92.5,"rssi")") << -1;
        QTest::newRow("extra keys ignored") << with(R"("rssi")", R"("extra":[1,2],"rssi")") << 1;
        QTest::newRow("lower-case id") << with("0F1E2D3C-4B5A", "0f1e2d3c-4b5a") << 1;
        QTest::newRow("rssi fractional") << with("-60", "-60.5") << -1;
        QTest::newRow("rssi as text") << with("-60", "\"-60\"") << -1;
        QTest::newRow("ssid missing") << with(R"("ssid":"Home",)", "") << -1;
        QTest::newRow("bssid a number") << with(R"("aa:bb:cc:dd:ee:ff")", "5") << -1;
        QTest::newRow("fractional seconds") << with("07Z", "07.250Z") << -1;
        QTest::newRow("zone offset") << with("07Z", "07+09:00") << -1;
        QTest::newRow("impossible date") << with("2026-03-04", "2026-02-30") << -1;
        QTest::newRow("id not a UUID") << with("0F1E2D3C-4B5A", "XYZ") << -1;
        QTest::newRow("one bad entry spoils the file")
            << "[" + valid + "," + with("1000", "null").mid(1) << -1;
        QTest::newRow("object, not array") << valid << -1;
    }

    void strictDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        const std::optional<QList<SpeedEntry>> entries = SpeedHistory::decode(json);
        QCOMPARE(entries ? int(entries->size()) : -1, count);
        if (count == 1)
            QCOMPARE(std::tuple((*entries)[0].ssid, (*entries)[0].date, (*entries)[0].rssi,
                                (*entries)[0].uploadMbps, (*entries)[0].noise),
                     std::tuple(QStringLiteral("Home"), QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC),
                                qint64(-60), 12.0,
                                json.contains("\"noise\":-92") ? std::optional<qint64>(-92) : std::nullopt));
    }

    // Earlier versions' files load and keep their form when rewritten; a phase's latency under load is
    // written only where measured, and read only with both figures whole from 0 up (else that phase
    // alone is left out).
    void loadedLatency_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<std::optional<LoadedLatency>>("download");
        QTest::addColumn<std::optional<LoadedLatency>>("upload");
        using L = std::optional<LoadedLatency>;
        QTest::newRow("none: an earlier version's entry") << QByteArray() << L() << L();
        QTest::newRow("both phases")
            << QByteArray(
                   R"(,"downloadLatencyMs":170,"downloadJitterMs":6,"uploadLatencyMs":61,"uploadJitterMs":2)")
            << L({170, 6}) << L({61, 2});
        QTest::newRow("upload only") << QByteArray(R"(,"uploadLatencyMs":61,"uploadJitterMs":2)") << L()
                                     << L({61, 2});
        QTest::newRow("a jitter missing") << QByteArray(R"(,"downloadLatencyMs":170)") << L() << L();
        QTest::newRow("a negative jitter")
            << QByteArray(
                   R"(,"downloadLatencyMs":170,"downloadJitterMs":-6,"uploadLatencyMs":61,"uploadJitterMs":2)")
            << L() << L({61, 2});
        QTest::newRow("fractional, negative, text, null")
            << QByteArray(R"(,"downloadLatencyMs":170.5,"downloadJitterMs":6,"uploadLatencyMs":-1,)"
                          R"("uploadJitterMs":2,"x":{"downloadLatencyMs":"1"},"y":null)")
            << L() << L();
    }
    void loadedLatency()
    {
        QFETCH(QByteArray, keys);
        QFETCH(std::optional<LoadedLatency>, download);
        QFETCH(std::optional<LoadedLatency>, upload);
        const QByteArray stored = kStored + keys + "}";
        write(path_, "[" + stored + "]");
        SpeedHistory history(path_);
        QCOMPARE(history.entries().size(), 1);
        const SpeedEntry old = history.entries()[0];
        QCOMPARE(std::tuple(old.latencyMs, old.downloadLatency, old.uploadLatency),
                 std::tuple(qint64(20), download, upload));
        SpeedEntry measured = entry("Office");
        measured.downloadLatency = LoadedLatency{140, 9};
        history.add(measured);
        // The earlier entry is written back with what it had (what could not be read dropped),
        // the new one with its figure.
        const QJsonArray file = QJsonDocument::fromJson(read(path_)).array();
        QJsonObject expected = QJsonDocument::fromJson(stored).object();
        for (const char* key :
             {"x", "y", "downloadLatencyMs", "downloadJitterMs", "uploadLatencyMs", "uploadJitterMs"})
            expected.remove(QLatin1String(key));
        for (const auto& [prefix, figure] : {std::pair("download", download), std::pair("upload", upload)}) {
            if (figure) {
                expected.insert(QLatin1String(prefix) + "LatencyMs", figure->latencyMs);
                expected.insert(QLatin1String(prefix) + "JitterMs", figure->jitterMs);
            }
        }
        QCOMPARE(file[1].toObject(), expected);
        QCOMPARE(std::tuple(file[0]["downloadLatencyMs"].toInt(), file[0]["downloadJitterMs"].toInt(),
                            file[0].toObject().contains("uploadLatencyMs")),
                 std::tuple(140, 9, false));
        QCOMPARE(SpeedHistory(path_).entries(), history.entries());
    }

    void editing()
    {
        // A file of more than the limit loads whole; the next change keeps the newest.
        QList<SpeedEntry> many;
        for (int i = 0; i < 1001; ++i)
            many.append(entry(QString::number(i), 1'600'000'000 - i));
        write(path_, SpeedHistory::encode(many));
        SpeedHistory history(path_);
        QCOMPARE(history.entries().size(), 1001);
        const SpeedEntry a = entry("Home", 1), b = entry("home", 2), c = entry("Home", 3);
        history.add(a);
        history.add(b); // a full history stays full
        // The oldest went, in the file too.
        QCOMPARE(std::tuple(history.entries().size(), history.entries().back().id),
                 std::tuple(1000, many[997].id));
        QCOMPARE(SpeedHistory(path_).entries(), history.entries());

        history.clear();
        for (const SpeedEntry& e : {a, b, c})
            history.add(e);
        QCOMPARE(std::tuple(history.latest("Home"), history.count("Home"), history.count("home"),
                            history.count(QString()), history.latest(QString()), history.latest("HOME")),
                 std::tuple(c, 2, 1, 0, std::nullopt, std::nullopt));
        QSignalSpy changed(&history, &SpeedHistory::entriesChanged);
        history.remove({});
        QCOMPARE(changed.count(), 0);
        history.remove({c.id, QUuid::createUuid()});
        QCOMPARE(history.latest("Home")->id, a.id);
        history.restore({a, c}); // undo: what is still there is not added twice
        QCOMPARE(std::tuple(history.entries().size(), history.entries().back().id), std::tuple(3, c.id));
        history.remove({c.id});
        QCOMPARE(SpeedHistory(path_).entries(), history.entries());
        history.clear();
        QVERIFY(history.entries().isEmpty() && QJsonDocument::fromJson(read(path_)).array().isEmpty());
    }

    void sharedBetweenProcesses()
    {
        // The windows and a terminal's test, each with its own copy of the list.
        SpeedHistory window(path_), terminal(path_);
        const SpeedEntry first = entry("A"), second = entry("B"), third = entry("C");
        window.add(first);
        terminal.add(second);
        window.add(third);
        QCOMPARE(std::tuple(window.entries().size(), window.entries()[1].id), std::tuple(3, second.id));
        terminal.remove({first.id});
        QCOMPARE(std::tuple(terminal.entries().size(), SpeedHistory(path_).entries()),
                 std::tuple(2, terminal.entries()));

        // Another process holds the lock while it writes its own entry.
        const int fd = ::open(QFile::encodeName(path_ + ".lock").constData(), O_RDWR | O_CREAT, 0600);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
        const SpeedEntry added = entry("added"), foreign = entry("foreign");
        std::thread writer([&] { SpeedHistory(path_).add(added); });
        write(path_, SpeedHistory::encode({foreign}));
        ::close(fd);
        writer.join();
        QCOMPARE(SpeedHistory(path_).entries(), (QList{added, foreign}));
    }

    void damagedAndOddPaths()
    {
        // An undecodable file is kept aside, a second one beside the first.
        write(path_, "not a history");
        SpeedHistory history(path_);
        QVERIFY(history.entries().isEmpty());
        history.add(entry("A"));
        write(path_, "[{\"broken\":");
        history.add(entry("B"));
        QCOMPARE(read(path_ + ".unreadable"), QByteArray("not a history"));
        QCOMPARE(read(path_ + ".unreadable.2"), QByteArray("[{\"broken\":"));
        QCOMPARE(SpeedHistory(path_).entries().size(), 2); // the list in memory was the base

        // A file where the folder should be: the list lives on in memory.
        const QString blocked = dir_.filePath(QStringLiteral("blocked/history.json"));
        write(dir_.filePath(QStringLiteral("blocked")), "in the way");
        SpeedHistory unwritable(blocked);
        QVERIFY(!unwritable.add(entry("A")) && !unwritable.add(entry("B")));
        QCOMPARE(unwritable.entries().size(), 2);

        // A FIFO is neither opened (that would wait for a writer) nor replaced.
        const QString fifo = dir_.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        SpeedHistory pipe(fifo);
        QVERIFY(pipe.fileProblem().contains(fifo) && !pipe.add(entry("A")));
        struct stat info;
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    }

    void csv()
    {
        qputenv("TZ", "Asia/Tokyo");
        LocaleSettings::apply(AppLanguage::en);
        const QString header =
            "Date,Network,BSSID,Signal (dBm),Band,Channel,Download (Mbps),Upload (Mbps),Latency (ms),"
            "Jitter (ms),Data used (MB)\r\n";
        QCOMPARE(SpeedHistory::csv({}), header);
        SpeedEntry quoted = entry("Café, \"Home\"");
        std::tie(quoted.downloadMbps, quoted.uploadMbps, quoted.bytes) =
            std::tuple(12.5, 0.125, 1'234'567'890);
        SpeedEntry formula = entry("=HYPERLINK(\"x\")", 1'700'000'060);
        // A band outside the known codes, even one that an int would wrap to 24.
        std::tie(formula.bssid, formula.band, formula.bytes) =
            std::tuple(std::nullopt, (1LL << 32) + 24, 2'500'000);
        SpeedEntry minus = entry("-5", 1'700'000'120);
        std::tie(minus.bssid, minus.band, minus.bytes) = std::tuple("@a\r\n\"b\"", 24, 3'500'000);
        SpeedEntry carriageReturn = entry(ssidFromBytes("+a\rb\xff"), 1'700'000'180);
        // A lone CR in a cell ends a record for many readers: the cell is quoted.
        std::tie(carriageReturn.band, carriageReturn.bssid) = std::tuple(60, "aa\rbb");
        // Newest first, as the history keeps them; the oldest first in the file.
        QCOMPARE(
            SpeedHistory::csv({carriageReturn, minus, formula, quoted}),
            header +
                "2023-11-15T07:13:20+09:00,\"Café, \"\"Home\"\"\",aa:bb:cc:dd:ee:ff,-55,5 "
                "GHz,36,12.50,0.12,12,3,1235\r\n"
                "2023-11-15T07:14:20+09:00,\"'=HYPERLINK(\"\"x\"\")\",,-55,Unknown,36,123.46,45.50,12,3,2\r\n"
                "2023-11-15T07:15:20+09:00,'-5,\"'@a\r\n\"\"b\"\"\",-55,2.4 GHz,36,123.46,45.50,12,3,4\r\n"
                "2023-11-15T07:16:20+09:00,'+a\\x0db\\xff,\"aa\rbb\",-55,6 "
                "GHz,36,123.46,45.50,12,3,346\r\n");
        // The latencies under load stay out: other tools read these columns.
        SpeedEntry loaded = quoted;
        std::tie(loaded.downloadLatency, loaded.uploadLatency) =
            std::pair(LoadedLatency{170, 6}, LoadedLatency{61, 2});
        QCOMPARE(SpeedHistory::csv({loaded}), SpeedHistory::csv({quoted}));
        qputenv("TZ", "UTC");
        QVERIFY(SpeedHistory::csv({quoted}).contains("\r\n2023-11-14T22:13:20Z,"));
        LocaleSettings::apply(AppLanguage::ja);
        QVERIFY(SpeedHistory::csv({}).startsWith("日時,ネットワーク,BSSID,電波 (dBm),周波数帯,"));
    }
};

QTEST_GUILESS_MAIN(tst_SpeedHistory)
#include "tst_SpeedHistory.moc"
