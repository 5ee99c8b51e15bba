#include "ui/SettingsView.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/Prefs.h"
#include "store/WiFiStore.h"
#include "ui/AppInfo.h"
#include "ui/ElidedLabel.h"
#include "ui/FormSection.h"
#include "ui/SymbolView.h"
#include "ui/SystemSettings.h"
#include "ui/TabIcon.h"
#include "ui/Tints.h"
#include "ui/ToggleSwitch.h"
#include "ui/ViewStyle.h"
#include "wifi/LocationAuth.h"
#include "wifi/SsidText.h"
#include "wifi/WiFiEngine.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace ondrel {

namespace {

QComboBox* picker(const char* name)
{
    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    box->setMaximumWidth(260);
    return box;
}

// Selects the item whose data equals `value` without announcing it.
void select(QComboBox* box, const QVariant& value)
{
    const QSignalBlocker blocker(box);
    box->setCurrentIndex(box->findData(value));
}

QLabel* paragraph(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(viewstyle::font(12));
    viewstyle::setSecondary(label);
    viewstyle::alignLeading(label, LocaleSettings::isRightToLeftCache);
    return label;
}

} // namespace

SettingsView::SettingsView(Prefs& prefs, WiFiStore* store, LocationAuth* location, int tab, QWidget* parent)
    : QWidget(parent), prefs_(prefs), store_(store), location_(location), builtLanguage_(prefs.language()),
      initialTab_(tab)
{
    setObjectName(QStringLiteral("settingsView"));
    setMinimumWidth(width);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    build();
    // Prefs announces before it stores: read the new values once the event
    // loop comes back round.
    connect(&prefs_, &Prefs::willChange, this, &SettingsView::refresh, Qt::QueuedConnection);
    if (location_)
        connect(location_, &LocationAuth::statusChanged, this, &SettingsView::refreshStatusRows);
    if (store_)
        connect(store_, &WiFiStore::statusChanged, this, &SettingsView::refreshStatusRows);
}

int SettingsView::tab() const
{
    return tabs_->currentIndex();
}

void SettingsView::setTab(int tab)
{
    if (tab >= 0 && tab < tabs_->count())
        tabs_->setCurrentIndex(tab);
}

QString SettingsView::coverageLabel(const QString& label, qsizetype entries, qsizetype total)
{
    const double coverage = total > 0 ? double(entries) / double(total) : 0.0;
    if (coverage > 1.0 || coverage >= 0.995)
        return label;
    const int percent = int(coverage * 100.0); // toward zero
    return Lf("%@（%d%%）", "%@ (%d%%)", {label, percent});
}

QString SettingsView::languageLabel(AppLanguage language)
{
    const QString name = label(language);
    if (language == AppLanguage::system || language == AppLanguage::ja || language == AppLanguage::en)
        return name;
    // The tables do not change while the program runs: count each one once.
    static QHash<AppLanguage, qsizetype> entries;
    auto it = entries.find(language);
    if (it == entries.end()) {
        const std::optional<QHash<QString, QString>> table = LocaleSettings::loadTable(rawValue(language));
        it = entries.insert(language, table ? table->size() : 0);
    }
    return coverageLabel(name, *it, LocaleSettings::totalStringCount());
}

void SettingsView::build()
{
    const int current = tabs_ ? tabs_->currentIndex() : initialTab_;
    if (content_) {
        layout()->removeWidget(content_);
        content_->deleteLater();
    }
    toggles_.clear();
    favoriteRows_.clear();
    shownFavorites_.clear();
    builtLanguage_ = prefs_.language();
    setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft : Qt::LeftToRight);
    setWindowTitle(L("設定", "Settings"));

    content_ = new QWidget(this);
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(0, 10, 0, 0);
    column->setSpacing(0);

    // The tab bar sits centred above the pages, like a preferences toolbar.
    tabs_ = new QTabBar;
    tabs_->setObjectName(QStringLiteral("settingsTabs"));
    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);
    tabs_->setIconSize(QSize(14, 14));
    tabs_->addTab(tabIcon(TabGlyph::gear), L("一般", "General"));
    tabs_->addTab(tabIcon(TabGlyph::list), L("一覧", "List"));
    tabs_->addTab(tabIcon(TabGlyph::info), L("情報", "About"));
    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    bar->addWidget(tabs_);
    bar->addStretch(1);
    column->addLayout(bar);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("color: rgba(128,128,128,70);"));
    column->addWidget(line);

    pages_ = new QStackedWidget;
    pages_->addWidget(page(buildGeneral()));
    pages_->addWidget(page(buildList()));
    pages_->addWidget(page(buildAbout()));
    column->addWidget(pages_, 1);
    connect(tabs_, &QTabBar::currentChanged, pages_, &QStackedWidget::setCurrentIndex);

    layout()->addWidget(content_);
    setTab(current);
    refresh();
}

