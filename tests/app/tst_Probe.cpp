// The probe as a user runs it: the built program against a simulated radio
// environment written to a temporary folder.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

const QByteArray kRoom = R"({
  "interface": "wlan0",
  "saved": ["Alpha", "Gamma", ""],
  "networks": [
    {"ssid": "Alpha", "bssid": "aa:00:00:00:00:01", "rssi": -40, "channel": 36, "band": 50, "width": 80,
     "security": "wpa2wpa3Personal", "password": "strong-pass"},
    {"ssid": "Beta", "bssid": "bb:00:00:00:00:02", "rssi": -60, "channel": 6, "band": 24, "security": "open"},
    {"ssid": "Alpha", "bssid": "aa:00:00:00:00:03", "rssi": -70, "channel": 11, "band": 24,
     "security": "wpa2Personal", "password": "weak-pass"},
    {"bssid": "cc:00:00:00:00:04", "rssi": -60, "channel": 149, "band": 50, "security": "wpa2Personal",
     "password": "h"},
    {"ssid": "An unusually long network name that goes on", "bssid": "dd:00:00:00:00:05", "rssi": -80,
     "securityCodes": []},
    {"ssid": "日本語ネットワーク", "rssi": -55, "channel": 5, "band": 60, "security": "wpa3Personal",
     "password": "nihongo-pass"},
    {"ssid": "Gamma", "bssid": "ee:00:00:00:00:07", "rssi": -65, "channel": 40, "band": 50,
     "security": "wpaPersonal", "password": "gamma-secret"},
    {"ssid": "Corp", "bssid": "ff:00:00:00:00:08", "rssi": -90, "channel": 100, "band": 50,
     "security": "enterprise"},
    {"ssid": "Guest", "bssid": "11:00:00:00:00:09", "rssi": -75, "channel": 1, "band": 24, "security": "owe"},
    {"ssid": "Old", "bssid": "22:00:00:00:00:0a", "rssi": -85, "channel": 3, "band": 24, "security": "wep",
     "password": "12345"}
  ]
})";

const QByteArray kTable =
    "SSID                                RSSI    ch Band       Security         BSSID\n"
    "*Alpha                            -40 dBm   36 5 GHz      WPA2/WPA3        aa:00:00:00:00:01\n"
    " 日本語ネットワーク                        -55 dBm    5 6 GHz      WPA3             \n"
    " Beta                             -60 dBm    6 2.4 GHz    Open             bb:00:00:00:00:02\n"
    " (hidden)                         -60 dBm  149 5 GHz      WPA2             cc:00:00:00:00:04\n"
    "*Gamma                            -65 dBm   40 5 GHz      WPA              ee:00:00:00:00:07\n"
    "*Alpha                            -70 dBm   11 2.4 GHz    WPA2             aa:00:00:00:00:03\n"
    " Guest                            -75 dBm    1 2.4 GHz    OWE              11:00:00:00:00:09\n"
    " An unusually long network name that goes on  -80 dBm    0 不明         Unknown          "
    "dd:00:00:00:00:05\n"
    " Old                              -85 dBm    3 2.4 GHz    WEP              22:00:00:00:00:0a\n"
    " Corp                             -90 dBm  100 5 GHz      Enterprise       ff:00:00:00:00:08\n"
    "計 10 件（* はシステムに登録済み）\n";

const QByteArray kStderr = "位置情報: 許可済み\n"
                           "インターフェース: wlan0 / 電源: true / 接続中: なし\n";

} // namespace

class TestProbe : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void table();
    void join_data();
    void join();
    void scanFailures_data();
    void scanFailures();
    void emptyRoom();
    void permissionIsAwaited_data();
    void permissionIsAwaited();
    void hostileNames();

private:
    Run probe(const QByteArray& scenario, const QStringList& args, const QByteArray& input = QByteArray(),
              const QString& scenarioPath = QString());
    QTemporaryDir dir_;
};

