#include "ui/ContentView.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "speed/SpeedHistory.h"
#include "speed/SpeedTest.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/AccessibleRoles.h"
#include "ui/Banner.h"
#include "ui/BannerStack.h"
#include "ui/ContentDecisions.h"
#include "ui/EmptyListState.h"
#include "ui/HiddenNetworkSheet.h"
#include "ui/MenuKeys.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkListView.h"
#include "ui/NetworkRow.h"
#include "ui/PasswordSheet.h"
#include "ui/ScreenFit.h"
#include "ui/SearchField.h"
#include "ui/SignalBars.h"
#include "ui/SortButton.h"
#include "ui/SortMenu.h"
#include "ui/SpeedTestView.h"
#include "ui/SpeedTestWindow.h"
#include "ui/Strength.h"
#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"
#include "wifi/LocationAuth.h"
#include "wifi/SsidText.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>

namespace ondrel {

using namespace std::chrono_literals;

namespace {

void setTextSize(QWidget* widget, int size, QFont::Weight weight = QFont::Normal)
{
    widget->setFont(viewstyle::scaled(widget->font(), size, weight));
}

QLabel* plainLabel(QWidget* parent, int pixels, QFont::Weight weight = QFont::Normal)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    setTextSize(label, pixels, weight);
    return label;
}

void makeSecondary(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, secondaryColor(widget->palette()));
    widget->setPalette(palette);
}

// A rounded, faintly tinted panel (the current-network card).
class Card : public QFrame {
public:
    explicit Card(QWidget* parent) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 11, 11);
        painter.fillPath(path, primaryFill(palette(), isDark(palette()) ? 0.09 : 0.06));
    }
};

} // namespace

ContentView::ContentView(Prefs& prefs, WiFiStore& store, LocationAuth& location, QWidget* parent)
    : QWidget(parent), prefs_(prefs), store_(store), location_(location)
{
    installAccessibleRoles();
    setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft : Qt::LeftToRight);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar(layout);
    buildHeader(layout);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    buildContent(layout);

    passwordSheet_ = new PasswordSheet(this);
    connect(passwordSheet_, &PasswordSheet::dismissed, this, [this] { store_.cancelPassword(); });
    connect(passwordSheet_, &PasswordSheet::submitted, this,
            [this](const ScannedNetwork&, const QString& password) { store_.submitPassword(password); });
    hiddenSheet_ = new HiddenNetworkSheet(store_, this);

    spinnerTimer_ = new QTimer(this);
    spinnerTimer_->setInterval(100ms);
    connect(spinnerTimer_, &QTimer::timeout, this, [this] { list_->viewport()->update(); });

    // Observers read the new values after the announcement has been handled.
    connect(&prefs_, &Prefs::willChange, this, &ContentView::scheduleRefresh, Qt::QueuedConnection);
    for (auto signal : {&WiFiStore::networksChanged, &WiFiStore::lastScanChanged, &WiFiStore::statusChanged,
                        &WiFiStore::errorMessageChanged, &WiFiStore::connectingToChanged,
                        &WiFiStore::passwordTargetChanged})
        connect(&store_, signal, this, &ContentView::scheduleRefresh, Qt::QueuedConnection);
    connect(&store_, &WiFiStore::isScanningChanged, this, &ContentView::scheduleRefresh,
            Qt::QueuedConnection);
    connect(&store_, &WiFiStore::searchTextChanged, this, &ContentView::scheduleRefresh,
            Qt::QueuedConnection);
    connect(&store_, &WiFiStore::hidingFilterChanged, this, &ContentView::scheduleRefresh,
            Qt::QueuedConnection);
    connect(&location_, &LocationAuth::statusChanged, this, &ContentView::scheduleRefresh,
            Qt::QueuedConnection);
    refresh();
}

ContentView::~ContentView() = default;

QSize ContentView::minimumSizeHint() const
{
    return QSize(620, 440);
}

