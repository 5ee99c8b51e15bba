// The main window's content on simulated radios: banners by condition, the
// current-network card, the list after preference changes and searches,
// the empty state, the toolbar's enabling, and the join flow through the
// rows and the password sheet.

#include "tests/ui/UiTestKit.h"

#include "ui/Banner.h"
#include "ui/ContentView.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRow.h"
#include "ui/NetworkRowAccessible.h"
#include "ui/PasswordSheet.h"
#include "ui/SystemSettings.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

const QStringList kNetworks = {
    "Home|aa:00:00:00:00:01|-55|36|wpa2Personal|50",  "Cafe|aa:00:00:00:00:02|-63|1|open|24",
    "Corp|aa:00:00:00:00:03|-70|100|enterprise|50",   "Legacy|aa:00:00:00:00:04|-80|3|wep|24",
    "Zeta|aa:00:00:00:00:05|-45|149|wpa3Personal|50",
};

QJsonObject demo(QJsonObject extra = {})
{
    QJsonObject scenario{{"networks", accessPoints(kNetworks)}};
    QJsonArray networks = scenario["networks"].toArray();
    for (qsizetype i = 0; i < networks.size(); ++i) { // passwords that join
        QJsonObject ap = networks[i].toObject();
        if (ap["security"] != "open")
            ap["password"] = ap["ssid"] == "Legacy" ? "12345" : "right-password";
        networks[i] = ap;
    }
    scenario["networks"] = networks;
    for (auto it = extra.begin(); it != extra.end(); ++it)
        scenario[it.key()] = it.value();
    return scenario;
}

// A main window's content on its own radios, preferences and permission.
struct Window : Room {
    ContentView view;

    explicit Window(const QJsonObject& scenario, int locationStatus = 3)
        : Room(scenario, locationStatus), view(*prefs, store, location)
    {
        view.resize(860, 620);
        view.show();
    }

    void scanned()
    {
        scan();
        settle();
    }
    // Lets the view pick up the announced changes.
    void settle()
    {
        QTest::qWait(0);
        QCoreApplication::processEvents();
    }

    QStringList bannerTitles() const
    {
        QStringList titles;
        for (Banner* banner : view.banners())
            titles.append(read(banner->title()));
        return titles;
    }
    QStringList rows() const
    {
        QStringList names;
        for (int i = 0; i < view.listModel()->rowCount(); ++i)
            names.append(read(view.listModel()->index(i).data().toString()));
        return names;
    }
    int rowOf(const QString& name) const { return int(rows().indexOf(name)); }
};

const QString kNoInterface = QStringLiteral("No Wi-Fi interface was found.");
const QString kPowerOff = QStringLiteral("Wi-Fi is turned off.");
const QString kLocation = QStringLiteral("Allow location access to read the names of nearby networks.");

} // namespace