void TestProbe::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY2(QFile::exists(qEnvironmentVariable("ONDREL_BINARY")), "ONDREL_BINARY names the built program");
}

Run TestProbe::probe(const QByteArray& scenario, const QStringList& args, const QByteArray& input,
                     const QString& scenarioPath)
{
    const QString path =
        scenarioPath.isEmpty() ? dir_.filePath(QStringLiteral("scenario.json")) : scenarioPath;
    if (scenarioPath.isEmpty()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(scenario) != scenario.size())
            qFatal("cannot write the scenario");
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ONDREL_WIFI_SIMULATION"), path);
    env.insert(QStringLiteral("ONDREL_LOG"), dir_.filePath(QStringLiteral("log.txt")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("ONDREL_BINARY"), QStringList{QStringLiteral("--probe")} + args);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void TestProbe::table()
{
    const Run run = probe(kRoom, {});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, kTable);
    QCOMPARE(run.err, kStderr);
    // "--password" alone and "--connect" standing last join nothing.
    for (const QStringList& args : {QStringList{"--password", "pw"}, QStringList{"--connect"}}) {
        const Run other = probe(kRoom, args);
        QCOMPARE(other.status, 0);
        QCOMPARE(other.out, kTable);
    }
}

void TestProbe::join_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("tail"); // what follows the table
    const QByteArray weakFailed =
        "接続します: Alpha\n失敗: Secrets were required, but not provided.（コード 7）\n";
    QTest::newRow("the stronger of a name")
        << QStringList{"--connect", "Alpha", "--password", "strong-pass"} << QByteArray() << 0
        << QByteArray("接続します: Alpha\n成功。現在の接続先: Alpha\n");
    QTest::newRow("not the weaker one")
        << QStringList{"--connect", "Alpha", "--password", "weak-pass"} << QByteArray() << 1 << weakFailed;
    QTest::newRow("saved, no password") << QStringList{"--connect", "Alpha"} << QByteArray() << 0
                                        << QByteArray("接続します: Alpha\n成功。現在の接続先: Alpha\n");
    QTest::newRow("open") << QStringList{"--connect", "Beta"} << QByteArray() << 0
                          << QByteArray("接続します: Beta\n成功。現在の接続先: Beta\n");
    QTest::newRow("password from standard input")
        << QStringList{"--connect", "日本語ネットワーク", "--password", "-"} << QByteArray("nihongo-pass\n")
        << 0 << QByteArray("接続します: 日本語ネットワーク\n成功。現在の接続先: 日本語ネットワーク\n");
    QTest::newRow("standard input with CR LF")
        << QStringList{"--password", "-", "--connect", "Gamma"} << QByteArray("gamma-secret\r\n") << 0
        << QByteArray("接続します: Gamma\n成功。現在の接続先: Gamma\n");
    QTest::newRow("wrong password from standard input")
        << QStringList{"--connect", "Gamma", "--password", "-"} << QByteArray("gamma-secre\n") << 1
        << QByteArray("接続します: Gamma\n失敗: Secrets were required, but not provided.（コード 7）\n");
    QTest::newRow("unknown name") << QStringList{"--connect", "Missing"} << QByteArray() << 1
                                  << QByteArray("「Missing」は見つかりませんでした\n");
    QTest::newRow("names are case-sensitive") << QStringList{"--connect", "alpha"} << QByteArray() << 1
                                              << QByteArray("「alpha」は見つかりませんでした\n");
    QTest::newRow("hidden is not a name") << QStringList{"--connect", "(hidden)"} << QByteArray() << 1
                                          << QByteArray("「(hidden)」は見つかりませんでした\n");
}

