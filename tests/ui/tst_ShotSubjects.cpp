// "--shot" with "--history", "--speed", "--settings" and "--tab": which
// window is drawn, and which settings page it shows (tests/app runs the
// program).

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

    void subject_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("subject"); // the window, and the settings page it shows
        const auto row = [](const char* tag, const QStringList& args, const char* subject) {
            QTest::newRow(tag) << args << QString::fromLatin1(subject);
        };
        row("history wins over speed and settings", {"--speed", "--settings", "--history"},
            "SpeedHistoryView");
        row("speed wins over settings", {"--settings", "--speed"}, "SpeedTestView");
        row("--speedtest is not --speed", {"--speedtest"}, "ContentView");
        row("page 2", {"--settings", "--tab", "2"}, "SettingsView 2");
        row("negative", {"--settings", "--tab", "-1"}, "SettingsView 0");
        row("past the last page", {"--settings", "--tab", "3"}, "SettingsView 0");
        row("trailing letters", {"--settings", "--tab", "2x"}, "SettingsView 0");
        row("spaces", {"--settings", "--tab", " 2"}, "SettingsView 0");
        row("2 beyond 2^32", {"--settings", "--tab", "4294967298"}, "SettingsView 0");
        row("no value", {"--settings", "--tab"}, "SettingsView 0");
        row("the first --tab", {"--settings", "--tab", "1", "--tab", "2"}, "SettingsView 1");
    }
    void subject()
    {
        QFETCH(QStringList, args);
        SimulatedRadios radios(QJsonObject{});
        TestPrefs prefs;
        WiFiStore store(radios.engine(), *prefs);
        LocationAuth location;
        const ShotSubject chosen = chooseShotSubject(QStringList{"ondrel", "--shot", "p.png"} + args,
                                                     args.contains("--settings"), {*prefs, store, location});
        QString shown = QString::fromLatin1(chosen.widget->metaObject()->className()).remove("ondrel::");
        if (auto* settings = qobject_cast<SettingsView*>(chosen.widget.get()))
            shown += QStringLiteral(" %1").arg(settings->tab());
        QTEST(shown, "subject");
    }
};

QTEST_MAIN(ShotSubjectsTest)
#include "tst_ShotSubjects.moc"
