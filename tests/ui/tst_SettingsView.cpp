// The settings window: every control writes the preferences at once and
// follows them, the language picker, the permission row, the favourites list
// and the About page's live rows.

#include "tests/ui/UiTestKit.h"

#include "ui/GeneralSettings.h"
#include "ui/SettingsView.h"
#include "ui/SystemSettings.h"
#include "ui/ToggleSwitch.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {

// Picks the item with `data` as a user would (activated is what the view listens to).
void choose(QComboBox* box, const QVariant& data)
{
    const int index = box->findData(data);
    QVERIFY(index >= 0);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

QList<QWidget*> visibleRows(SettingsView& view, const QString& name)
{
    QList<QWidget*> rows;
    for (QWidget* w : view.findChildren<QWidget*>(name)) {
        if (w->isVisibleTo(&view))
            rows.append(w);
    }
    return rows;
}

} // namespace

class SettingsViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }
    void cleanup() { LocaleSettings::apply(AppLanguage::en); }

    // Every toggle and picker writes the preferences at once, no Apply (the
    // scan interval reaches the store at once too), and follows changes made
    // elsewhere.
    void controlsWriteAndFollowPreferences()
    {
        TestPrefs prefs;
        SettingsView view(*prefs, nullptr, nullptr);
        using Getter = bool (Prefs::*)() const;
        const std::pair<const char*, Getter> toggles[] = {
            {"favoritesOnTopToggle", &Prefs::favoritesOnTop},
            {"favoritesOnlyToggle", &Prefs::favoritesOnly},
            {"groupToggle", &Prefs::groupBySSID},
            {"hiddenToggle", &Prefs::showHidden},
            {"detailsToggle", &Prefs::showDetails},
        };
        for (const auto& [name, get] : toggles) {
            auto* sw = view.findChild<ToggleSwitch*>(name);
            const bool before = ((*prefs).*get)();
            QVERIFY2(sw && sw->isChecked() == before, name);
            sw->click();
            QVERIFY2(((*prefs).*get)() == !before, name);
        }
        const auto picker = [&view](const char* name) { return view.findChild<QComboBox*>(name); };
        // Screen readers name a switch by its row's label (a picker's name is
        // its choice on Linux, its label reaches them as a relation).
        QCOMPARE(QAccessible::queryAccessibleInterface(view.findChild<ToggleSwitch*>("favoritesOnTopToggle"))
                     ->text(QAccessible::Name),
                 QStringLiteral("Keep favorites at the top"));
        choose(picker("sortPicker"), rawValue(SortKey::name));
        choose(picker("orderPicker"), true);
        choose(picker("unitPicker"), rawValue(StrengthUnit::percent));
        choose(picker("refreshPicker"), qint64(30));
        QCOMPARE(std::tuple(prefs->sortKey(), prefs->ascending(), prefs->strengthUnit(),
                            prefs->autoRefreshSeconds()),
                 std::tuple(SortKey::name, true, StrengthUnit::percent, qint64(30)));

        prefs->setShowHidden(!prefs->showHidden()); // elsewhere
        prefs->setSortKey(SortKey::band);
        prefs->setAutoRefreshSeconds(60);
        QTRY_COMPARE(find<ToggleSwitch>(view, "hiddenToggle")->isChecked(), prefs->showHidden());
        QCOMPARE(
            std::pair(picker("sortPicker")->currentData().toString(), picker("refreshPicker")->currentText()),
            std::pair(rawValue(SortKey::band), QStringLiteral("Every 60 seconds")));
    }

    // The permission row by status; its Allow asks, and the row follows the answer.
    void permissionRow()
    {
        const QString settings = systemSettingsCommand() ? QStringLiteral("Open System Settings") : QString();
        // Status, text, button (none: empty).
        const std::tuple<int, QString, QString> cases[] = {
            {0, "Not set", "Allow"}, {2, "Not allowed", settings}, {3, "Allowed", QString()}};
        for (const auto& [status, text, button] : cases) {
            TestPrefs prefs;
            SimulatedLocationProvider provider(status, 3, 10ms, true);
            LocationAuth location(&provider);
            SettingsView view(*prefs, nullptr, &location);
            QCOMPARE(find<QLabel>(view, "permissionValue")->text(), text);
            auto* allow = find<QPushButton>(view, "permissionButton");
            QCOMPARE(allow->isVisibleTo(&view) ? allow->text() : QString(), button);
            if (button != "Allow")
                continue;
            allow->click();
            QTRY_COMPARE(find<QLabel>(view, "permissionValue")->text(), QStringLiteral("Allowed"));
            QVERIFY(!allow->isVisibleTo(&view));
        }
    }

    void aboutPageFollowsTheConnection()
    {
        // The interface name comes from the shared engine.
        const QJsonObject scenario{
            {"interface", "wlp3s0"},
            {"current", QJsonObject{{"bssid", "a4:2b:b0:10:00:01"}}},
            {"networks", accessPoints({"Home|a4:2b:b0:10:00:01|-50|36|wpa2Personal|50"})}};
        WiFiEngine::shared().setBackendForTesting(std::make_unique<SimulatedBackend>(
            *SimulationScenario::fromJson(QJsonDocument(scenario).toJson())));
        TestPrefs prefs;
        WiFiStore store(WiFiEngine::shared(), *prefs);
        SettingsView view(*prefs, &store, nullptr, 2);
        QCOMPARE(find<QLabel>(view, "interfaceValue")->text(), QStringLiteral("wlp3s0"));
        // A value is read as itself, not as its label.
        QCOMPARE(QAccessible::queryAccessibleInterface(find<QLabel>(view, "interfaceValue"))
                     ->text(QAccessible::Name),
                 QStringLiteral("wlp3s0"));

        QSignalSpy scanned(&store, &WiFiStore::scanFinished);
        store.scan();
        QVERIFY(scanned.wait(10000));
        QWidget* bssidRow = find<QWidget>(view, "bssidRow");
        QTRY_VERIFY(bssidRow->isVisibleTo(&view));
        QCOMPARE(find<QLabel>(view, "bssidValue")->text(), QStringLiteral("a4:2b:b0:10:00:01"));

        // Leaving the network removes the row.
        store.disconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!bssidRow->isVisibleTo(&view), 10000);
    }

    // The picker's labels carry a table's coverage below 99.5 %, truncated;
    // a language chosen rebuilds the window in it; the favourites list on the
    // same page removes rows.
    void languagePickerAndFavorites()
    {
        const struct {
            AppLanguage language;
            int entries, total;
            QString label;
        } coverage[] = {
            {AppLanguage::en, 995, 1000, "Deutsch"},        {AppLanguage::en, 994, 1000, "Deutsch (99%)"},
            {AppLanguage::ja, 994, 1000, "Deutsch（99%）"}, {AppLanguage::en, 1200, 1000, "Deutsch"},
            {AppLanguage::en, 5, 0, "Deutsch (0%)"},        {AppLanguage::en, 576, 1000, "Deutsch (57%)"},
        };
        for (const auto& c : coverage) {
            LocaleSettings::apply(c.language);
            QCOMPARE(GeneralSettings::coverageLabel(QStringLiteral("Deutsch"), c.entries, c.total), c.label);
        } // the last in English
        TestPrefs prefs;
        prefs->setLanguage(AppLanguage::en);
        prefs->toggleFavorite(QStringLiteral("Alpha"));
        prefs->toggleFavorite(QStringLiteral("Beta"));
        SettingsView view(*prefs, nullptr, nullptr, 1);
        auto* picker = find<QComboBox>(view, "languagePicker");
        // System, Japanese and English never carry a percentage.
        for (AppLanguage lang : {AppLanguage::system, AppLanguage::ja, AppLanguage::en})
            QCOMPARE(picker->itemText(picker->findData(rawValue(lang))), label(lang));
        // Chosen from the picker itself: the view is rebuilt after the
        // picker's own signal has returned.
        view.setTab(2); // another page than the one it opened on
        choose(picker, rawValue(AppLanguage::ja));
        QCOMPARE(prefs->language(), AppLanguage::ja);
        QTRY_COMPARE(find<QTabBar>(view, "settingsTabs")->tabText(0), QStringLiteral("一般"));
        QCOMPARE(view.tab(), 2); // the page stays
        view.setTab(1);
        // The scanning footer names the key as Linux spells it, in Japanese too.
        QStringList labels;
        for (QLabel* label : view.findChildren<QLabel*>())
            labels.append(label->text());
        QVERIFY(labels.join('\n').contains(QStringLiteral("Ctrl+R")));
        QVERIFY(!labels.join('\n').contains(QStringLiteral("⌘")));
        prefs->setLanguage(AppLanguage::en);
        QTRY_COMPARE(find<QTabBar>(view, "settingsTabs")->tabText(0), QStringLiteral("General"));

        // The favourites list: each row removes its own; none left says so.
        QCOMPARE(visibleRows(view, QStringLiteral("favoriteRow")).size(), 2);
        for (const QStringList& left : {QStringList{"Beta"}, QStringList()}) {
            view.findChildren<QPushButton*>(QStringLiteral("removeFavorite")).first()->click();
            QCOMPARE(prefs->favorites(), left);
            QTRY_COMPARE(visibleRows(view, QStringLiteral("favoriteRow")).size(), left.size());
        }
        const QList<QWidget*> empty = visibleRows(view, QStringLiteral("noFavorites"));
        QCOMPARE(empty.size(), 1);
        QCOMPARE(empty.first()->findChild<QLabel*>()->text(), QStringLiteral("No favorites yet."));
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_SettingsView.moc"