QWidget* SettingsView::page(QWidget* content)
{
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the page's controls; the page scrolls to the focused one.
    scroll->setFocusPolicy(Qt::NoFocus);
    content->setAutoFillBackground(false);
    scroll->setWidget(content);
    scroll->viewport()->setAutoFillBackground(false);
    return scroll;
}

ToggleSwitch* SettingsView::toggle(const char* name, std::function<bool(const Prefs&)> get,
                                   std::function<void(Prefs&, bool)> set)
{
    auto* sw = new ToggleSwitch;
    sw->setObjectName(QString::fromLatin1(name));
    connect(sw, &ToggleSwitch::toggled, this, [this, set = std::move(set)](bool on) { set(prefs_, on); });
    toggles_.append({sw, std::move(get)});
    return sw;
}

QWidget* SettingsView::buildGeneral()
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(18);

    auto* scanning = new FormSection(L("スキャン", "Scanning"));
    refreshPicker_ = picker("refreshPicker");
    for (qint64 seconds : Prefs::refreshChoices())
        refreshPicker_->addItem(Prefs::refreshLabel(seconds), seconds);
    connect(refreshPicker_, &QComboBox::activated, this, [this](int index) {
        prefs_.setAutoRefreshSeconds(refreshPicker_->itemData(index).toLongLong());
        // The new interval takes effect now, not at the next tick of the old one.
        if (store_)
            store_->restartAutoRefresh();
    });
    scanning->addRow(FormSection::labeledRow(L("自動で探し直す", "Scan automatically"), refreshPicker_));
    // The text and its translations name the rescan key "⌘R"; on this
    // desktop the key is Ctrl+R.
    scanning->setFooter(
        L("探している間は通信が一瞬途切れます。動画の配信や大きな転送の最中は「しない」のままにして、"
          "必要なときだけ ⌘R で探し直してください。",
          "The connection pauses briefly during each scan. Leave this off while streaming or "
          "transferring large files, and press ⌘R when you want a fresh list.")
            .replace(QStringLiteral("⌘R"), QStringLiteral("Ctrl+R")));
    layout->addWidget(scanning);

    permissions_ = new FormSection(L("権限", "Permissions"));
    permissions_->setFooter(
        L("システムの決まりで、周囲の Wi-Fi の名前は位置情報の許可がないと読めません。"
          "このアプリが位置を記録したり外部へ送ったりすることはありません。",
          "The system requires location access before an app can read nearby Wi-Fi names. "
          "This app never records or transmits your location."));
    buildPermissionRow();
    layout->addWidget(permissions_);

    auto* language = new FormSection(L("言語", "Language"));
    languagePicker_ = picker("languagePicker");
    for (AppLanguage lang : allAppLanguages())
        languagePicker_->addItem(languageLabel(lang), rawValue(lang));
    connect(languagePicker_, &QComboBox::activated, this, [this](int index) {
        if (const std::optional<AppLanguage> lang =
                appLanguageFromRawValue(languagePicker_->itemData(index).toString()))
            prefs_.setLanguage(*lang);
    });
    language->addRow(FormSection::labeledRow(L("言語", "Language"), languagePicker_));
    language->setFooter(
        L("訳がまだ無い文言は英語で表示されます。", "Text that has no translation yet appears in English."));
    layout->addWidget(language);

    layout->addStretch(1);
    return content;
}

