// "--shot" with "--history", "--speed", "--settings" and "--tab": which
// window is drawn, at which size, and the PNG a run writes.

#include "tests/store/SimulatedRadios.h"

#include "app/Shot.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/SettingsView.h"
#include "wifi/LocationAuth.h"

#include <QImage>
#include <QProcess>
#include <QTest>

using namespace ondrel;
using namespace ondrel::testing;

class ShotSubjectsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void subjectAndSize_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("settings");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QSize>("size");
        QTest::newRow("history wins over settings")
            << QStringList{"ondrel", "--shot", "p.png", "--history", "--settings"} << true
            << "speedHistoryView" << QSize(900, 460);
        QTest::newRow("speed") << QStringList{"ondrel", "--shot", "p.png", "--speed"} << false
                               << "speedTestView" << QSize(460, 620);
        QTest::newRow("history before speed")
            << QStringList{"ondrel", "--speed", "--history", "--shot", "p.png"} << false << "speedHistoryView"
            << QSize(900, 460);
        QTest::newRow("settings") << QStringList{"ondrel", "--shot", "p.png", "--settings"} << true
                                  << "settingsView" << QSize(520, 560);
        QTest::newRow("--speedtest is not --speed") << QStringList{"ondrel", "--shot", "p.png", "--speedtest"}
                                                    << false << "contentView" << QSize(860, 620);
        QTest::newRow("main window") << QStringList{"ondrel", "--shot", "p.png"} << false << "contentView"
                                     << QSize(860, 620);
    }
    void subjectAndSize()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, settings);
        QFETCH(QString, subject);
        QFETCH(QSize, size);
        SimulatedRadios radios(QJsonObject{});
        TestPrefs prefs;
        WiFiStore store(radios.engine(), *prefs);
        LocationAuth location;
        ShotSubject chosen = chooseShotSubject(args, settings, {*prefs, store, location});
        QCOMPARE(chosen.size, size);
        const QString name = chosen.widget->objectName();
        if (subject == QLatin1String("contentView"))
            QVERIFY2(name != "speedHistoryView" && name != "speedTestView" && name != "settingsView",
                     qPrintable(name));
        else
            QCOMPARE(name, subject);
    }

    void settingsTab_data()
    {
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<int>("tab");
        QTest::newRow("2") << QStringList{"--tab", "2"} << 2;
        QTest::newRow("signed") << QStringList{"--tab", "+1"} << 1;
        QTest::newRow("negative") << QStringList{"--tab", "-1"} << -1;
        QTest::newRow("not a number") << QStringList{"--tab", "x"} << 0;
        QTest::newRow("trailing letters") << QStringList{"--tab", "2x"} << 0;
        QTest::newRow("spaces") << QStringList{"--tab", " 2"} << 0;
        QTest::newRow("out of range") << QStringList{"--tab", "99999999999"} << 0;
        QTest::newRow("last argument") << QStringList{"--tab"} << 0;
        QTest::newRow("first occurrence") << QStringList{"--tab", "1", "--tab", "2"} << 1;
        QTest::newRow("absent") << QStringList{} << 0;
    }
    void settingsTab()
    {
        QFETCH(QStringList, tail);
        QFETCH(int, tab);
        const QStringList args = QStringList{"ondrel", "--shot", "p.png", "--settings"} + tail;
        QCOMPARE(shotTab(args), tab);
        SimulatedRadios radios(QJsonObject{});
        TestPrefs prefs;
        WiFiStore store(radios.engine(), *prefs);
        LocationAuth location;
        ShotSubject chosen = chooseShotSubject(args, true, {*prefs, store, location});
        // Pages past the ends leave the first one selected.
        QCOMPARE(static_cast<SettingsView*>(chosen.widget.get())->tab(), tab >= 0 && tab <= 2 ? tab : 0);
    }

    void writesAPngOfTheWindowsSize_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        // Which window at which size is checked in-process above; a run of the
        // program checks the file, the message and that --tab reaches it.
        QTest::newRow("settings about") << QStringList{"--settings", "--tab", "2"} << QSize(520, 560);
    }
    void writesAPngOfTheWindowsSize()
    {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QTemporaryDir dir;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("ONDREL_WIFI_SIMULATION"),
                   qEnvironmentVariable("ONDREL_SOURCE_DIR") +
                       QStringLiteral("/resources/scenarios/demo.json"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        const QString path = dir.filePath(QStringLiteral("shot.png"));
        process.start(qEnvironmentVariable("ONDREL_BINARY"),
                      QStringList{"--lang", "en", "--shot", path} + options);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
                 QStringLiteral("書き出しました: %1\n").arg(path));
        const QImage image(path);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size() / image.devicePixelRatio(), size);
        // An opaque window background.
        QVERIFY(image.pixelColor(2, image.height() - 2).alpha() == 255);
    }
};

QTEST_MAIN(ShotSubjectsTest)
#include "tst_ShotSubjects.moc"