void ContentView::buildToolbar(QVBoxLayout* layout)
{
    toolbar_ = new QToolBar(this);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    const int icon = int(std::lround(viewstyle::scaledSize(16)));
    toolbar_->setIconSize(QSize(icon, icon));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar_->setContentsMargins(8, 4, 8, 4);

    search_ = new SearchField(toolbar_);
    search_->setPlaceholderText(L("ネットワーク名で絞り込む", "Filter by name"));
    search_->setAccessibleName(search_->placeholderText());
    search_->setMinimumWidth(180);
    search_->setMaximumWidth(280);
    search_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(search_, &QLineEdit::textEdited, this,
            [this](const QString& text) { store_.setSearchText(text); });
    // Escape on the empty field goes back to the list.
    connect(search_, &SearchField::escapedEmpty, this, [this] {
        if (!showsEmptyState())
            list_->setFocus(Qt::ShortcutFocusReason);
    });
    search_->addFindKey(this);
    toolbar_->addWidget(search_);

    auto* spacer = new QWidget(toolbar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar_->addWidget(spacer);

    sortMenu_ = new QMenu(this);
    connect(sortMenu_, &QMenu::aboutToShow, this, &ContentView::refreshSortMenu);
    sortButton_ = new SortButton(toolbar_);
    sortButton_->setText(L("並べ替え", "Sort by"));
    sortButton_->setIcon(symbolIcon(Symbol::arrowUpDown));
    sortButton_->setMenu(sortMenu_);
    toolbar_->addWidget(sortButton_);
    refreshSortMenu();

    speedTest_ = toolbar_->addAction(symbolIcon(Symbol::speedometer), L("速度テスト", "Speed Test"));
    speedTest_->setToolTip(L("いま接続しているネットワークの速さを測る",
                             "Measure the speed of the network you are connected to"));
    // Also the View menu's item, with the key shown there.
    speedTest_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    speedTest_->setShortcutContext(Qt::WindowShortcut);
    connect(speedTest_, &QAction::triggered, this, &ContentView::openSpeedTest);

    rescan_ = toolbar_->addAction(themedIcon(QStringLiteral("view-refresh"), Symbol::arrowClockwise),
                                  L("スキャン", "Scan"));
    rescan_->setToolTip(L("周囲のネットワークを探し直す", "Scan for nearby networks again"));
    rescan_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    rescan_->setShortcutContext(Qt::WindowShortcut);
    connect(rescan_, &QAction::triggered, this, [this] { store_.scan(); });
    // Toolbars keep their buttons out of the Tab chain; these are reached by
    // keyboard like every other control.
    for (QAction* action : {speedTest_, rescan_})
        toolbar_->widgetForAction(action)->setFocusPolicy(Qt::TabFocus);

    // Not in the toolbar: the File menu shows it.
    power_ = new QAction(L("Wi-Fi", "Wi-Fi"), this);
    power_->setCheckable(true);
    connect(power_, &QAction::triggered, this, [this](bool on) {
        if (on)
            store_.powerOn();
        else
            store_.powerOff();
    });

    // The File menu's, and a nameless row's join.
    joinHidden_ = new QAction(L("非公開ネットワークに接続…", "Connect to Hidden Network…"), this);
    connect(joinHidden_, &QAction::triggered, this, [this] { hiddenSheet_->openFor(); });

    layout->addWidget(toolbar_);
}

void ContentView::buildHeader(QVBoxLayout* layout)
{
    auto* header = new QWidget(this);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(16, 12, 16, 12);
    column->setSpacing(10);
    banners_ = new BannerStack(store_, location_, header);
    column->addWidget(banners_);

    auto* card = new Card(header);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(14, 11, 14, 11);
    row->setSpacing(12);
    cardBars_ = new SignalBars(card);
    cardBars_->setBarHeight(20);
    row->addWidget(cardBars_, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    cardTitle_ = plainLabel(card, 15, QFont::DemiBold);
    cardSubtitle_ = plainLabel(card, 12);
    makeSecondary(cardSubtitle_);
    for (QLabel* label : {cardTitle_, cardSubtitle_}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        titles->addWidget(label);
    }
    row->addLayout(titles, 1);
    row->addSpacing(12);
    disconnect_ = new QPushButton(L("接続解除", "Disconnect"), card);
    disconnect_->setAutoDefault(false);
    connect(disconnect_, &QPushButton::clicked, this, [this] { store_.disconnect(); });
    row->addWidget(disconnect_, 0, Qt::AlignVCenter);
    column->addWidget(card);
    layout->addWidget(header);
}

void ContentView::buildContent(QVBoxLayout* layout)
{
    stack_ = new QStackedWidget(this);

    auto* listPage = new QWidget(stack_);
    auto* listColumn = new QVBoxLayout(listPage);
    listColumn->setContentsMargins(10, 8, 10, 10);
    listColumn->setSpacing(6);
    auto* section = new QHBoxLayout;
    section->setContentsMargins(12, 0, 12, 0);
    sectionTitle_ = plainLabel(listPage, 12);
    lastScan_ = plainLabel(listPage, 12);
    makeSecondary(lastScan_);
    section->addWidget(sectionTitle_);
    section->addStretch(1);
    section->addWidget(lastScan_);
    listColumn->addLayout(section);

    model_ = new NetworkListModel(this);
    model_->setMeasuredLookup([](const QString& ssid) -> std::optional<double> {
        if (const std::optional<SpeedEntry> entry = SpeedHistory::shared().latest(ssid))
            return entry->downloadMbps;
        return std::nullopt;
    });
    connect(&SpeedHistory::shared(), &SpeedHistory::entriesChanged, model_,
            &NetworkListModel::refreshMeasured);
    list_ = new NetworkListView(model_, listPage);
    delegate_ = list_->rowDelegate();
    connect(delegate_, &NetworkRow::favoriteToggled, this,
            [this](const QModelIndex& i) { toggleFavorite(i.row()); });
    connect(delegate_, &NetworkRow::connectRequested, this,
            [this](const QModelIndex& i) { activate(i.row()); });
    connect(list_, &NetworkListView::joinRequested, this, &ContentView::activate);
    connect(list_, &NetworkListView::typed, search_, &SearchField::takeTyping);
    connect(list_, &NetworkListView::contextMenuRequested, this,
            [this](int row, const QPoint& pos, bool fromKeyboard) {
                QMenu* menu = contextMenuFor(row, list_);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->popup(pos);
                // From the keyboard, the first item is chosen, ready for Return.
                if (fromKeyboard)
                    activateFirst(menu);
            });
    listColumn->addWidget(list_, 1);
    stack_->addWidget(listPage);

    emptyState_ = new EmptyListState(stack_);
    stack_->addWidget(emptyState_);

    layout->addWidget(stack_, 1);
}

void ContentView::scheduleRefresh()
{
    if (refreshScheduled_)
        return;
    refreshScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshScheduled_ = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void ContentView::refresh()
{
    refreshBanners();
    refreshCard();
    refreshList();
    refreshPasswordSheet();
    const WiFiEngine::Status& status = store_.status();
    speedTest_->setEnabled(status.ssid.has_value());
    refreshRescan();
    power_->setEnabled(status.hasInterface);
    power_->setChecked(status.hasInterface && status.poweredOn);
    joinHidden_->setEnabled(status.hasInterface && status.poweredOn);
    if (search_->text() != store_.searchText())
        search_->setText(store_.searchText());
}

void ContentView::refreshRescan()
{
    // Scan is disabled while a scan runs, and Qt moves the focus of a
    // disabled button on to the next control; the focus comes back when the
    // scan ends, unless the user has moved it elsewhere meanwhile.
    QWidget* button = toolbar_->widgetForAction(rescan_);
    const bool scanning = store_.isScanning();
    const bool hadFocus = button->hasFocus();
    rescan_->setEnabled(!scanning);
    if (scanning && hadFocus)
        focusLentTo_ = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (!scanning && focusLentTo_) {
        if (QApplication::focusWidget() == focusLentTo_ || !QApplication::focusWidget())
            button->setFocus(Qt::OtherFocusReason);
        focusLentTo_.clear();
    }
}

void ContentView::refreshBanners()
{
    if (banners_->refresh())
        orderTabs();
}

QList<Banner*> ContentView::banners() const
{
    return banners_->banners();
}

QString ContentView::strengthText(int rssi) const
{
    return ondrel::strengthText(rssi, prefs_.strengthUnit());
}

void ContentView::refreshCard()
{
    const WiFiEngine::Status& status = store_.status();
    // No bars without a network: a status without one reports 0 dBm.
    cardBars_->setBars(status.ssid ? barsFor(status.rssi) : 0);
    cardTitle_->setText(status.ssid ? screenName(*status.ssid) : L("未接続", "Not connected"));
    viewstyle::describeName(cardTitle_, status.ssid);
    cardSubtitle_->setText(cardSubtitleFor(status, prefs_.strengthUnit()));
    // Pressed, Disconnect goes: the focus goes to the list rather than back
    // to the top of the window.
    const bool focused = disconnect_->hasFocus();
    disconnect_->setVisible(status.ssid.has_value());
    if (focused && !status.ssid)
        list_->setFocus(Qt::OtherFocusReason);
}

void ContentView::refreshList()
{
    model_->setUnit(prefs_.strengthUnit());
    model_->setShowDetails(prefs_.showDetails());
    model_->setBusyName(store_.connectingTo());
    model_->setFrozen(store_.passwordTarget().has_value());
    const QList<ScannedNetwork>& networks = store_.networks();
    model_->setNetworks(networks);

    const bool empty = networks.isEmpty();
    stack_->setCurrentIndex(empty ? 1 : 0);
    if (empty)
        refreshEmptyState();

    sectionTitle_->setText(
        Lf("周囲のネットワーク（%d件）", "Nearby networks (%d)", {qint64(networks.size())}));
    if (const std::optional<QDateTime> last = store_.lastScan())
        lastScan_->setText(lastScanText(*last));
    lastScan_->setVisible(store_.lastScan().has_value());
    list_->setAccessibleName(sectionTitle_->text());

    if (model_->anyBusy())
        spinnerTimer_->start();
    else
        spinnerTimer_->stop();
}

void ContentView::refreshEmptyState()
{
    switch (emptyListFor(store_.status(), store_.hidingFilter(), store_.isScanning())) {
    case EmptyList::noInterface:
        emptyState_->setMessage(Symbol::wifiSlash, L("Wi-Fi インターフェースが見つかりません。",
                                                     "No Wi-Fi interface was found."));
        break;
    case EmptyList::radioOff:
        // The banner above offers Turn On; one offer is enough.
        emptyState_->setMessage(Symbol::wifiSlash, L("Wi-Fi がオフになっています。", "Wi-Fi is turned off."));
        break;
    case EmptyList::search: {
        // The user's own text, shown safely and at most about half a window wide.
        const QString typed = emptyState_->label()->fontMetrics().elidedText(visibleText(store_.searchText()),
                                                                             Qt::ElideMiddle, 300);
        emptyState_->setMessage(
            Symbol::magnifier,
            Lf("「%@」に一致するネットワークはありません。", "No network matches “%@”.", {typed}),
            L("検索をクリア", "Clear Search"), [this] {
                search_->clear();
                store_.setSearchText(QString());
            });
        break;
    }
    case EmptyList::favorites:
        emptyState_->setMessage(
            Symbol::star,
            L("近くにお気に入りのネットワークはありません。", "None of your favorite networks is nearby."),
            L("すべてのネットワークを表示", "Show All Networks"), [this] { prefs_.setFavoritesOnly(false); });
        break;
    case EmptyList::scanning:
        emptyState_->setMessage(Symbol::antenna, L("スキャンしています…", "Scanning…"));
        break;
    case EmptyList::nothingFound:
        emptyState_->setMessage(Symbol::wifiSlash, L("ネットワークが見つかりません。", "No networks found."),
                                L("もう一度スキャン", "Scan Again"), [this] { store_.scan(); });
        break;
    }
}

void ContentView::orderTabs()
{
    // Banners come and go; Tab still goes through the window from top to
    // bottom: the toolbar, the banners' buttons, the card, the list.
    QWidget* previous = toolbar_->widgetForAction(rescan_);
    QList<QWidget*> chain;
    for (Banner* banner : banners()) {
        if (banner->button())
            chain.append(banner->button());
    }
    chain << disconnect_ << list_ << emptyState_->button();
    for (QWidget* next : std::as_const(chain)) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    }
}

void ContentView::refreshPasswordSheet()
{
    const std::optional<ScannedNetwork>& target = store_.passwordTarget();
    if (target) {
        const std::optional<ScannedNetwork>& shown = passwordSheet_->network();
        if (!shown || shown->id() != target->id() || !passwordSheet_->isVisible()) {
            passwordSheet_->setNetwork(*target, prefs_.strengthUnit(), store_.passwordProblem());
            if (!passwordSheet_->isVisible())
                passwordSheet_->open();
        }
    } else if (passwordSheet_->isVisible()) {
        passwordSheet_->hide();
    }
}

void ContentView::submitPassword()
{
    passwordSheet_->submit();
}

void ContentView::refreshSortMenu()
{
    fillSortMenu(sortMenu_, prefs_);
}

void ContentView::toggleFavorite(int row)
{
    const ScannedNetwork& network = model_->network(row);
    if (!network.ssid || network.ssid->isEmpty())
        return;
    prefs_.toggleFavorite(*network.ssid);
    store_.rebuild();
}

void ContentView::activate(int row)
{
    // A copy: the store may replace the list while it handles the join.
    join(ScannedNetwork(model_->network(row)));
}

void ContentView::join(const ScannedNetwork& network)
{
    // A network that hides its name is joined by the name the user knows.
    if ((!network.ssid || network.ssid->isEmpty()) && network.security != Security::enterprise)
        hiddenSheet_->openFor(network.security);
    else
        store_.activate(network);
}

QMenu* ContentView::contextMenuFor(int row, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const ScannedNetwork network = model_->network(row);
    if (network.ssid && !network.ssid->isEmpty()) {
        const QString title = network.isFavorite ? L("お気に入りから削除", "Remove from Favorites")
                                                 : L("お気に入りに追加", "Add to Favorites");
        const QString ssid = *network.ssid;
        connect(menu->addAction(title), &QAction::triggered, this, [this, ssid] {
            prefs_.toggleFavorite(ssid);
            store_.rebuild();
        });
    }
    if (!network.isCurrent) {
        QAction* join = menu->addAction(L("接続", "Connect"));
        join->setEnabled(network.security != Security::enterprise);
        connect(join, &QAction::triggered, this, [this, network] { this->join(network); });
    }
    return menu;
}

QLabel* ContentView::emptyStateLabel() const
{
    return emptyState_->label();
}

QPushButton* ContentView::emptyStateButton() const
{
    return emptyState_->button();
}

bool ContentView::showsEmptyState() const
{
    return stack_->currentIndex() == 1;
}

void ContentView::setSpeedTestFactory(std::function<std::unique_ptr<SpeedTest>()> factory)
{
    speedTestFactory_ = std::move(factory);
}

void ContentView::openSpeedTest()
{
    if (speedTestSheet_) {
        speedTestSheet_->raise();
        speedTestSheet_->activateWindow();
        return;
    }
    if (!store_.status().ssid)
        return;
    auto* window = new SpeedTestWindow(
        new SpeedTestView(store_, SpeedHistory::shared(), speedTestFactory_ ? speedTestFactory_() : nullptr),
        this);
    connect(window->content(), &SpeedTestView::historyRequested, this, &ContentView::historyRequested);
    speedTestSheet_ = window;
    window->show();
}

void ContentView::keyPressEvent(QKeyEvent* event)
{
    if (NetworkListView::startsSearch(*event)) {
        search_->takeTyping(event->text());
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace ondrel
