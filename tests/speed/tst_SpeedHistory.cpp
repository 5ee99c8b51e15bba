#include "speed/SpeedHistory.h"
#include "wifi/SsidText.h"
#include "localization/LocaleSettings.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
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

SpeedEntry makeEntry(const QString& ssid, qint64 secondsSinceEpoch = 1'700'000'000)
{
    SpeedEntry entry;
    entry.id = QUuid::createUuid();
    entry.date = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC);
    entry.ssid = ssid;
    entry.bssid = QStringLiteral("aa:bb:cc:dd:ee:ff");
    entry.rssi = -55;
    entry.band = 50;
    entry.channel = 36;
    entry.downloadMbps = 123.456;
    entry.uploadMbps = 45.5;
    entry.latencyMs = 12;
    entry.jitterMs = 3;
    entry.bytes = 345'678'901;
    return entry;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

const char kValidObject[] =
    R"({"id":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0","date":"2026-03-04T05:06:07Z",)"
    R"("ssid":"Home","bssid":"aa:bb:cc:dd:ee:ff","rssi":-60,"band":24,"channel":6,)"
    R"("downloadMbps":88.5,"uploadMbps":12,"latencyMs":20,"jitterMs":4,"bytes":1000})";

} // namespace

class tst_SpeedHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void savesAndLoadsEveryField();
    void strictDecoding_data();
    void strictDecoding();
    void keepsAtMostTheLimit();
    void removeClearLatestAndCount();
    void twoInstancesMergeTheirChanges();
    void changeWaitsForTheLockAndMerges();
    void unreadableFileIsKeptAside();
    void unwritableFolderKeepsTheListInMemory();
    void fifoIsNeitherReadNorReplaced();
    void csvBytes();
    void csvParsesBackWithGuardedFormulas_data();
    void csvParsesBackWithGuardedFormulas();
    void csvOfEmptyHistory();
    void defaultFileFollowsXdgDataHome();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void tst_SpeedHistory::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    path_ = dir_->filePath(QStringLiteral("Ondrel/speed-history.json"));
}

void tst_SpeedHistory::savesAndLoadsEveryField()
{
    SpeedHistory history(path_);
    QVERIFY(QDir(dir_->filePath(QStringLiteral("Ondrel"))).exists());
    QSignalSpy changed(&history, &SpeedHistory::entriesChanged);
    // A name with a byte-order mark and a byte that is not UTF-8 (U+DCFF).
    SpeedEntry withBssid = makeEntry(QString::fromUtf16(u"\ufeffCaf\u00e9\xdcff"));
    withBssid.date = withBssid.date.addMSecs(750); // stored with whole seconds
    SpeedEntry withoutBssid = makeEntry(QStringLiteral("Office"), 1'700'000'100);
    withoutBssid.bssid.reset();
    QVERIFY(history.add(withBssid));
    QVERIFY(history.add(withoutBssid));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(history.entries().size(), 2);
    QCOMPARE(history.entries()[0].id, withoutBssid.id);
    QCOMPARE(history.entries()[1].date, QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));

    const QByteArray file = readAll(path_);
    QVERIFY(file.contains("\n    {")); // pretty-printed
    const QJsonArray array = QJsonDocument::fromJson(file).array();
    QCOMPARE(array.size(), 2);
    QCOMPARE(array[0].toObject().contains("bssid"), false);
    QCOMPARE(array[1].toObject()["date"].toString(), QStringLiteral("2023-11-14T22:13:20Z"));
    QCOMPARE(array[1].toObject()["id"].toString(), withBssid.id.toString(QUuid::WithoutBraces).toUpper());

    SpeedHistory reloaded(path_);
    QCOMPARE(reloaded.entries(), history.entries());
}

