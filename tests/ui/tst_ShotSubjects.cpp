// "--shot" with "--history", "--speed", "--settings" and "--tab": which
// window is drawn, and which settings page it shows (tests/app runs the
// program).

#include "tests/store/SimulatedRadios.h"

#include "app/Shot.h"
#include "store/WiFiStore.h"
#include "ui/SettingsView.h"
#include "wifi/LocationAuth.h"

using namespace ondrel;
using namespace ondrel::testing;

class ShotSubjectsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    // The window drawn, and the settings page it shows.
    void subject()
    {
        SimulatedRadios radios(QJsonObject{});
        TestPrefs prefs;
        WiFiStore store(radios.engine(), *prefs);
        LocationAuth location;
        const std::pair<QStringList, QString> cases[] = {
            {{"--speed", "--settings", "--history"}, "SpeedHistoryView"}, // wins over speed and settings
            {{"--settings", "--speed"}, "SpeedTestView"},                 // wins over settings
            {{"--speedtest"}, "ContentView"},                             // is not --speed
            {{"--settings", "--tab", "2"}, "SettingsView 2"},
            {{"--settings", "--tab", "-1"}, "SettingsView 0"},
            {{"--settings", "--tab", "3"}, "SettingsView 0"}, // past the last page
            {{"--settings", "--tab", "2x"}, "SettingsView 0"},
            {{"--settings", "--tab", " 2"}, "SettingsView 0"},
            {{"--settings", "--tab", "4294967298"}, "SettingsView 0"}, // 2 beyond 2^32
            {{"--settings", "--tab"}, "SettingsView 0"},
            {{"--settings", "--tab", "1", "--tab", "2"}, "SettingsView 1"}, // the first --tab
        };
        for (const auto& [args, subject] : cases) {
            const ShotSubject chosen =
                chooseShotSubject(QStringList{"ondrel", "--shot", "p.png"} + args,
                                  args.contains("--settings"), {*prefs, store, location});
            QString shown = QString::fromLatin1(chosen.widget->metaObject()->className()).remove("ondrel::");
            if (auto* settings = qobject_cast<SettingsView*>(chosen.widget.get()))
                shown += QStringLiteral(" %1").arg(settings->tab());
            QCOMPARE(shown, subject);
        }
    }
};

QTEST_MAIN(ShotSubjectsTest)
#include "tst_ShotSubjects.moc"
