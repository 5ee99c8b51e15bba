#include "app/Entry.h"
#include "app/Modes.h"

#include <QTest>

using namespace ondrel;
using Mode = EntryPlan::Mode;

Q_DECLARE_METATYPE(ondrel::EntryPlan::Mode)

class TestEntry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void optionOrder_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("language"); // "-" for none
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("settings");
        QTest::addColumn<bool>("json");
        auto row = [](const char* name, QStringList args, Mode mode, const char* language = "-",
                      const char* path = "", bool settings = false, bool json = false) {
            args.prepend(QStringLiteral("/usr/bin/ondrel"));
            QTest::newRow(name) << args << mode << QString::fromUtf8(language) << QString::fromUtf8(path)
                                << settings << json;
        };
        row("nothing", {}, Mode::windowed);
        row("probe ignores lang", {"--probe", "--lang", "en"}, Mode::probe);
        row("probe anywhere wins", {"--shot", "x.png", "--probe"}, Mode::probe);
        row("lang value may look like an option", {"--lang", "--speedtest"}, Mode::speedTest, "--speedtest");
        row("export beats speedtest", {"--export-csv", "out.csv", "--speedtest"}, Mode::exportCsv, "-",
            "out.csv");
        row("speedtest beats shot", {"--shot", "a.png", "--speedtest"}, Mode::speedTest);
        row("shot last", {"--settings", "--shot"}, Mode::windowed);
        row("shot value is next argument", {"--shot", "--settings"}, Mode::shot, "-", "--settings", true);
        row("help loses to shot", {"--help", "--shot", "a.png"}, Mode::shot, "-", "a.png");
        row("json speedtest", {"--speedtest", "--json", "--lang", "de"}, Mode::speedTest, "de", "", false,
            true);
        row("json means nothing to shot", {"--shot", "a.png", "--json"}, Mode::shot, "-", "a.png");
        row("export json", {"--export-json", "-", "--speedtest"}, Mode::exportJson, "-", "-");
        row("export csv beats json", {"--export-json", "a.json", "--export-csv", "b.csv"}, Mode::exportCsv,
            "-", "b.csv");
        row("export json last", {"--speedtest", "--export-json"}, Mode::speedTest);
    }

    void optionOrder()
    {
        QFETCH(QStringList, args);
        QFETCH(Mode, mode);
        QFETCH(QString, language);
        QFETCH(QString, path);
        QFETCH(bool, settings);
        QFETCH(bool, json);
        const EntryPlan plan = planEntry(args);
        QCOMPARE(plan.mode, mode);
        QCOMPARE(plan.language, language == QLatin1String("-") ? std::nullopt : std::optional(language));
        QCOMPARE(plan.path, path);
        QCOMPARE(plan.settings, settings);
        QCOMPARE(plan.json, json);
    }

    void speedTestDuration()
    {
        // Whole seconds from 1 to the full 17 shorten the phases; anything else leaves them.
        for (const char* ignored : {"", "0", "-2", "18", "2.5", "0x5", "two", "99999999999"})
            QVERIFY2(!speedTestScale(ignored), ignored);
        QCOMPARE(speedTestScale("2"), 2 / 17.0);
        QCOMPARE(speedTestScale("17"), 1.0);
    }
};

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_Entry.moc"