void tst_SpeedHistory::strictDecoding_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count");
    const QByteArray valid(kValidObject);
    const auto with = [&](const char* from, const char* to) { return QByteArray(valid).replace(from, to); };
    QTest::newRow("valid") << "[" + valid + "," + valid + "]" << 2;
    QTest::newRow("empty array") << QByteArray("[]") << 0;
    QTest::newRow("bssid absent") << "[" + with(R"("bssid":"aa:bb:cc:dd:ee:ff",)", "") + "]" << 1;
    QTest::newRow("bssid null") << "[" + with(R"("aa:bb:cc:dd:ee:ff")", "null") + "]" << 1;
    QTest::newRow("extra keys ignored") << "[" + with(R"("rssi")", R"("extra":[1,2],"rssi")") + "]" << 1;
    QTest::newRow("lower-case id") << "[" +
                                          with("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0",
                                               "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0") +
                                          "]"
                                   << 1;
    QTest::newRow("rssi missing") << "[" + with(R"("rssi":-60,)", "") + "]" << 0;
    QTest::newRow("rssi fractional") << "[" + with("-60", "-60.5") + "]" << 0;
    QTest::newRow("rssi as text") << "[" + with("-60", "\"-60\"") + "]" << 0;
    QTest::newRow("ssid missing") << "[" + with(R"("ssid":"Home",)", "") + "]" << 0;
    QTest::newRow("bssid a number") << "[" + with(R"("aa:bb:cc:dd:ee:ff")", "5") + "]" << 0;
    QTest::newRow("fractional seconds") << "[" + with("05:06:07Z", "05:06:07.250Z") + "]" << 0;
    QTest::newRow("zone offset") << "[" + with("05:06:07Z", "05:06:07+09:00") + "]" << 0;
    QTest::newRow("impossible date") << "[" + with("2026-03-04", "2026-02-30") + "]" << 0;
    QTest::newRow("id not a UUID") << "[" + with("0F1E2D3C-4B5A", "XYZ") + "]" << 0;
    QTest::newRow("one bad entry spoils the file")
        << "[" + valid + "," + with("\"bytes\":1000", "\"bytes\":null") + "]" << 0;
    QTest::newRow("object, not array") << valid << 0;
    QTest::newRow("not JSON") << QByteArray("[{") << 0;
}

void tst_SpeedHistory::strictDecoding()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    QDir().mkpath(QFileInfo(path_).absolutePath());
    writeAll(path_, json);
    SpeedHistory history(path_);
    QCOMPARE(history.entries().size(), count);
    if (count == 1) {
        const SpeedEntry& entry = history.entries()[0];
        QCOMPARE(entry.ssid, QStringLiteral("Home"));
        QCOMPARE(entry.date, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
        QCOMPARE(entry.rssi, qint64(-60));
        QCOMPARE(entry.uploadMbps, 12.0);
    }
}

