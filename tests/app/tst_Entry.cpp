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
        // The plan expected: mode, language, path, json, settings.
        const std::pair<QStringList, EntryPlan> rows[] = {
            {{}, {Mode::windowed}},
            {{"--probe", "--lang", "en"}, {Mode::probe}}, // --probe ignores --lang
            {{"--shot", "x.png", "--probe"}, {Mode::probe}},
            {{"--lang", "--speedtest"}, {Mode::speedTest, "--speedtest"}},
            {{"--export-csv", "out.csv", "--speedtest"}, {Mode::exportCsv, {}, "out.csv"}},
            // A value-taking option that stands last is passed over.
            {{"--settings", "--shot"}, {Mode::windowed}},
            {{"--shot", "--settings"}, {Mode::shot, {}, "--settings", false, true}},
            {{"--help", "--shot", "a.png"}, {Mode::shot, {}, "a.png"}},
            {{"--speedtest", "--json", "--lang", "de"}, {Mode::speedTest, "de", {}, true}},
            {{"--shot", "a.png", "--json"}, {Mode::shot, {}, "a.png"}},
            {{"--export-json", "-", "--speedtest"}, {Mode::exportJson, {}, "-"}},
            {{"--export-json", "a.json", "--export-csv", "b.csv"}, {Mode::exportCsv, {}, "b.csv"}},
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