void TestProbe::join()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, tail);
    QFile::remove(dir_.filePath(QStringLiteral("log.txt")));
    const Run run = probe(kRoom, args, input);
    QTEST(run.status, "status");
    QCOMPARE(run.out, kTable + tail);
    QCOMPARE(run.err, kStderr);
    // A password shows up nowhere.
    QFile log(dir_.filePath(QStringLiteral("log.txt")));
    const QByteArray logged = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    for (const char* secret : {"strong-pass", "weak-pass", "nihongo-pass", "gamma-secre"}) {
        QVERIFY(!run.out.contains(secret));
        QVERIFY(!run.err.contains(secret));
        QVERIFY(!logged.contains(secret));
    }
}

void TestProbe::scanFailures_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("no interface") << QByteArray(R"({"networks": [{"ssid": "A"}]})")
                                  << QByteArray(
                                         "位置情報: 許可済み\nインターフェース: なし / 電源: false / 接続中: "
                                         "なし\n失敗: Wi-Fi インターフェースが見つかりません。\n");
    QTest::newRow("radio off") << QByteArray(R"({"interface": "wlan1", "poweredOn": false})")
                               << QByteArray(
                                      "位置情報: 許可済み\nインターフェース: wlan1 / 電源: false / 接続中: "
                                      "なし\n失敗: Wi-Fi がオフになっています。\n");
    QTest::newRow("system failure")
        << QByteArray(R"({"interface": "wlan1", "current": {"ssid": "Here"},
                                                     "scanError": {"code": 4, "description": "Scan busy"}})")
        << QByteArray("位置情報: 許可済み\nインターフェース: wlan1 / 電源: true / 接続中: "
                      "Here\n失敗: Scan busy\n");
}