void tst_SpeedHistory::keepsAtMostTheLimit()
{
    QJsonArray array;
    QList<QUuid> ids;
    for (int i = 0; i < 1005; ++i) {
        const SpeedEntry entry = makeEntry(QStringLiteral("n%1").arg(i), 1'700'000'000 - i);
        ids.append(entry.id);
        array.append(entry.toJson());
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    writeAll(path_, QJsonDocument(array).toJson());
    SpeedHistory history(path_);
    QCOMPARE(history.entries().size(), 1005); // loaded in full
    const SpeedEntry newest = makeEntry(QStringLiteral("new"));
    history.add(newest);
    QCOMPARE(history.entries().size(), SpeedHistory::limit);
    QCOMPARE(history.entries().front().id, newest.id);
    QCOMPARE(history.entries().back().id, ids[998]); // the oldest went
    QCOMPARE(SpeedHistory(path_).entries().size(), SpeedHistory::limit);
}

void tst_SpeedHistory::removeClearLatestAndCount()
{
    SpeedHistory history(path_);
    const SpeedEntry a = makeEntry(QStringLiteral("Home"), 1);
    const SpeedEntry b = makeEntry(QStringLiteral("home"), 2);
    const SpeedEntry c = makeEntry(QStringLiteral("Home"), 3);
    for (const SpeedEntry& e : {a, b, c})
        history.add(e);
    QCOMPARE(history.latest(QStringLiteral("Home"))->id, c.id);
    QCOMPARE(history.count(QStringLiteral("Home")), 2);
    QCOMPARE(history.count(QStringLiteral("home")), 1);
    QVERIFY(!history.latest(QString()));
    QCOMPARE(history.count(QString()), 0);
    QVERIFY(!history.latest(QStringLiteral("HOME")));

    QSignalSpy changed(&history, &SpeedHistory::entriesChanged);
    history.remove({});
    QCOMPARE(changed.count(), 0);
    QCOMPARE(history.entries().size(), 3);
    history.remove({c.id, QUuid::createUuid()});
    QCOMPARE(history.entries().size(), 2);
    QCOMPARE(history.latest(QStringLiteral("Home"))->id, a.id);
    QCOMPARE(SpeedHistory(path_).entries(), history.entries());
    history.clear();
    QVERIFY(history.entries().isEmpty());
    QCOMPARE(QJsonDocument::fromJson(readAll(path_)).array().size(), 0);
}

void tst_SpeedHistory::twoInstancesMergeTheirChanges()
{
    // The windows and a terminal's test, each with its own copy of the list.
    SpeedHistory window(path_);
    SpeedHistory terminal(path_);
    const SpeedEntry first = makeEntry(QStringLiteral("A"));
    const SpeedEntry second = makeEntry(QStringLiteral("B"));
    const SpeedEntry third = makeEntry(QStringLiteral("C"));
    window.add(first);
    terminal.add(second);
    QCOMPARE(terminal.entries().size(), 2);
    window.add(third);
    QCOMPARE(window.entries().size(), 3);
    QCOMPARE(window.entries()[0].id, third.id);
    QCOMPARE(window.entries()[1].id, second.id);
    terminal.remove({first.id});
    QCOMPARE(terminal.entries().size(), 2);
    QCOMPARE(SpeedHistory(path_).entries(), terminal.entries());
}

void tst_SpeedHistory::changeWaitsForTheLockAndMerges()
{
    SpeedHistory setup(path_);
    const SpeedEntry old = makeEntry(QStringLiteral("old"));
    setup.add(old);

    // Another process holds the lock while it writes its own entry.
    const int fd = ::open(QFile::encodeName(path_ + ".lock").constData(), O_RDWR | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX), 0);
    const SpeedEntry added = makeEntry(QStringLiteral("added"));
    std::thread writer([&] {
        SpeedHistory other(path_);
        other.add(added);
    });
    const SpeedEntry foreign = makeEntry(QStringLiteral("foreign"));
    writeAll(path_, SpeedHistory::encode({foreign, old}));
    ::close(fd);
    writer.join();

    const QList<SpeedEntry> merged = SpeedHistory(path_).entries();
    QCOMPARE(merged.size(), 3);
    QCOMPARE(merged[0].id, added.id);
    QCOMPARE(merged[1].id, foreign.id);
    QCOMPARE(merged[2].id, old.id);
}

void tst_SpeedHistory::unreadableFileIsKeptAside()
{
    QDir().mkpath(QFileInfo(path_).absolutePath());
    writeAll(path_, "not a history");
    SpeedHistory history(path_);
    QVERIFY(history.entries().isEmpty());
    history.add(makeEntry(QStringLiteral("A")));
    QCOMPARE(readAll(path_ + ".unreadable"), QByteArray("not a history"));
    QCOMPARE(SpeedHistory(path_).entries().size(), 1);

    // Damaged again while running: the second copy does not replace the first.
    writeAll(path_, "[{\"broken\":");
    history.add(makeEntry(QStringLiteral("B")));
    QCOMPARE(readAll(path_ + ".unreadable"), QByteArray("not a history"));
    QCOMPARE(readAll(path_ + ".unreadable.2"), QByteArray("[{\"broken\":"));
    QCOMPARE(SpeedHistory(path_).entries().size(), 2); // the list in memory was the base
}

void tst_SpeedHistory::unwritableFolderKeepsTheListInMemory()
{
    // A file where the folder should be: nothing can be written.
    writeAll(dir_->filePath(QStringLiteral("Ondrel")), "in the way");
    SpeedHistory history(path_);
    QVERIFY(!history.add(makeEntry(QStringLiteral("A"))));
    QVERIFY(!history.add(makeEntry(QStringLiteral("B"))));
    QCOMPARE(history.entries().size(), 2);
}

void tst_SpeedHistory::fifoIsNeitherReadNorReplaced()
{
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QCOMPARE(::mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
    SpeedHistory history(path_); // opening the FIFO to read would wait for a writer forever
    QVERIFY(history.fileProblem().contains(path_));
    QVERIFY(!history.add(makeEntry(QStringLiteral("A"))));
    QCOMPARE(history.entries().size(), 1);
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(path_).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
}

void tst_SpeedHistory::csvBytes()
{
    qputenv("TZ", "Asia/Tokyo");
    LocaleSettings::apply(AppLanguage::en);
    SpeedHistory history(path_);
    SpeedEntry quoted = makeEntry(QStringLiteral("Café, \"Home\""), 1'700'000'000);
    quoted.downloadMbps = 12.5;
    quoted.uploadMbps = 0.125;
    quoted.bytes = 1'234'567'890;
    SpeedEntry formula = makeEntry(QStringLiteral("=HYPERLINK(\"x\")"), 1'700'000'060);
    formula.bssid.reset();
    formula.band = 70;
    formula.bytes = 2'500'000;
    SpeedEntry minus = makeEntry(QStringLiteral("-5"), 1'700'000'120);
    minus.band = 24;
    minus.bytes = 3'500'000;
    SpeedEntry carriageReturn = makeEntry(QStringLiteral("a\rb"), 1'700'000'180);
    carriageReturn.band = 60;
    SpeedEntry lineFeed = makeEntry(QStringLiteral("a\nb"), 1'700'000'240);
    for (const SpeedEntry& e : {quoted, formula, minus, carriageReturn, lineFeed})
        history.add(e);

    const QString expected =
        "Date,Network,BSSID,Signal (dBm),Band,Channel,Download (Mbps),Upload (Mbps),Latency (ms),Jitter (ms),"
        "Data used (MB)\r\n"
        "2023-11-15T07:13:20+09:00,\"Café, \"\"Home\"\"\",aa:bb:cc:dd:ee:ff,-55,5 "
        "GHz,36,12.50,0.12,12,3,1235\r\n"
        "2023-11-15T07:14:20+09:00,\"'=HYPERLINK(\"\"x\"\")\",,-55,Unknown,36,123.46,45.50,12,3,2\r\n"
        "2023-11-15T07:15:20+09:00,'-5,aa:bb:cc:dd:ee:ff,-55,2.4 GHz,36,123.46,45.50,12,3,4\r\n"
        "2023-11-15T07:16:20+09:00,a\\x0db,aa:bb:cc:dd:ee:ff,-55,6 GHz,36,123.46,45.50,12,3,346\r\n"
        "2023-11-15T07:17:20+09:00,a\\x0ab,aa:bb:cc:dd:ee:ff,-55,5 GHz,36,123.46,45.50,12,3,346\r\n";
    QCOMPARE(history.csv(), expected);

    qputenv("TZ", "UTC");
    QVERIFY(history.csv().contains("\r\n2023-11-14T22:13:20Z,"));
    LocaleSettings::apply(AppLanguage::ja);
    QVERIFY(history.csv().startsWith("日時,ネットワーク,BSSID,電波 (dBm),周波数帯,"));
}

// The rows of `csv` as Python's csv module reads them.
QList<QStringList> parseWithPython(const QString& csv)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, io, json, sys; print(json.dumps(list(csv.reader("
                                 "io.StringIO(sys.stdin.buffer.read().decode(), newline='')))))")});
    python.write(csv.toUtf8());
    python.closeWriteChannel();
    python.waitForFinished();
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array())
        rows.append(row.toVariant().toStringList());
    return rows;
}

void tst_SpeedHistory::csvParsesBackWithGuardedFormulas_data()
{
    QTest::addColumn<QString>("ssid");
    QTest::addColumn<QString>("field");     // the BSSID column as a CSV reader gives it back
    QTest::addColumn<QString>("nameField"); // the name, shown by the name rule
    for (const auto& [row, start, shown] : {std::tuple{"=", "=", "'="}, {"+", "+", "'+"}, {"-", "-", "'-"},
                                            {"@", "@", "'@"}, {"tab", "\t", "\\x09"}, {"CR", "\r", "\\x0d"}})
        QTest::newRow(row) << start + QStringLiteral("SUM(1)") << "'" + (start + QStringLiteral("SUM(1)"))
                           << shown + QStringLiteral("SUM(1)");
    QTest::newRow("CR inside") << QStringLiteral("Cafe\r=1+1\r@SUM(1)") << QStringLiteral("Cafe\r=1+1\r@SUM(1)")
                               << QStringLiteral("Cafe\\x0d=1+1\\x0d@SUM(1)");
    QTest::newRow("CR LF, comma, quote")
        << QStringLiteral("a\r\n\"b\",c") << QStringLiteral("a\r\n\"b\",c") << QStringLiteral("a\\x0d\\x0a\"b\",c");
    // Bytes that are not UTF-8 stay apart instead of both reading "a?".
    QTest::newRow("invalid bytes") << ssidFromBytes("a\xff") << QString() << QStringLiteral("a\\xff");
}

void tst_SpeedHistory::csvParsesBackWithGuardedFormulas()
{
    QFETCH(QString, ssid);
    QFETCH(QString, field);
    QFETCH(QString, nameField);
    SpeedEntry entry = makeEntry(ssid);
    entry.bssid = field.isNull() ? std::optional<QString>() : ssid;
    const QList<QStringList> rows =
        parseWithPython(SpeedHistory::csv({entry, makeEntry(QStringLiteral("next"))}));
    QCOMPARE(rows.size(), 3);
    for (const QStringList& row : rows)
        QCOMPARE(row.size(), 11);
    QCOMPARE(rows[2][1], nameField);
    if (!field.isNull()) // a hardware address is never bytes that are not UTF-8
        QCOMPARE(rows[2][2], field);
    QCOMPARE(rows[1][1], QStringLiteral("next"));
}

void tst_SpeedHistory::csvOfEmptyHistory()
{
    LocaleSettings::apply(AppLanguage::en);
    QCOMPARE(SpeedHistory(path_).csv(),
             QStringLiteral("Date,Network,BSSID,Signal (dBm),Band,Channel,Download (Mbps),Upload (Mbps),"
                            "Latency (ms),Jitter (ms),Data used (MB)\r\n"));
}

void tst_SpeedHistory::defaultFileFollowsXdgDataHome()
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_->path()));
    QCOMPARE(SpeedHistory::defaultFilePath(), dir_->filePath(QStringLiteral("Ondrel/speed-history.json")));
}

QTEST_GUILESS_MAIN(tst_SpeedHistory)
#include "tst_SpeedHistory.moc"
