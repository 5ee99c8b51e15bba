// "--shot" with "--history", "--speed", "--settings" and "--tab": which
// window is drawn, and at which size (tests/app runs the program).

#include "tests/store/SimulatedRadios.h"

#include "app/Shot.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/SettingsView.h"
#include "wifi/LocationAuth.h"

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

    // Pages past the ends leave the first one selected.
    void settingsTab_data()
    {
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("shown");
        QTest::newRow("2") << QStringList{"--tab", "2"} << 2 << 2;
        QTest::newRow("signed") << QStringList{"--tab", "+1"} << 1 << 1;
        QTest::newRow("negative") << QStringList{"--tab", "-1"} << -1 << 0;
        QTest::newRow("past the last page") << QStringList{"--tab", "3"} << 3 << 0;
        QTest::newRow("trailing letters") << QStringList{"--tab", "2x"} << 0 << 0;
        QTest::newRow("spaces") << QStringList{"--tab", " 2"} << 0 << 0;
        QTest::newRow("out of range") << QStringList{"--tab", "99999999999"} << 0 << 0;
        QTest::newRow("last argument") << QStringList{"--tab"} << 0 << 0;
        QTest::newRow("first occurrence") << QStringList{"--tab", "1", "--tab", "2"} << 1 << 1;
    }
    void settingsTab()
    {
        QFETCH(QStringList, tail);
        const QStringList args = QStringList{"ondrel", "--shot", "p.png", "--settings"} + tail;
        QTEST(shotTab(args), "tab");
        SimulatedRadios radios(QJsonObject{});
        TestPrefs prefs;
        WiFiStore store(radios.engine(), *prefs);
        LocationAuth location;
        ShotSubject chosen = chooseShotSubject(args, true, {*prefs, store, location});
        QTEST(static_cast<SettingsView*>(chosen.widget.get())->tab(), "shown");
    }
};

QTEST_MAIN(ShotSubjectsTest)
#include "tst_ShotSubjects.moc"
