#include "app/Entry.h"
#include "app/Modes.h"

#include <QTest>

using namespace ondrel;
using Mode = EntryPlan::Mode;

class TestEntry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void optionOrder()
    {
        // The plan expected: mode, path, language, json, settings.
        const auto plan = [](Mode mode, QString path = {}, std::optional<QString> language = {},
                             bool json = false, bool settings = false) {
            return EntryPlan{mode, language, path, json, settings};
        };
        const std::pair<QStringList, EntryPlan> rows[] = {
            {{}, plan(Mode::windowed)},
            {{"--probe", "--lang", "en"}, plan(Mode::probe)}, // --probe ignores --lang
            {{"--shot", "x.png", "--probe"}, plan(Mode::probe)},
            {{"--lang", "--speedtest"}, plan(Mode::speedTest, {}, "--speedtest")},
            {{"--export-csv", "out.csv", "--speedtest"}, plan(Mode::exportCsv, "out.csv")},
            // A value-taking option that stands last is passed over.
            {{"--settings", "--shot"}, plan(Mode::windowed)},
            {{"--shot", "--settings"}, plan(Mode::shot, "--settings", {}, false, true)},
            {{"--help", "--shot", "a.png"}, plan(Mode::shot, "a.png")},
            {{"--speedtest", "--json", "--lang", "de"}, plan(Mode::speedTest, {}, "de", true)},
            {{"--shot", "a.png", "--json"}, plan(Mode::shot, "a.png")},
            {{"--export-json", "-", "--speedtest"}, plan(Mode::exportJson, "-")},
            {{"--export-json", "a.json", "--export-csv", "b.csv"}, plan(Mode::exportCsv, "b.csv")},
        };
        for (const auto& [args, expected] : rows)
            QVERIFY2(planEntry(QStringList{"/usr/bin/ondrel"} + args) == expected,
                     qPrintable(args.join(u' ')));
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
