// The main window's content on simulated radios: banners, the card, the list
// (sort menu, searches, why it is empty), the keyboard, screen readers, and
// joining through the rows, the password sheet and the hidden-network sheet.

#include "tests/ui/UiTestKit.h"

#include "ui/Announcer.h"
#include "ui/AppInfo.h"
#include "ui/Banner.h"
#include "ui/ContentView.h"
#include "ui/ElidedLabel.h"
#include "ui/HiddenNetworkSheet.h"
#include "ui/MenuKeys.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRow.h"
#include "ui/NetworkRowAccessible.h"
#include "ui/PasswordSheet.h"
#include "ui/SearchField.h"
#include "ui/SpeedTestView.h"
#include "ui/SymbolView.h"
#include "ui/SystemSettings.h"
#include "ui/Tints.h"
#include "wifi/SsidText.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

// `scenario` with these networks; "Home" joins with "right-password".
QJsonObject demo(QJsonObject scenario = {})
{
    QJsonArray networks =
        accessPoints({"Home|aa:00:00:00:00:01|-55|36|wpa2Personal|50", "Cafe|aa:00:00:00:00:02|-63|1|open|24",
                      "Corp|aa:00:00:00:00:03|-70|100|enterprise|50", "Legacy|aa:00:00:00:00:04|-80|3|wep|24",
                      "Zeta|aa:00:00:00:00:05|-45|149|wpa3Personal|50"});
    QJsonObject home = networks[0].toObject();
    home["password"] = "right-password";
    networks[0] = home;
    scenario["networks"] = networks;
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
    // Lets the view pick up what the store announced.
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
    QModelIndex indexOf(const QString& name) const { return view.listModel()->index(rowOf(name)); }
};

const QString kNoInterface = QStringLiteral("No Wi-Fi interface was found.");
const QString kPowerOff = QStringLiteral("Wi-Fi is turned off.");
const QString kLocation = QStringLiteral("Allow location access to read the names of nearby networks.");

} // namespace

