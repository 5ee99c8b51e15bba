#include "ui/DisplaySettings.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/Prefs.h"
#include "ui/ElidedLabel.h"
#include "ui/FormSection.h"
#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/ToggleSwitch.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ondrel {

DisplaySettings::DisplaySettings(Prefs& prefs, QWidget* parent) : SettingsPage(prefs, parent)
{
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
    column()->addWidget(order);

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
    column()->addWidget(favoritesSection_);

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
    column()->addWidget(show);

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
    column()->addWidget(units);
    column()->addStretch(1);
}

void DisplaySettings::refresh()
{
    SettingsPage::refresh();
    select(sortPicker_, rawValue(prefs_.sortKey()));
    select(orderPicker_, prefs_.ascending());
    select(unitPicker_, rawValue(prefs_.strengthUnit()));
    refreshFavorites();
}

void DisplaySettings::refreshFavorites()
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
        viewstyle::setToolTip(remove, remove->accessibleName(), nameBytesLine(name));
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