class TestContentView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    void statusBanner_data()
    {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<int>("locationStatus");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("button");

        const QString settingsButton =
            systemSettingsCommand() ? QStringLiteral("Open System Settings") : QString();
        QTest::newRow("no interface wins over permission")
            << demo({{"interface", QJsonValue::Null}}) << 0 << kNoInterface << QString();
        QTest::newRow("radio off wins over permission")
            << demo({{"poweredOn", false}}) << 0 << kPowerOff << QStringLiteral("Turn On");
        QTest::newRow("never asked") << demo() << 0 << kLocation << QStringLiteral("Allow");
        QTest::newRow("restricted") << demo() << 1 << kLocation << settingsButton;
        QTest::newRow("denied") << demo() << 2 << kLocation << settingsButton;
        QTest::newRow("when in use is not enough") << demo() << 4 << kLocation << settingsButton;
        QTest::newRow("authorized") << demo() << 3 << QString() << QString();
    }
    void statusBanner()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(int, locationStatus);
        QFETCH(QString, title);
        QFETCH(QString, button);
        Window w(scenario, locationStatus);
        w.scanned(); // a failed scan does not repeat the status banner
        if (title.isEmpty()) {
            QVERIFY(w.view.banners().isEmpty());
            return;
        }
        QCOMPARE(w.bannerTitles(), QStringList{title});
        Banner* banner = w.view.banners().first();
        QCOMPARE(banner->button() ? banner->button()->text() : QString(), button);
        if (button != "Allow" && button != "Turn On")
            return;
        banner->button()->click(); // asks for the permission, or powers the radio
        QTRY_VERIFY(!w.bannerTitles().contains(title));
        QVERIFY(button == "Allow" ? w.location.status() == 3 : w.store.status().poweredOn);
    }

    void errorBannerBelowStatusBannerAndDismiss()
    {
        Window w(demo({{"scanError", QJsonObject{{"code", 5}, {"description", "The radio is busy."}}}}), 2);
        w.scanned();
        QTRY_COMPARE(w.bannerTitles(), (QStringList{kLocation, "The radio is busy."}));
        Banner* error = w.view.banners().last();
        QCOMPARE(error->kind(), Banner::Kind::error);
        QCOMPARE(error->button()->text(), QStringLiteral("Dismiss"));
        error->button()->click();
        QTRY_COMPARE(w.bannerTitles(), QStringList{kLocation});
        QVERIFY(!w.store.errorMessage());
    }

    void cardAndDisconnect_data()
    {
        QTest::addColumn<QJsonObject>("current");
        QTest::addColumn<bool>("percent");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        const QJsonObject full{
            {"ssid", "Home"}, {"rssi", -55}, {"channel", 36}, {"band", 50}, {"txRate", 866.7}};
        QTest::newRow("connected") << full << false << "Home"
                                   << "Connected ・ -55 dBm ・ 5 GHz · Channel 36 ・ 866 Mbps";
        QTest::newRow("percent")
            << QJsonObject{{"ssid", "Home"}, {"rssi", -55}, {"channel", 36}, {"band", 24}, {"txRate", 54}}
            << true << "Home"
            << "Connected ・ 90% ・ 2.4 GHz · Channel 36 ・ 54 Mbps";
        QTest::newRow("unknown band, no rate")
            << QJsonObject{{"ssid", "Home"}, {"rssi", -55}, {"channel", 36}, {"band", 0}, {"txRate", 0}}
            << false << "Home"
            << "Connected ・ -55 dBm";
        QTest::newRow("not connected") << QJsonObject() << false << "Not connected"
                                       << "Pick a network below to connect.";
    }
    void cardAndDisconnect()
    {
        QFETCH(QJsonObject, current);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QFETCH(bool, percent);
        QJsonObject scenario = demo();
        if (!current.isEmpty())
            scenario["current"] = current;
        Window w(scenario);
        w.prefs->setStrengthUnit(percent ? StrengthUnit::percent : StrengthUnit::dbm);
        QTRY_COMPARE(w.view.cardSubtitleLabel()->text(), subtitle);
        QCOMPARE(read(w.view.cardTitle()->text()), title);
        QCOMPARE(w.view.disconnectButton()->isVisibleTo(&w.view), !current.isEmpty());
        QCOMPARE(w.view.speedTestAction()->isEnabled(), !current.isEmpty());
        if (current.isEmpty())
            return;
        w.view.disconnectButton()->click(); // leaves the network
        QTRY_COMPARE(w.view.cardTitle()->text(), QStringLiteral("Not connected"));
        QVERIFY(!w.view.speedTestAction()->isEnabled());
        QVERIFY(!w.view.disconnectButton()->isVisibleTo(&w.view));
    }

    // The list follows the sort menu, the preferences and the search.
    void listFollowsPreferencesAndSearch()
    {
        Window w(demo());
        w.scanned();
        QCOMPARE(w.rows(), (QStringList{"Zeta", "Home", "Cafe", "Corp", "Legacy"}));
        QCOMPARE(w.view.sectionTitle()->text(), QStringLiteral("Nearby networks (5)"));
        QVERIFY(w.view.lastScanLabel()->text().startsWith(QStringLiteral("Last scan ")));

        auto menuItem = [&w](const QString& text) -> QAction* {
            Q_EMIT w.view.sortMenu()->aboutToShow();
            for (QAction* action : w.view.sortMenu()->actions()) {
                if (action->text() == text)
                    return action;
            }
            return nullptr;
        };
        QVERIFY(menuItem("Strongest first")->isChecked());
        menuItem("Weakest first")->trigger();
        QTRY_COMPARE(w.rows(), (QStringList{"Legacy", "Corp", "Cafe", "Home", "Zeta"}));
        menuItem("Show hidden networks")->trigger();
        QVERIFY(w.prefs->showHidden());
        menuItem("Band")->trigger();
        QCOMPARE(w.prefs->sortKey(), SortKey::band);

        w.prefs->setSortKey(SortKey::name);
        w.prefs->setAscending(false);
        QTRY_COMPARE(w.rows(), (QStringList{"Zeta", "Legacy", "Home", "Corp", "Cafe"}));
        w.prefs->setAscending(true);
        QTRY_COMPARE(w.rows(), (QStringList{"Cafe", "Corp", "Home", "Legacy", "Zeta"}));

        QTest::keyClicks(w.view.searchField(), " CO ");
        QTRY_COMPARE(w.rows(), (QStringList{"Corp"}));
        QTRY_COMPARE(w.view.sectionTitle()->text(), QStringLiteral("Nearby networks (1)"));
    }

    // The empty list says what hides the networks, and its button undoes it.
    void emptyListSaysWhy_data()
    {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("favoritesOnly");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("rowsAfter");
        const QJsonObject off = demo({{"poweredOn", false}});
        QTest::newRow("search") << demo() << "nothing like it" << false
                                << "No network matches “nothing like it”."
                                << "Clear Search" << 5;
        QTest::newRow("hostile search")
            << demo() << QString::fromUtf16(u"a\u202eb\a") << false << R"(No network matches “a\u202eb\x07”.)"
            << "Clear Search" << 5;
        QTest::newRow("favourites") << demo() << "" << true << "None of your favorite networks is nearby."
                                    << "Show All Networks" << 5;
        // Turning the favourites filter off is what brings "Cafe" back.
        QTest::newRow("search within favourites")
            << demo() << "cafe" << true << "None of your favorite networks is nearby."
            << "Show All Networks" << 1;
        QTest::newRow("radio off, searching") << off << "x" << false << kPowerOff << "Turn On" << 0;
        QTest::newRow("nothing found")
            << QJsonObject{{"networks", QJsonArray()}} << "" << false << "No networks found."
            << "Scan Again" << 0;
        QTest::newRow("no interface, searching")
            << demo({{"interface", QJsonValue::Null}}) << "x" << false << kNoInterface << "" << 0;
    }

    void emptyListSaysWhy()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(QString, search);
        QFETCH(bool, favoritesOnly);
        QFETCH(QString, message);
        Window w(scenario);
        w.prefs->toggleFavorite(QStringLiteral("Far Away"));
        w.prefs->setFavoritesOnly(favoritesOnly);
        w.view.searchField()->insert(search); // as typed
        w.scanned();
        QTRY_VERIFY(w.view.showsEmptyState());
        QTRY_COMPARE(w.view.emptyStateLabel()->text(), message);
        QFETCH(QString, button);
        QPushButton* action = w.view.emptyStateButton();
        QCOMPARE(action->isVisibleTo(&w.view), !button.isEmpty());
        if (button.isEmpty())
            return;
        QCOMPARE(action->text(), button);
        QSignalSpy finished(&w.store, &WiFiStore::scanFinished);
        action->click();
        QFETCH(int, rowsAfter);
        if (button == "Turn On" || button == "Scan Again")
            QVERIFY(finished.wait(10000));
        QTRY_COMPARE(w.rows().size(), rowsAfter);
        QVERIFY(w.store.status().poweredOn);
        QCOMPARE(w.view.searchField()->text(), button == "Clear Search" ? QString() : search);
        QCOMPARE(w.prefs->favoritesOnly(), favoritesOnly && button != "Show All Networks");
    }

    // Every action of the window is reached without a mouse. Ctrl+R scans;
    // while it runs the list says so and Scan is disabled.
    void keyboardReachesEveryAction()
    {
        Window w(demo({{"current", QJsonObject{{"ssid", "Home"}}}, {"delays", QJsonObject{{"scanMs", 300}}}}),
                 0);
        w.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        QTest::keyClick(w.view.listView(), Qt::Key_R, Qt::ControlModifier);
        QVERIFY(w.store.isScanning());
        QTRY_COMPARE(w.view.emptyStateLabel()->text(), QStringLiteral("Scanning…"));
        QVERIFY(w.view.showsEmptyState());
        QVERIFY(!w.view.emptyStateButton()->isVisibleTo(&w.view));
        QVERIFY(!w.view.rescanAction()->isEnabled());
        QTRY_VERIFY(!w.store.isScanning());
        QTRY_VERIFY(!w.view.showsEmptyState());
        QVERIFY(w.view.rescanAction()->isEnabled());
        w.view.searchField()->setFocus();
        QList<QWidget*> visited;
        for (QWidget* focus = w.view.searchField(); !visited.contains(focus);
             focus = QApplication::focusWidget()) {
            visited.append(focus);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        QToolBar* toolbar = w.view.findChild<QToolBar*>();
        const QList<QWidget*> expected = {
            static_cast<QWidget*>(w.view.searchField()),
            w.view.sortButton(),
            toolbar->widgetForAction(w.view.speedTestAction()),
            toolbar->widgetForAction(w.view.rescanAction()),
            w.view.banners().first()->button(),
            w.view.disconnectButton(),
            w.view.listView(),
        };
        QCOMPARE(visited, expected);

        QTest::keyClick(w.view.listView(), Qt::Key_T, Qt::ControlModifier);
        QTRY_VERIFY(w.view.speedTestSheet() && w.view.speedTestSheet()->isVisible());
    }

    // Screen readers get the search field's name, each row's marks, and the
    // row's controls as actions that do what the controls do; the context
    // menu offers the same; favourites gather at the top after the current one.
    void screenReaderAndContextMenu()
    {
        QJsonObject scenario =
            demo({{"current", QJsonObject{{"ssid", "Home"}}}, {"saved", QJsonArray{"Home", "Legacy"}}});
        QJsonArray networks = scenario["networks"].toArray();
        networks.append(accessPoint("|aa:00:00:00:00:09|-50|6|wpa2Personal"));
        scenario["networks"] = networks;
        Window w(scenario);
        w.prefs->toggleFavorite(QStringLiteral("Home"));
        w.prefs->setShowHidden(true);
        w.scanned();

        QCOMPARE(QAccessible::queryAccessibleInterface(w.view.searchField())->text(QAccessible::Name),
                 QStringLiteral("Filter by name"));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.view.listView());
        QCOMPARE(list->childCount(), w.rows().size());
        auto row = [&](const QString& name) { return list->child(w.rowOf(name)); };
        auto actions = [&](const QString& name) {
            QStringList names;
            QAccessibleActionInterface* a = row(name)->actionInterface();
            for (const QString& action : a->actionNames())
                names.append(a->localizedActionName(action));
            return names;
        };
        const struct {
            QString row, name;
            QStringList actions, menu;
        } expected[] = {
            {"Home",
             "Home, Good, WPA2, Connected, Saved, Favorite",
             {"Remove from Favorites"},
             {"Remove from Favorites"}},
            {"Legacy",
             "Legacy, Weak, WEP, Saved",
             {"Connect", "Add to Favorites"},
             {"Add to Favorites", "Connect"}},
            {"Corp",
             "Corp, Fair, Enterprise (802.1X)",
             {"Add to Favorites"},
             {"Add to Favorites", "Connect (disabled)"}},
            {"Hidden network", "Hidden network, Excellent, WPA2", {"Connect"}, {"Connect"}},
        };
        auto menuTexts = [&w](const QString& name) {
            QStringList texts;
            std::unique_ptr<QMenu> menu(w.view.contextMenuFor(w.rowOf(name), nullptr));
            for (QAction* action : menu->actions())
                texts.append(action->text() + (action->isEnabled() ? "" : " (disabled)"));
            return texts;
        };
        for (const auto& e : expected) {
            QCOMPARE(read(row(e.row)->text(QAccessible::Name)), e.name);
            QCOMPARE(actions(e.row), e.actions);
            QCOMPARE(list->indexOfChild(row(e.row)), w.rowOf(e.row));
            QCOMPARE(menuTexts(e.row), e.menu);
        }
        QVERIFY(row("Home")->state().active);
        QCOMPARE(menuTexts("Cafe"), (QStringList{"Add to Favorites", "Connect"}));

        row("Legacy")->actionInterface()->doAction(NetworkRowAccessible::favoriteAction());
        QCOMPARE(w.prefs->favorites(), (QStringList{"Home", "Legacy"}));
        QTRY_COMPARE(read(row("Legacy")->text(QAccessible::Name)),
                     QStringLiteral("Legacy, Weak, WEP, Saved, Favorite"));
        QCOMPARE(menuTexts("Legacy").first(), QStringLiteral("Remove from Favorites"));
        Q_EMIT w.view.rowDelegate()->favoriteToggled(w.view.listModel()->index(w.rowOf("Legacy")));
        QCOMPARE(w.prefs->favorites(), QStringList{"Home"});
        Q_EMIT w.view.rowDelegate()->favoriteToggled(w.view.listModel()->index(w.rowOf("Corp")));
        QTRY_COMPARE(w.rows().mid(0, 2), (QStringList{"Home", "Corp"}));
        QVERIFY(w.view.listModel()->network(1).isFavorite);
        row("Cafe")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(read(w.view.cardTitle()->text()), QStringLiteral("Cafe"));
    }

    // Return on the focused row joins: the row spins, then leads as current.
    // A double click on an enterprise network asks the store, which says
    // where to join it. Then the password sheet.
    void joinFlows()
    {
        Window w(demo({{"delays", QJsonObject{{"joinMs", 400}}}}));
        w.scanned();
        QListView* list = w.view.listView();
        list->setFocus();
        list->setCurrentIndex(w.view.listModel()->index(w.rowOf("Cafe")));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(w.view.listModel()->isBusy(w.rowOf("Cafe")));
        QTRY_COMPARE(w.rows().first(), QStringLiteral("Cafe"));
        QTRY_VERIFY(w.view.listModel()->network(0).isCurrent);
        QVERIFY(!w.view.listModel()->isBusy(0));
        QCOMPARE(read(w.view.cardTitle()->text()), QStringLiteral("Cafe"));

        const QRect corp = list->visualRect(w.view.listModel()->index(w.rowOf("Corp")));
        const QPoint point(corp.center().x(), corp.top() + 8);
        // A double click as the window system delivers it.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
        QTRY_COMPARE(w.bannerTitles(),
                     QStringList{"Join enterprise (802.1X) networks from Wi-Fi in System Settings."});
        QVERIFY(!w.store.connectingTo());

        const int legacy = w.rowOf("Legacy");
        Q_EMIT w.view.rowDelegate()->connectRequested(w.view.listModel()->index(legacy));
        PasswordSheet* sheet = w.view.passwordSheet();
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->network()->ssid, QStringLiteral("Legacy"));

        // The list keeps its order while the sheet is open.
        QVERIFY(w.view.listModel()->isFrozen());
        w.prefs->setSortKey(SortKey::name);
        w.settle();
        QCOMPARE(w.rowOf("Legacy"), legacy);

        // WEP: four characters are not enough, five are.
        QTest::keyClicks(sheet->field(), "1234");
        QTest::keyClick(sheet->field(), Qt::Key_Return);
        QVERIFY(sheet->isVisible());
        QTest::keyClicks(sheet->field(), "5");
        QTest::keyClick(sheet->field(), Qt::Key_Return);
        QTRY_VERIFY(!sheet->isVisible());
        QTRY_VERIFY(!w.view.listModel()->isFrozen());
        QTRY_COMPARE(read(w.view.cardTitle()->text()), QStringLiteral("Legacy"));

        // Cancel clears the target (tst_PasswordSheet: and the field); a
        // wrong password closes the sheet and becomes the banner.
        Q_EMIT w.view.rowDelegate()->connectRequested(w.view.listModel()->index(w.rowOf("Zeta")));
        QTRY_VERIFY(sheet->isVisible());
        sheet->cancelButton()->click();
        QTRY_VERIFY(!w.store.passwordTarget());
        Q_EMIT w.view.rowDelegate()->connectRequested(w.view.listModel()->index(w.rowOf("Zeta")));
        QTRY_VERIFY(sheet->isVisible());
        QTest::keyClicks(sheet->field(), "wrong-password");
        sheet->connectButton()->click();
        QTRY_COMPARE(w.bannerTitles(), QStringList{"Could not connect to “Zeta”. Check the password."});
        QVERIFY(!sheet->isVisible());
    }
};

QTEST_MAIN(TestContentView)
#include "tst_ContentView.moc"