class TestContentView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useEnglish(); }

    // What screen readers are told each piece is: banners and announcements
    // are alerts (spoken when they appear), a line is a separator, a box a
    // pane; an announcement shows only while it has something to say.
    // A shortened label offers its whole text on hover, a whole one none;
    // the dark tints follow a dark window colour; the version names its build;
    // a keyboard menu starts on its first item that can be taken; the
    // desktop's settings program starts on its Wi-Fi page.
    void piecesOnTheirOwn()
    {
        QWidget window;
        auto* banner = new Banner(Banner::Kind::error, QStringLiteral("Wi-Fi is off"), {}, {}, {}, &window);
        auto* announcer = new Announcer(&window);
        auto* label = new ElidedLabel(QStringLiteral("Home"), &window);
        auto* line = new QFrame(&window);
        line->setFrameShape(QFrame::HLine);
        auto* box = new QFrame(&window);
        box->setFrameShape(QFrame::StyledPanel);
        QList<QAccessible::Role> roles;
        for (QWidget* w : std::initializer_list<QWidget*>{banner, announcer, label, line, box})
            roles << QAccessible::queryAccessibleInterface(w)->role();
        QCOMPARE(roles, (QList{QAccessible::AlertMessage, QAccessible::AlertMessage, QAccessible::StaticText,
                               QAccessible::Separator, QAccessible::Pane}));
        // An error carries the warning triangle, a warning the "i".
        const Banner warning(Banner::Kind::warning, QStringLiteral("Location is off"));
        QCOMPARE(banner->findChild<SymbolView*>()->symbol(), Symbol::warningFill);
        QCOMPARE(warning.findChild<SymbolView*>()->symbol(), Symbol::infoFill);

        QVERIFY(announcer->isHidden());
        announcer->announce(QStringLiteral("3 networks found"));
        QVERIFY(!announcer->isHidden());
        QCOMPARE(QAccessible::queryAccessibleInterface(announcer)->text(QAccessible::Name),
                 QStringLiteral("3 networks found"));
        announcer->announce(QString());
        QVERIFY(announcer->isHidden());

        ElidedLabel elided(QStringLiteral("A rather long network name that cannot fit"));
        elided.resize(60, 20);
        elided.show();
        QCOMPARE(elided.toolTip(), QStringLiteral("A rather long network name that cannot fit"));
        elided.resize(2000, 20);
        QCOMPARE(elided.toolTip(), QString());

        QPalette light, dark;
        light.setColor(QPalette::Window, QColor(0xf6, 0xf6, 0xf6));
        dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x24));
        QCOMPARE(std::pair(isDark(light), isDark(dark)), std::pair(false, true));

        QCOMPARE(QStringList({AppInfo::versionText("2.1", "417"), AppInfo::versionText("2.1", ""),
                              AppInfo::versionText("", "")}),
                 (QStringList{"2.1 (417)", "2.1", "1.0.0"}));

        // A keyboard menu starts on its first item that can be taken.
        QMenu items;
        items.addAction(QStringLiteral("Off"))->setEnabled(false);
        items.addSeparator();
        items.addAction(QStringLiteral("Unseen"))->setVisible(false);
        items.addAction(QStringLiteral("First"));
        items.addAction(QStringLiteral("Second"));
        activateFirst(&items);
        QCOMPARE(items.activeAction() ? items.activeAction()->text() : QString(), QStringLiteral("First"));

        QTemporaryDir bin;
        const QString script = bin.filePath(QStringLiteral("gnome-control-center"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\necho \"$*\" > '%1.args'\n").arg(script).toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        const bool started = openSystemSettings();
        qputenv("PATH", path);
        QVERIFY(started);
        QFile args(script + QStringLiteral(".args"));
        QTRY_VERIFY(args.exists() && args.size() > 0);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(args.readAll(), QByteArray("wifi\n"));
    }

    // The banners by condition, and what the last one's button does: it asks
    // for the permission, powers the radio, or dismisses.
    void banners()
    {
        const QString settings = systemSettingsCommand() ? QStringLiteral("Open System Settings") : QString();
        const QJsonObject busy{
            {"scanError", QJsonObject{{"code", 5}, {"description", "The radio is <b>busy</b>."}}}};
        const struct {
            QJsonObject scenario;
            int locationStatus;
            QStringList titles;
            QString button;
        } cases[] = {
            {demo({{"interface", QJsonValue::Null}}), 0, {kNoInterface}, {}}, // wins over permission
            {demo({{"poweredOn", false}}), 0, {kPowerOff}, "Turn On"},        // wins over permission
            {demo(), 0, {kLocation}, "Allow"},
            {demo(), 2, {kLocation}, settings},
            {demo(busy), 2, {kLocation, "The radio is <b>busy</b>."}, "Dismiss"}, // an error below the status
        };
        for (const auto& c : cases) {
            Window w(c.scenario, c.locationStatus);
            w.scanned(); // a failed scan does not repeat the status banner
            QTRY_COMPARE(w.bannerTitles(), c.titles);
            Banner* banner = w.view.banners().last();
            // A daemon's text, like a name, is shown as it came, never as markup.
            for (const QLabel* label : banner->findChildren<QLabel*>())
                QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(banner->button() ? banner->button()->text() : QString(), c.button);
            // A hidden network can be joined only with a radio that is on.
            const bool radioOn = c.titles.first() != kNoInterface && c.titles.first() != kPowerOff;
            QCOMPARE(w.view.joinHiddenAction()->isEnabled(), radioOn);
            if (c.button != "Allow" && c.button != "Turn On" && c.button != "Dismiss")
                continue;
            banner->button()->click();
            QTRY_VERIFY(!w.bannerTitles().contains(c.titles.last()));
            QVERIFY(w.view.joinHiddenAction()->isEnabled());
            QVERIFY(c.button == "Allow"     ? w.location.status() == 3
                    : c.button == "Turn On" ? w.store.status().poweredOn
                                            : !w.store.errorMessage());
        }
    }

    // The empty list says what hides the networks, and its button undoes it.
    void emptyListSaysWhy()
    {
        const struct {
            QJsonObject scenario;
            QString search;
            bool favoritesOnly;
            QString message;
            int rowsAfter;
            QString button;
        } cases[] = {
            {demo(), QString::fromUtf16(u"a\u202eb\a"), false, R"(No network matches “a\u202eb\x07”.)", 5,
             "Clear Search"},
            // Turning the favourites filter off is what brings "Cafe" back.
            {demo(), "cafe", true, "None of your favorite networks is nearby.", 1, "Show All Networks"},
            // The banner above offers Turn On; the list does not offer it again.
            {demo({{"poweredOn", false}}), "x", false, kPowerOff, 0, ""},
            {QJsonObject{{"networks", QJsonArray()}}, "", false, "No networks found.", 0, "Scan Again"},
            {demo({{"interface", QJsonValue::Null}}), "x", false, kNoInterface, 0, ""},
        };
        for (const auto& c : cases) {
            Window w(c.scenario);
            w.prefs->toggleFavorite(QStringLiteral("Far Away"));
            w.prefs->setFavoritesOnly(c.favoritesOnly);
            w.view.searchField()->insert(c.search); // as typed
            w.scanned();
            QTRY_VERIFY(w.view.showsEmptyState());
            QTRY_COMPARE(w.view.emptyStateLabel()->text(), c.message);
            QPushButton* action = w.view.emptyStateButton();
            QCOMPARE(action->isVisibleTo(&w.view) ? action->text() : QString(), c.button);
            if (c.button.isEmpty())
                continue;
            QSignalSpy finished(&w.store, &WiFiStore::scanFinished);
            action->click();
            if (c.button == "Scan Again")
                QVERIFY(finished.wait(10000));
            QTRY_COMPARE(w.rows().size(), c.rowsAfter);
            QVERIFY(w.store.status().poweredOn);
            QCOMPARE(w.view.searchField()->text(), c.button == "Clear Search" ? QString() : c.search);
            QCOMPARE(w.prefs->favoritesOnly(), c.favoritesOnly && c.button != "Show All Networks");
        }
    }

    // Every action is reached without a mouse; while Ctrl+R scans the list
    // says so and Scan is disabled. Screen readers get the search field's
    // name, each row's marks, and its controls as actions, as the context
    // menu offers them.
    void keyboardAndScreenReaders()
    {
        Window w(demo({{"current", QJsonObject{{"ssid", "Home"}}},
                       {"saved", QJsonArray{"Home", "Legacy"}},
                       {"delays", QJsonObject{{"scanMs", 300}}}}),
                 0);
        w.prefs->toggleFavorite(QStringLiteral("Home"));
        w.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        QTest::keyClick(w.view.listView(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(w.view.emptyStateLabel()->text(), QStringLiteral("Scanning…"));
        QVERIFY(!w.view.emptyStateButton()->isVisibleTo(&w.view));
        QVERIFY(!w.view.rescanAction()->isEnabled());
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
        const QList<QWidget*> chain = {w.view.searchField(),
                                       w.view.sortButton(),
                                       toolbar->widgetForAction(w.view.speedTestAction()),
                                       toolbar->widgetForAction(w.view.rescanAction()),
                                       w.view.banners().first()->button(),
                                       w.view.disconnectButton(),
                                       w.view.listView()};
        QCOMPARE(visited, chain);
        QTest::keyClick(w.view.listView(), Qt::Key_T, Qt::ControlModifier);
        QTRY_VERIFY(w.view.speedTestSheet() && w.view.speedTestSheet()->isVisible());
        // Done closes the window, not only its content.
        Q_EMIT w.view.speedTestSheet()->findChild<SpeedTestView*>()->closeRequested();
        QTRY_VERIFY(!w.view.speedTestSheet());

        QCOMPARE(QAccessible::queryAccessibleInterface(w.view.searchField())->text(QAccessible::Name),
                 QStringLiteral("Filter by name"));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.view.listView());
        auto row = [&](const QString& name) { return list->child(w.rowOf(name)); };
        // What a row offers: its accessible actions | its context menu.
        auto offers = [&](const QString& name) {
            QStringList texts;
            QAccessibleActionInterface* a = row(name)->actionInterface();
            for (const QString& action : a->actionNames())
                texts.append(a->localizedActionName(action));
            std::unique_ptr<QMenu> menu(w.view.contextMenuFor(w.rowOf(name), nullptr));
            texts.append("|");
            for (QAction* action : menu->actions())
                texts.append(action->text() + (action->isEnabled() ? "" : " (disabled)"));
            return texts.join(' ');
        };
        // The description opens with the strength that the row paints.
        auto strength = [&](const QString& name) {
            return read(row(name)->text(QAccessible::Description))
                .section(u'\n', 0, 0)
                .split(QStringLiteral(" · "))
                .value(0);
        };
        const struct {
            QString row, name, offers, strength;
        } expected[] = {
            {"Home", "Home, Good, WPA2, Connected, Saved, Favorite",
             "Remove from Favorites | Remove from Favorites", "-55 dBm"},
            {"Legacy", "Legacy, Weak, WEP, Saved", "Connect Add to Favorites | Add to Favorites Connect",
             "-80 dBm"},
            {"Corp", "Corp, Fair, Enterprise (802.1X)",
             "Add to Favorites | Add to Favorites Connect (disabled)", "-70 dBm"},
        };
        for (const auto& e : expected) {
            QCOMPARE(strength(e.row), e.strength);
            QCOMPARE(read(row(e.row)->text(QAccessible::Name)), e.name);
            QCOMPARE(offers(e.row), e.offers);
            QCOMPARE(list->indexOfChild(row(e.row)), w.rowOf(e.row));
        }
        QVERIFY(row("Home")->state().active);
        // The focused row is the current one, only while the list has the focus.
        w.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        w.view.listView()->setFocus();
        w.view.listView()->setCurrentIndex(w.indexOf("Legacy"));
        QCOMPARE(list->focusChild(), row("Legacy"));
        w.view.searchField()->setFocus();
        QCOMPARE(list->focusChild(), nullptr);
        w.prefs->setStrengthUnit(StrengthUnit::percent);
        QTRY_COMPARE(strength("Legacy"), QStringLiteral("40%"));

        row("Legacy")->actionInterface()->doAction(NetworkRowAccessible::favoriteAction());
        QCOMPARE(w.prefs->favorites(), (QStringList{"Home", "Legacy"}));
        QTRY_COMPARE(read(row("Legacy")->text(QAccessible::Name)),
                     QStringLiteral("Legacy, Weak, WEP, Saved, Favorite"));
        Q_EMIT w.view.rowDelegate()->favoriteToggled(w.indexOf("Legacy")); // the row's star
        QCOMPARE(w.prefs->favorites(), QStringList{"Home"});
        row("Cafe")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(read(w.view.cardTitle()->text()), QStringLiteral("Cafe"));
    }

    // "Measured" is the download of the network's newest measurement, read
    // again as the history changes. Typing on the list searches; Escape clears
    // the search, then gives the list its focus back; Ctrl+F selects the
    // search; Shift+F10 opens the row's menu on its first entry. The sort
    // menu orders the list. Return joins: the row spins, then the card shows
    // the network in the chosen unit. A double click on an enterprise network
    // says where to join it. The password sheet freezes the list's order;
    // Cancel, then a password; Disconnect.
    void searchesAndJoinFlows()
    {
        Window w(demo({{"delays", QJsonObject{{"joinMs", 400}}}}));
        w.scanned();
        const QStringList all{"Zeta", "Home", "Cafe", "Corp", "Legacy"};
        QCOMPARE(w.rows(), all);
        QCOMPARE(w.view.sectionTitle()->text(), QStringLiteral("Nearby networks (5)"));
        QVERIFY(w.view.lastScanLabel()->text().startsWith(QStringLiteral("Last scan ")));
        SpeedHistory& history = SpeedHistory::shared();
        history.add(measurement("Home", 5, 250));
        history.add(measurement("Home", 1, 87.5)); // upload 22.9
        history.add(measurement("Elsewhere", 0, 40));
        w.settle();
        const NetworkListModel& model = *w.view.listModel();
        QCOMPARE(model.measuredMbps(w.rowOf("Home")), std::optional<double>(87.5));
        QCOMPARE(model.measuredMbps(w.rowOf("Cafe")), std::nullopt);
        history.clear();
        w.settle();
        QCOMPARE(model.measuredMbps(w.rowOf("Home")), std::nullopt);

        w.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        QListView* list = w.view.listView();
        SearchField* search = w.view.searchField();
        list->setFocus();
        QTest::keyClicks(list, "ca");
        QCOMPARE(std::pair(search->text(), QApplication::focusWidget()),
                 std::pair(QString("ca"), static_cast<QWidget*>(search)));
        QTRY_COMPARE(w.rows(), QStringList{"Cafe"});
        QTest::keyClick(search, Qt::Key_Escape);
        QTRY_COMPARE(w.rows(), all);
        QCOMPARE(std::pair(search->text(), QApplication::focusWidget()),
                 std::pair(QString(), static_cast<QWidget*>(search)));
        QTest::keyClick(search, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), list);
        // A capital letter arrives with Shift held, as from a keyboard.
        QTest::sendKeyEvent(QTest::Click, list, Qt::Key_L, QStringLiteral("L"), Qt::ShiftModifier);
        QTRY_COMPARE(w.rows(), QStringList{"Legacy"});
        list->setFocus();
        QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(std::pair(QApplication::focusWidget(), search->selectedText()),
                 std::pair(static_cast<QWidget*>(search), QString("L")));
        QTest::keyClicks(search, "co");
        QTRY_COMPARE(w.rows(), QStringList{"Corp"});

        list->setFocus();
        list->setCurrentIndex(w.indexOf("Corp"));
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << action->text() + (action->isEnabled() ? "" : " (disabled)");
        QCOMPARE(
            std::pair(entries, menu->activeAction()->text()),
            std::pair(QStringList{"Add to Favorites", "Connect (disabled)"}, QString("Add to Favorites")));
        menu->close();

        QTest::keyClick(search, Qt::Key_Escape);
        QTRY_COMPARE(w.rows(), all);
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
        menuItem("Band")->trigger();
        QCOMPARE(std::pair(w.prefs->showHidden(), w.prefs->sortKey()), std::pair(true, SortKey::band));

        list->setFocus();
        list->setCurrentIndex(w.indexOf("Cafe"));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(w.view.listModel()->isBusy(w.rowOf("Cafe")));
        QTRY_COMPARE(read(w.view.cardTitle()->text()), QStringLiteral("Cafe"));
        QVERIFY(!w.view.listModel()->isBusy(w.rowOf("Cafe")));
        QCOMPARE(w.view.cardSubtitleLabel()->text(),
                 QStringLiteral("Connected ・ -63 dBm ・ 2.4 GHz · Channel 1 ・ 144 Mbps"));
        w.prefs->setStrengthUnit(StrengthUnit::percent);
        QTRY_COMPARE(w.view.cardSubtitleLabel()->text(),
                     QStringLiteral("Connected ・ 74% ・ 2.4 GHz · Channel 1 ・ 144 Mbps"));
        QVERIFY(w.view.speedTestAction()->isEnabled());

        const QRect corp = list->visualRect(w.indexOf("Corp"));
        const QPoint point(corp.center().x(), corp.top() + 8);
        // A double click as the window system delivers it.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
        QTRY_COMPARE(w.bannerTitles(),
                     QStringList{"Join enterprise (802.1X) networks from Wi-Fi in System Settings."});
        QVERIFY(!w.store.connectingTo());

        const int home = w.rowOf("Home");
        PasswordSheet* sheet = w.view.passwordSheet();
        Q_EMIT w.view.rowDelegate()->connectRequested(w.indexOf("Home"));
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->network()->ssid, QStringLiteral("Home"));
        QVERIFY(w.view.listModel()->isFrozen());
        w.prefs->setSortKey(SortKey::name);
        w.settle();
        QCOMPARE(w.rowOf("Home"), home);
        sheet->cancelButton()->click();
        QTRY_VERIFY(!w.store.passwordTarget());
        QTRY_VERIFY(!w.view.listModel()->isFrozen());

        Q_EMIT w.view.rowDelegate()->connectRequested(w.indexOf("Home"));
        QTRY_VERIFY(sheet->isVisible());
        QTest::keyClicks(sheet->field(), "right-password");
        sheet->connectButton()->click();
        QTRY_VERIFY(!sheet->isVisible());
        QTRY_COMPARE(read(w.view.cardTitle()->text()), QStringLiteral("Home"));

        w.view.disconnectButton()->click();
        QTRY_COMPARE(w.view.cardTitle()->text(), QStringLiteral("Not connected"));
        QCOMPARE(w.view.cardSubtitleLabel()->text(), QStringLiteral("Pick a network below to connect."));
        QVERIFY(!w.view.speedTestAction()->isEnabled());
        QVERIFY(!w.view.disconnectButton()->isVisibleTo(&w.view));
    }

    // The nameless row's join opens the sheet with the row's security; the
    // store decides what joins. A failure stays in the sheet with the name
    // and the password kept (no banner besides); Escape forgets them.
    void hiddenNetworkSheet()
    {
        const struct {
            QString name;
            Security security;
            QString password, problem; // no problem: joins
            bool refused;              // Connect disabled
        } cases[] = {
            {"Attic", Security::wpa3Personal, "attic-typo",
             "Could not connect to “Attic”. Check the password.", false},
            {"Attic", Security::wpa3Personal, "attic-secret", "", false},
            {"Lobby", Security::open, "", "", false}, // no password asked
            {"Attic", Security::enterprise, "attic-secret", "", true},
            // 11 characters, 33 bytes.
            {QString(11, QChar(0x65E5)), Security::wpa3Personal, "attic-secret",
             "The network name is too long (32 bytes at most).", true},
        };
        QJsonObject scenario = demo({{"delays", QJsonObject{{"joinMs", 200}}}});
        QJsonArray networks = scenario["networks"].toArray();
        QJsonObject attic = accessPoint("|aa:00:00:00:00:06|-60|44|wpa3Personal|50");
        attic["hiddenSsid"] = "Attic";
        attic["password"] = "attic-secret";
        networks.append(attic);
        QJsonObject lobby = accessPoint("|aa:00:00:00:00:07|-75|11|open|24");
        lobby["hiddenSsid"] = "Lobby";
        networks.append(lobby);
        scenario["networks"] = networks;
        for (const auto& c : cases) {
            Window w(scenario);
            w.prefs->setShowHidden(true);
            w.scanned();
            HiddenNetworkSheet* sheet = w.view.hiddenNetworkSheet();
            const int nameless = w.rowOf("Hidden network");
            QVERIFY(nameless >= 0);
            Q_EMIT w.view.rowDelegate()->connectRequested(w.view.listModel()->index(nameless));
            QTRY_VERIFY(sheet->isVisible());
            QCOMPARE(sheet->security(), Security::wpa3Personal);
            QVERIFY(!w.store.passwordTarget());

            sheet->nameField()->insert(c.name); // as typed
            sheet->securityBox()->setCurrentIndex(sheet->securityBox()->findData(rawValue(c.security)));
            const bool asks = c.security != Security::open && c.security != Security::enterprise;
            QCOMPARE(sheet->passwordField()->isVisibleTo(sheet), asks);
            QCOMPARE(sheet->showPasswordBox()->isVisibleTo(sheet), asks);
            if (asks)
                QTest::keyClicks(sheet->passwordField(), c.password);
            QCOMPARE(sheet->connectButton()->isEnabled(), !c.refused);
            QCOMPARE(sheet->connectButton()->toolTip(),
                     c.security == Security::enterprise ? WiFiStore::enterpriseMessage() : QString());
            QCOMPARE(sheet->problem(), c.refused ? c.problem : QString());
            QTest::keyClick(asks ? sheet->passwordField() : sheet->nameField(), Qt::Key_Return);
            if (c.refused) {
                QVERIFY(!sheet->isJoining() && sheet->isVisible() && !w.store.connectingTo());
            } else if (c.problem.isEmpty()) {
                QVERIFY(sheet->isJoining());
                // The name being joined as every name is shown: escaped, in an isolate of its own.
                QStringList shown;
                for (const QLabel* label : sheet->findChildren<QLabel*>())
                    shown << label->text();
                QVERIFY2(shown.contains("Connecting to “" + screenName(c.name) + "”…"),
                         qPrintable(shown.join('|')));
                QTRY_VERIFY(!sheet->isVisible());
                QTRY_COMPARE(read(w.view.cardTitle()->text()), c.name);
                QCOMPARE(w.bannerTitles(), QStringList());
                continue;
            } else {
                QTRY_COMPARE(read(sheet->problem()), c.problem);
                QVERIFY(sheet->isVisible());
                QCOMPARE(sheet->nameField()->text(), c.name);
                QCOMPARE(sheet->security(), c.security);
                QCOMPARE(sheet->passwordField()->selectedText(), c.password);
                w.settle();
                QCOMPARE(w.bannerTitles(), QStringList());
            }
            QCOMPARE(w.store.status().ssid, std::nullopt);
            sheet->showPasswordBox()->setChecked(true);
            QTest::keyClick(sheet->nameField(), Qt::Key_Escape);
            QVERIFY(!sheet->isVisible());
            // Opened again: empty, and a password typed now is hidden again.
            w.view.joinHiddenAction()->trigger();
            QVERIFY(sheet->isVisible());
            QCOMPARE(
                std::tuple(sheet->nameField()->text(), sheet->problem(), sheet->passwordField()->echoMode()),
                std::tuple(QString(), QString(), QLineEdit::Password));
            QCOMPARE(sheet->security(), Security::wpa2Personal);
        }
    }
};

QTEST_MAIN(TestContentView)
#include "tst_ContentView.moc"
