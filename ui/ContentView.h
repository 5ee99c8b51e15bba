#pragma once

#include "store/StrengthUnit.h"
#include "wifi/WiFiEngine.h"

#include <QPointer>
#include <QWidget>

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QVBoxLayout;

namespace ondrel {

class Banner;
class BannerStack;
class LocationAuth;
class EmptyListState;
class HiddenNetworkSheet;
class NetworkListModel;
class NetworkListView;
class NetworkRow;
class PasswordSheet;
class Prefs;
class SearchField;
class SpeedTest;
class SignalBars;
class WiFiStore;

// The main window's content: status and error banners, the current-network
// card, the list of nearby networks (or the empty state), the toolbar with
// the sort-and-filter menu, the speed test and rescan buttons and the
// search field, and the password and speed test sheets. It owns no network
// state: it draws the store, the preferences and the location permission,
// and every control calls one of their operations.
class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView(Prefs& prefs, WiFiStore& store, LocationAuth& location, QWidget* parent = nullptr);
    ~ContentView() override;

    // The current connection's strength in the chosen unit.
    QString strengthText(int rssi) const;

    // Parts, for the window's menus and for tests.
    QAction* rescanAction() const { return rescan_; }
    QAction* speedTestAction() const { return speedTest_; }
    // "Wi-Fi", checked while the radio is on: turns it off and on.
    QAction* powerAction() const { return power_; }
    // "Connect to Hidden Network…", enabled while the radio is on.
    QAction* joinHiddenAction() const { return joinHidden_; }
    QToolButton* sortButton() const { return sortButton_; }
    QMenu* sortMenu() const { return sortMenu_; }
    SearchField* searchField() const { return search_; }
    NetworkListView* listView() const { return list_; }
    NetworkListModel* listModel() const { return model_; }
    NetworkRow* rowDelegate() const { return delegate_; }
    PasswordSheet* passwordSheet() const { return passwordSheet_; }
    HiddenNetworkSheet* hiddenNetworkSheet() const { return hiddenSheet_; }
    QDialog* speedTestSheet() const { return speedTestSheet_; }
    // The banners shown, status banner first.
    QList<Banner*> banners() const;
    QLabel* cardTitle() const { return cardTitle_; }
    QLabel* cardSubtitleLabel() const { return cardSubtitle_; }
    QPushButton* disconnectButton() const { return disconnect_; }
    bool showsEmptyState() const;
    QLabel* emptyStateLabel() const;
    // The empty state's button (Scan Again, Clear Search, …), hidden when it offers none.
    QPushButton* emptyStateButton() const;
    QLabel* sectionTitle() const { return sectionTitle_; }
    QLabel* lastScanLabel() const { return lastScan_; }

    // Opens the speed test window, or brings the open one to the front.
    void openSpeedTest();
    // Makes the speed test window's tests; unset, they measure at full length.
    void setSpeedTestFactory(std::function<std::unique_ptr<SpeedTest>()> factory);
    // The password sheet's join: ignored while the password is too short.
    void submitPassword();

    // The list's context menu for a row.
    QMenu* contextMenuFor(int row, QWidget* parent);

    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The speed test sheet's Show History was pressed.
    void historyRequested();

protected:
    // Printable keys that reach the window (from a button with the focus)
    // start a search, as typing on the list does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildToolbar(QVBoxLayout* layout);
    void buildHeader(QVBoxLayout* layout);
    void buildContent(QVBoxLayout* layout);
    void scheduleRefresh();
    void refresh();
    void refreshRescan();
    void refreshBanners();
    void refreshCard();
    void refreshList();
    void refreshEmptyState();
    void orderTabs();
    void refreshPasswordSheet();
    void refreshSortMenu();
    void toggleFavorite(int row);
    void activate(int row);
    void join(const ScannedNetwork& network);

    Prefs& prefs_;
    WiFiStore& store_;
    LocationAuth& location_;

    QToolBar* toolbar_ = nullptr;
    QToolButton* sortButton_ = nullptr;
    QMenu* sortMenu_ = nullptr;
    QAction* speedTest_ = nullptr;
    QAction* rescan_ = nullptr;
    QAction* power_ = nullptr;
    QAction* joinHidden_ = nullptr;
    SearchField* search_ = nullptr;

    BannerStack* banners_ = nullptr;
    SignalBars* cardBars_ = nullptr;
    QLabel* cardTitle_ = nullptr;
    QLabel* cardSubtitle_ = nullptr;
    QPushButton* disconnect_ = nullptr;

    QStackedWidget* stack_ = nullptr;
    QLabel* sectionTitle_ = nullptr;
    QLabel* lastScan_ = nullptr;
    NetworkListView* list_ = nullptr;
    NetworkListModel* model_ = nullptr;
    NetworkRow* delegate_ = nullptr;
    EmptyListState* emptyState_ = nullptr;
    QTimer* spinnerTimer_ = nullptr;
    bool refreshScheduled_ = false;
    // Where the focus went when a scan disabled the focused Scan button.
    QPointer<QWidget> focusLentTo_;

    PasswordSheet* passwordSheet_ = nullptr;
    HiddenNetworkSheet* hiddenSheet_ = nullptr;
    QPointer<QDialog> speedTestSheet_;
    std::function<std::unique_ptr<SpeedTest>()> speedTestFactory_;
};

} // namespace ondrel