void TestProbe::scanFailures()
{
    QFETCH(QByteArray, scenario);
    const Run run = probe(scenario, {"--connect", "A"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QByteArray());
    QTEST(run.err, "err");

    // A scenario that cannot be read is said once, then there is no Wi-Fi.
    const Run unreadable = probe({}, {}, {}, dir_.filePath(QStringLiteral("missing.json")));
    QCOMPARE(unreadable.status, 1);
    QVERIFY(unreadable.err.startsWith("ondrel: cannot use the Wi-Fi simulation "));
    QVERIFY(unreadable.err.endsWith("失敗: Wi-Fi インターフェースが見つかりません。\n"));
}

void TestProbe::emptyRoom()
{
    const QByteArray header = kTable.left(kTable.indexOf('\n') + 1);
    const QByteArray footer = "計 0 件（* はシステムに登録済み）\n";
    Run run = probe(R"({"interface": "wlan0"})", {});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, header + footer);
    run = probe(R"({"interface": "wlan0"})", {"--connect", "X"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, header + footer + "「X」は見つかりませんでした\n");
}

void TestProbe::permissionIsAwaited_data()
{
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("asked, denied") << QByteArray(R"({"status": 0, "answer": 2, "answerDelayMs": 300})")
                                   << QByteArray("位置情報: 拒否\n");
    QTest::newRow("asked, allowed") << QByteArray(R"({"status": 0, "answer": 3, "answerDelayMs": 300})")
                                    << QByteArray("位置情報: 許可済み\n");
    QTest::newRow("restricted") << QByteArray(R"({"status": 1})") << QByteArray("位置情報: 制限あり\n");
    QTest::newRow("when in use") << QByteArray(R"({"status": 4})") << QByteArray("位置情報: 不明\n");
}

void TestProbe::permissionIsAwaited()
{
    QFETCH(QByteArray, location);
    const Run run = probe(R"({"interface": "wlan0", "location": )" + location + "}", {});
    QCOMPARE(run.status, 0);
    QTEST(run.err.left(run.err.indexOf('\n') + 1), "line");
}

void TestProbe::hostileNames()
{
    QJsonArray networks;
    const auto add = [&](const QJsonObject& network) { networks.append(network); };
    add({{"ssid", QStringLiteral("Evil\x1b[2J\x1b[31mRed")}, {"bssid", "01"}, {"rssi", -41}, {"channel", 1}});
    add({{"ssid", QString::fromUtf16(u"\u202eReversed\u009b\u2066")},
         {"bssid", "02"},
         {"rssi", -42},
         {"channel", 1}});
    add({{"ssidHex", "ff41"}, {"bssid", "03"}, {"rssi", -43}, {"channel", 1}, {"password", "bytes-pass"}});
    add({{"ssid", QString::fromUtf16(u"Nul\0Byte", 8)}, {"bssid", "04"}, {"rssi", -44}, {"channel", 1}});
    add({{"ssid", "Line\nBreak"}, {"bssid", "05\x1b"}, {"rssi", -45}, {"channel", 1}});
    add({{"ssidHex", "fe41"}, {"bssid", "06"}, {"rssi", -46}, {"channel", 1}, {"password", "other-pass"}});
    const QByteArray scenario = QJsonDocument(QJsonObject{{"interface", "wlan0"},
                                                          {"current", QJsonObject{{"bssid", "02"}}},
                                                          {"networks", networks}})
                                    .toJson(QJsonDocument::Compact);
    // Nothing that acts or hides reaches the terminal: no control character
    // but the line feed, no format character (bidi controls among them).
    const auto clean = [](const Run& run) {
        const QString text = QString::fromUtf8(run.out + run.err);
        return std::none_of(text.begin(), text.end(), [](QChar c) {
            return c != u'\n' &&
                   (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
                    c.isSurrogate() || c == QChar(0xfffd));
        });
    };

    const auto row = [](const char* shown, int rssi, const char* bssid) {
        QByteArray name(shown);
        // Escapes are ASCII, so the padding is plain.
        const qsizetype characters = QString::fromUtf8(name).size();
        return " " + name + QByteArray(31 - characters, ' ') + " " +
               QByteArray::number(rssi).rightJustified(4) + " dBm    1 2.4 GHz    Open             " + bssid +
               "\n";
    };
    const QByteArray header = kTable.left(kTable.indexOf('\n') + 1);
    const QByteArray table = header + row("Evil\\x1b[2J\\x1b[31mRed", -41, "01") +
                             row("\\u202eReversed\\u009b\\u2066", -42, "02") + row("\\xffA", -43, "03") +
                             row("Nul\\x00Byte", -44, "04") + row("Line\\x0aBreak", -45, "05\\x1b") +
                             row("\\xfeA", -46, "06") + "計 6 件（* はシステムに登録済み）\n";
    Run run = probe(scenario, {});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, table);
    QVERIFY(run.err.endsWith("接続中: \\u202eReversed\\u009b\\u2066\n"));
    QVERIFY(clean(run));

    // By the raw name (ESC and all) or by the name as the table shows it;
    // either way the printed lines stay escaped.
    for (const QString& target :
         {QStringLiteral("Evil\x1b[2J\x1b[31mRed"), QStringLiteral("Evil\\x1b[2J\\x1b[31mRed")}) {
        run = probe(scenario, {"--connect", target});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out,
                 table +
                     "接続します: Evil\\x1b[2J\\x1b[31mRed\n成功。現在の接続先: Evil\\x1b[2J\\x1b[31mRed\n");
        QVERIFY(clean(run));
    }
    run = probe(scenario, {"--connect", "Nul\\x00Byte"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.endsWith("成功。現在の接続先: Nul\\x00Byte\n"));
    QVERIFY(clean(run));

    // Two names that are not UTF-8 and differ in one byte: each is shown
    // and joined by its own bytes (the other's password would not do).
    run = probe(scenario, {"--connect", "\\xffA", "--password", "bytes-pass"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.endsWith("成功。現在の接続先: \\xffA\n"));
    run = probe(scenario, {"--connect", "\\xfeA", "--password", "bytes-pass"});
    QCOMPARE(run.status, 1);
    QVERIFY(clean(run));
}

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_Probe.moc"
