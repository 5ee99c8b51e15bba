// The settings window: every control writes the preferences at once and
// follows them, the language picker (coverage labels, rebuilding in the new
// language), the permission row, the favourites list and the About page's
// live rows.

#include "tests/store/SimulatedRadios.h"

#include "localization/LocaleSettings.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/GeneralSettings.h"
#include "ui/SettingsView.h"
#include "ui/SystemSettings.h"
#include "ui/ToggleSwitch.h"
#include "wifi/LocationAuth.h"
#include "wifi/SimulatedLocationProvider.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

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

    void coverageLabels_data()
    {
        QTest::addColumn<AppLanguage>("language");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("expected");
        QTest::newRow("995 of 1000: no percentage") << AppLanguage::en << 995 << 1000 << "Deutsch";
        QTest::newRow("994 of 1000: 99 %") << AppLanguage::en << 994 << 1000 << "Deutsch (99%)";
        QTest::newRow("Japanese: full-width") << AppLanguage::ja << 994 << 1000 << "Deutsch（99%）";
        QTest::newRow("more than the source") << AppLanguage::en << 1200 << 1000 << "Deutsch";
        QTest::newRow("no source texts") << AppLanguage::en << 5 << 0 << "Deutsch (0%)";
    }
    void coverageLabels()
    {
        QFETCH(AppLanguage, language);
        QFETCH(int, entries);
        QFETCH(int, total);
        LocaleSettings::apply(language);
        QTEST(GeneralSettings::coverageLabel(QStringLiteral("Deutsch"), entries, total), "expected");
    }

    // Every toggle and picker writes the preferences at once, no Apply (the
    // scan interval reaches the store at once too), and follows changes made
    // elsewhere.
    void controlsWriteAndFollowPreferences()
    {
        SimulatedRadios radios(QJsonObject{});
        TestPrefs prefs;
        WiFiStore store(radios.engine(), *prefs);
        SettingsView view(*prefs, &store, nullptr);
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
            sw->click();
            QVERIFY2(((*prefs).*get)() == before, name);
        }
        const auto picker = [&view](const char* name) { return view.findChild<QComboBox*>(name); };
        choose(picker("sortPicker"), rawValue(SortKey::name));
        QCOMPARE(prefs->sortKey(), SortKey::name);
        choose(picker("orderPicker"), true);
        QCOMPARE(prefs->ascending(), true);
        choose(picker("unitPicker"), rawValue(StrengthUnit::percent));
        QCOMPARE(prefs->strengthUnit(), StrengthUnit::percent);
        choose(picker("refreshPicker"), qint64(30));
        QCOMPARE(prefs->autoRefreshSeconds(), 30);
        QCOMPARE(store.autoRefreshInterval(), std::optional<std::chrono::milliseconds>(30s));

        prefs->setShowHidden(!prefs->showHidden());
        prefs->setSortKey(SortKey::band);
        prefs->setAscending(false);
        prefs->setStrengthUnit(StrengthUnit::dbm);
        prefs->setAutoRefreshSeconds(60);
        QTRY_COMPARE(view.findChild<ToggleSwitch*>(QStringLiteral("hiddenToggle"))->isChecked(),
                     prefs->showHidden());
        QCOMPARE(picker("sortPicker")->currentData().toString(), rawValue(SortKey::band));
        QCOMPARE(picker("orderPicker")->currentText(), QStringLiteral("Strongest first"));
        QCOMPARE(picker("unitPicker")->currentData().toString(), rawValue(StrengthUnit::dbm));
        QCOMPARE(picker("refreshPicker")->currentText(), QStringLiteral("Every 60 seconds"));
    }

    void permissionRow_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("button"); // empty: no button
        const QString settings = systemSettingsCommand() ? QStringLiteral("Open System Settings") : QString();
        QTest::newRow("not determined") << 0 << "Not set"
                                        << "Allow";
        QTest::newRow("denied") << 2 << "Not allowed" << settings;
        QTest::newRow("authorized") << 3 << "Allowed" << QString();
        QTest::newRow("when in use does not count") << 4 << "Not allowed" << settings;
    }
    void permissionRow()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QString, button);
        TestPrefs prefs;
        SimulatedLocationProvider provider(status, 3, 10ms, true);
        LocationAuth location(&provider);
        SettingsView view(*prefs, nullptr, &location);
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("permissionValue"))->text(), text);
        auto* allow = view.findChild<QPushButton*>(QStringLiteral("permissionButton"));
        QCOMPARE(allow->isVisibleTo(&view), !button.isEmpty());
        if (!button.isEmpty())
            QCOMPARE(allow->text(), button);
        if (button != "Allow")
            return;
        allow->click(); // asks, and the row follows the answer
        QTRY_COMPARE(view.findChild<QLabel*>(QStringLiteral("permissionValue"))->text(),
                     QStringLiteral("Allowed"));
        QVERIFY(!allow->isVisibleTo(&view));
    }

    void favoritesListWithRemove()
    {
        TestPrefs prefs;
        prefs->toggleFavorite(QStringLiteral("Alpha"));
        const QString beta = QStringLiteral("Beta");
        prefs->toggleFavorite(beta);
        SettingsView view(*prefs, nullptr, nullptr, 1);
        QCOMPARE(visibleRows(view, QStringLiteral("favoriteRow")).size(), 2);
        QVERIFY(visibleRows(view, QStringLiteral("noFavorites")).isEmpty());

        view.findChildren<QPushButton*>(QStringLiteral("removeFavorite")).first()->click();
        QCOMPARE(prefs->favorites(), QStringList{beta});
        QTRY_COMPARE(visibleRows(view, QStringLiteral("favoriteRow")).size(), 1);

        view.findChildren<QPushButton*>(QStringLiteral("removeFavorite")).first()->click();
        QVERIFY(prefs->favorites().isEmpty());
        QTRY_COMPARE(visibleRows(view, QStringLiteral("noFavorites")).size(), 1);
        QVERIFY(visibleRows(view, QStringLiteral("favoriteRow")).isEmpty());
        auto* empty = visibleRows(view, QStringLiteral("noFavorites")).first()->findChild<QLabel*>();
        QCOMPARE(empty->text(), QStringLiteral("No favorites yet."));
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
        QCOMPARE(view.tab(), 2);
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("interfaceValue"))->text(), QStringLiteral("wlp3s0"));

        QSignalSpy scanned(&store, &WiFiStore::scanFinished);
        store.scan();
        QVERIFY(scanned.wait(10000));
        QWidget* bssidRow = view.findChild<QWidget*>(QStringLiteral("bssidRow"));
        QTRY_VERIFY(bssidRow->isVisibleTo(&view));
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("bssidValue"))->text(),
                 QStringLiteral("a4:2b:b0:10:00:01"));

        // Leaving the network removes the row.
        store.disconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!bssidRow->isVisibleTo(&view), 10000);

        // No interface at all reads "None".
        const QJsonObject none{{"interface", QJsonValue::Null}};
        WiFiEngine::shared().setBackendForTesting(
            std::make_unique<SimulatedBackend>(*SimulationScenario::fromJson(QJsonDocument(none).toJson())));
        SettingsView bare(*prefs, nullptr, nullptr, 2);
        QCOMPARE(bare.findChild<QLabel*>(QStringLiteral("interfaceValue"))->text(), QStringLiteral("None"));
    }

    void languageChangeRebuildsInTheNewLanguage()
    {
        TestPrefs prefs;
        prefs->setLanguage(AppLanguage::en);
        SettingsView view(*prefs, nullptr, nullptr, 1);
        auto* picker = view.findChild<QComboBox*>(QStringLiteral("languagePicker"));
        QCOMPARE(picker->count(), allAppLanguages().size());
        // System, Japanese and English never carry a percentage.
        for (AppLanguage lang : {AppLanguage::system, AppLanguage::ja, AppLanguage::en})
            QCOMPARE(picker->itemText(picker->findData(rawValue(lang))), label(lang));
        // Chosen from the picker itself: the view is rebuilt after the
        // picker's own signal has returned.
        choose(picker, rawValue(AppLanguage::ja));
        QCOMPARE(prefs->language(), AppLanguage::ja);
        QTRY_COMPARE(view.findChild<QTabBar*>(QStringLiteral("settingsTabs"))->tabText(0),
                     QStringLiteral("一般"));
        QCOMPARE(view.tab(), 1); // the page stays
        // The scanning footer names the key as Linux spells it, in Japanese too.
        QStringList labels;
        for (QLabel* label : view.findChildren<QLabel*>())
            labels.append(label->text());
        QVERIFY(labels.join('\n').contains(QStringLiteral("Ctrl+R")));
        QVERIFY(!labels.join('\n').contains(QStringLiteral("⌘")));
        prefs->setLanguage(AppLanguage::en);
        QTRY_COMPARE(view.findChild<QTabBar*>(QStringLiteral("settingsTabs"))->tabText(0),
                     QStringLiteral("General"));
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_SettingsView.moc"