QWidget* SettingsView::buildList()
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(18);

    auto* order = new FormSection(L("並び", "Order"));
    sortPicker_ = picker("sortPicker");
    for (SortKey key : allSortKeys())
        sortPicker_->addItem(label(key), rawValue(key));
    connect(sortPicker_, &QComboBox::activated, this, [this](int index) {
        if (const std::optional<SortKey> key = sortKeyFromRawValue(sortPicker_->itemData(index).toString()))
            prefs_.setSortKey(*key);
    });
    order->addRow(FormSection::labeledRow(L("並べ替え", "Sort by"), sortPicker_));
    orderPicker_ = picker("orderPicker");
    orderPicker_->addItem(L("強い順", "Strongest first"), false);
    orderPicker_->addItem(L("弱い順", "Weakest first"), true);
    connect(orderPicker_, &QComboBox::activated, this,
            [this](int index) { prefs_.setAscending(orderPicker_->itemData(index).toBool()); });
    order->addRow(FormSection::labeledRow(L("向き", "Order"), orderPicker_));
    layout->addWidget(order);

    favoritesSection_ = new FormSection(L("お気に入り", "Favorites"));
    favoritesSection_->setObjectName(QStringLiteral("favoritesSection"));
    favoritesSection_->addRow(
        FormSection::labeledRow(L("お気に入りを上にまとめる", "Keep favorites at the top"),
                                toggle(
                                    "favoritesOnTopToggle", [](const Prefs& p) { return p.favoritesOnTop(); },
                                    [](Prefs& p, bool on) { p.setFavoritesOnTop(on); })));
    favoritesSection_->addRow(
        FormSection::labeledRow(L("お気に入りだけ表示", "Show favorites only"),
                                toggle(
                                    "favoritesOnlyToggle", [](const Prefs& p) { return p.favoritesOnly(); },
                                    [](Prefs& p, bool on) { p.setFavoritesOnly(on); })));
    favoritesFirstRow_ = favoritesSection_->rowCount();
    favoritesSection_->setFooter(L("お気に入りは名前で覚えます。電波が届いていないネットワークもここに残りま"
                                   "す。一覧の行の星を押すと出し入れできます。",
                                   "Favorites are remembered by name and stay here even when the network is "
                                   "out of range. Use the star on "
                                   "a row to add or remove one."));
    layout->addWidget(favoritesSection_);

    auto* show = new FormSection(L("一覧に出すもの", "What to show"));
    show->addRow(FormSection::labeledRow(
        L("同じ名前のネットワークを1行にまとめる", "Group networks with the same name"),
        toggle(
            "groupToggle", [](const Prefs& p) { return p.groupBySSID(); },
            [](Prefs& p, bool on) { p.setGroupBySSID(on); })));
    show->addRow(FormSection::labeledRow(
        L("名前を公開していないネットワークも出す", "Show networks that hide their name"),
        toggle(
            "hiddenToggle", [](const Prefs& p) { return p.showHidden(); },
            [](Prefs& p, bool on) { p.setShowHidden(on); })));
    show->addRow(
        FormSection::labeledRow(L("チャンネル・帯域幅・BSSID も出す", "Show channel, width, and BSSID"),
                                toggle(
                                    "detailsToggle", [](const Prefs& p) { return p.showDetails(); },
                                    [](Prefs& p, bool on) { p.setShowDetails(on); })));
    layout->addWidget(show);

    auto* units = new FormSection(L("単位", "Units"));
    unitPicker_ = picker("unitPicker");
    for (StrengthUnit unit : allStrengthUnits())
        unitPicker_->addItem(label(unit), rawValue(unit));
    connect(unitPicker_, &QComboBox::activated, this, [this](int index) {
        prefs_.setStrengthUnit(unitPicker_->itemData(index).toString() == rawValue(StrengthUnit::percent)
                                   ? StrengthUnit::percent
                                   : StrengthUnit::dbm);
    });
    units->addRow(FormSection::labeledRow(L("電波の強さ", "Signal strength"), unitPicker_));
    units->setFooter(L("dBm は 0 に近いほど強く、通常は -30 から -90 の範囲に入ります。",
                       "In dBm, closer to zero is stronger. Values normally fall between -30 and -90."));
    layout->addWidget(units);

    layout->addStretch(1);
    return content;
}

QWidget* SettingsView::buildAbout()
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(12);

    about_ = new FormSection(QStringLiteral("Ondrel"));
    auto* version = new QLabel(AppInfo::version());
    version->setObjectName(QStringLiteral("versionValue"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    version->setFont(viewstyle::font(13));
    about_->addRow(FormSection::labeledRow(L("バージョン", "Version"), version));
    buildAboutRows();
    layout->addWidget(about_);

    layout->addWidget(paragraph(L(
        "周囲の Wi-Fi "
        "を電波の強い順に並べて、選んで接続するためのアプリです。パスワードはこのアプリでは一切保存しません。"
        "システムは保存済みの Wi-Fi "
        "パスワードを他のアプリに渡さないため、暗号化されたネットワークにここから接続するときは"
        "入力を求めます。自動再接続はこれまでどおりシステムが行います。",
        "Lists nearby Wi-Fi networks strongest first so you can pick one and join it. This app never stores "
        "passwords. The system does not hand saved Wi-Fi passwords to other apps, so joining a secured "
        "network from "
        "here asks you to type it. Automatic reconnection is still handled by the system.")));
    layout->addStretch(1);
    return content;
}

void SettingsView::refresh()
{
    if (prefs_.language() != builtLanguage_) {
        build();
        return;
    }
    select(refreshPicker_, prefs_.autoRefreshSeconds());
    select(languagePicker_, rawValue(prefs_.language()));
    select(sortPicker_, rawValue(prefs_.sortKey()));
    select(orderPicker_, prefs_.ascending());
    select(unitPicker_, rawValue(prefs_.strengthUnit()));
    for (const auto& [sw, get] : toggles_) {
        const QSignalBlocker blocker(sw);
        sw->setChecked(get(prefs_));
    }
    refreshFavorites();
    refreshStatusRows();
}

QString SettingsView::locationStatusText(int status)
{
    if (status == 3)
        return L("許可済み", "Allowed");
    if (status == 0)
        return L("未設定", "Not set");
    return L("許可されていません", "Not allowed");
}

void SettingsView::buildPermissionRow()
{
    if (!location_)
        return;
    QWidget* row = FormSection::plainRow();
    row->setObjectName(QStringLiteral("permissionRow"));
    auto* layout = static_cast<QHBoxLayout*>(row->layout());
    auto* title = new QLabel(L("位置情報の使用", "Location access"), row);
    title->setTextFormat(Qt::PlainText);
    title->setFont(viewstyle::font(13));
    permissionValue_ = new QLabel(row);
    permissionValue_->setObjectName(QStringLiteral("permissionValue"));
    permissionValue_->setTextFormat(Qt::PlainText);
    permissionValue_->setFont(viewstyle::font(13));
    permissionButton_ = new QPushButton(row);
    permissionButton_->setObjectName(QStringLiteral("permissionButton"));
    permissionButton_->setFont(viewstyle::font(12));
    connect(permissionButton_, &QPushButton::clicked, this, [this] {
        if (!location_)
            return;
        // The decision is taken again on press: the status may have moved on.
        if (location_->status() == 0) {
            location_->requestPermission();
            return;
        }
        openSystemSettings();
    });
    layout->addWidget(title, 1);
    layout->addWidget(permissionValue_);
    layout->addWidget(permissionButton_);
    permissions_->addRow(row);
}

void SettingsView::buildAboutRows()
{
    interfaceValue_ = new QLabel;
    interfaceValue_->setObjectName(QStringLiteral("interfaceValue"));
    interfaceValue_->setTextFormat(Qt::PlainText);
    interfaceValue_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    interfaceValue_->setFont(viewstyle::font(13));
    about_->addRow(FormSection::labeledRow(L("インターフェース", "Interface"), interfaceValue_));

    bssidValue_ = new QLabel;
    bssidValue_->setObjectName(QStringLiteral("bssidValue"));
    bssidValue_->setTextFormat(Qt::PlainText);
    bssidValue_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bssidValue_->setFont(viewstyle::font(13));
    bssidRow_ = FormSection::labeledRow(L("接続先の BSSID", "Connected BSSID"), bssidValue_);
    bssidRow_->setObjectName(QStringLiteral("bssidRow"));
    about_->addRow(bssidRow_);
}

void SettingsView::refreshStatusRows()
{
    if (location_ && permissionValue_) {
        const int status = location_->status();
        const bool granted = location_->isAuthorized();
        permissionValue_->setText(locationStatusText(status));
        viewstyle::setTextColor(permissionValue_,
                                granted ? primaryColor(palette()) : secondaryColor(palette()));
        // "Open System Settings" needs a settings program to open.
        const bool canOpen = status == 0 || systemSettingsCommand().has_value();
        permissionButton_->setText(status == 0 ? L("許可する", "Allow")
                                               : L("システム設定を開く", "Open System Settings"));
        permissionButton_->setVisible(!granted && canOpen);
    }
    if (interfaceValue_) {
        const std::optional<QString> name = WiFiEngine::shared().interfaceName();
        interfaceValue_->setText(name && !name->isEmpty() ? visibleText(*name) : L("なし", "None"));
        viewstyle::levelBaseline(interfaceValue_);
    }
    if (bssidRow_) {
        const std::optional<QString> bssid = store_ ? store_->status().bssid : std::nullopt;
        const bool shown = bssid && !bssid->isEmpty();
        bssidValue_->setText(shown ? visibleText(*bssid) : QString());
        viewstyle::levelBaseline(bssidValue_);
        bssidRow_->setVisible(shown);
    }
}

void SettingsView::refreshFavorites()
{
    if (shownFavorites_ == prefs_.favorites() && !favoriteRows_.isEmpty())
        return;
    for (const QPointer<QWidget>& row : std::as_const(favoriteRows_))
        delete row.data();
    favoriteRows_.clear();
    shownFavorites_ = prefs_.favorites();

    int index = favoritesFirstRow_;
    if (shownFavorites_.isEmpty()) {
        QWidget* row = FormSection::plainRow();
        row->setObjectName(QStringLiteral("noFavorites"));
        auto* text = new QLabel(L("お気に入りはまだありません。", "No favorites yet."), row);
        text->setTextFormat(Qt::PlainText);
        text->setFont(viewstyle::font(13));
        viewstyle::setSecondary(text);
        viewstyle::alignLeading(text, LocaleSettings::isRightToLeftCache);
        row->layout()->addWidget(text);
        favoritesSection_->insertRow(index, row);
        favoriteRows_.append(row);
        return;
    }
    QWidget* previous = favoritesSection_->findChild<QWidget*>(QStringLiteral("favoritesOnlyToggle"));
    for (const QString& name : std::as_const(shownFavorites_)) {
        QWidget* row = FormSection::plainRow();
        row->setObjectName(QStringLiteral("favoriteRow"));
        auto* layout = static_cast<QHBoxLayout*>(row->layout());
        layout->setSpacing(6);
        auto* star = new SymbolView(Symbol::starFill, 12, tintYellow, row);
        auto* title = new ElidedLabel(screenName(name), row);
        title->setDetail(nameBytesLine(name));
        title->setObjectName(QStringLiteral("favoriteName"));
        title->setFont(viewstyle::font(13));
        auto* remove = new QPushButton(L("削除", "Remove"), row);
        remove->setObjectName(QStringLiteral("removeFavorite"));
        // Which "Remove" this is, for screen readers and on hover.
        remove->setAccessibleName(
            Lf("「%@」をお気に入りから削除", "Remove “%@” from Favorites", {screenName(name)}));
        remove->setAccessibleDescription(nameBytesLine(name));
        remove->setToolTip(viewstyle::plainToolTip(remove->accessibleName()));
        remove->setFont(viewstyle::font(12));
        // A small button, as wide as its word needs.
        remove->setFixedSize(qMax(56, remove->fontMetrics().horizontalAdvance(remove->text()) + 26), 24);
        connect(remove, &QPushButton::clicked, this, [this, name] { prefs_.removeFavorite(name); });
        layout->addWidget(star);
        layout->addWidget(title, 1);
        layout->addSpacing(8);
        layout->addWidget(remove);
        favoritesSection_->insertRow(index++, row);
        favoriteRows_.append(row);
        // In the Tab order where they stand: after the toggles above them.
        QWidget::setTabOrder(previous, remove);
        previous = remove;
    }
}

} // namespace ondrel
