#include "ui/NetworkRowLayout.h"

#include "localization/Lookup.h"
#include "localization/Plural.h"
#include "speed/SpeedFormat.h"
#include "ui/NetworkListModel.h"
#include "ui/SignalBars.h"
#include "ui/Strength.h"
#include "ui/UnitText.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>
#include <QWidget>

#include <cmath>

namespace ondrel {

namespace {

// Geometry of a row, in pixels.
constexpr double kInsetX = 12;    // list-row inset left and right
constexpr double kInsetY = 6 + 2; // list-row inset plus the row's own padding
constexpr double kSpacing = 12;   // between the row's items
constexpr double kStarBox = 16;
constexpr double kBarsHeight = 16;
constexpr double kJoinBox = 84; // at least; wider when the language's captions need it
constexpr double kMinFlexible = 8;
constexpr double kNameLineGap = 6;
constexpr double kColumnGap = 3;
constexpr double kChipGap = 5;

QFont sized(const QFont& base, double size, QFont::Weight weight = QFont::Normal)
{
    return viewstyle::scaled(base, size, weight);
}

NetworkRowLayout::Padlock padlockFor(Security security)
{
    switch (security) {
    case Security::open:
        return NetworkRowLayout::Padlock::open;
    case Security::wep:
    case Security::wpaPersonal:
    case Security::wpa2Personal:
    case Security::wpa2wpa3Personal:
    case Security::wpa3Personal:
        return NetworkRowLayout::Padlock::closed;
    default:
        return NetworkRowLayout::Padlock::none;
    }
}

QStyle* styleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

QStyleOptionButton buttonOption(const QStyleOptionViewItem& option, const QString& text, const QFont& font)
{
    QStyleOptionButton button;
    if (option.widget)
        button.initFrom(option.widget);
    button.fontMetrics = QFontMetrics(font);
    button.text = text;
    button.direction = option.direction;
    return button;
}

// A small push button's size for `text`.
QSize buttonSize(const QStyleOptionViewItem& option, const QString& text, const QFont& font)
{
    QStyleOptionButton button = buttonOption(option, text, font);
    const QSize textSize = button.fontMetrics.size(Qt::TextShowMnemonic, text);
    QSize size = styleOf(option)->sizeFromContents(QStyle::CT_PushButton, &button, textSize, option.widget);
    // A small control: trim the style's generous minimum width and height.
    size.setWidth(std::min<int>(size.width(), textSize.width() + 24));
    size.setHeight(std::min(size.height(), button.fontMetrics.height() + 10));
    return size;
}

// The join column's width: the same for every row, wide enough for the
// language's "Connect" button and its "Connected" text.
double joinBoxWidth(const QStyleOptionViewItem& option, const QFont& font)
{
    static QString cachedKey;
    static double cachedWidth = kJoinBox;
    const QString connect = L("接続", "Connect");
    const QString connected = L("接続中", "Connected");
    const QString key = connect + QLatin1Char('\n') + connected + QLatin1Char('\n') + font.key() +
                        QString::number(quintptr(styleOf(option)));
    if (key != cachedKey) {
        cachedKey = key;
        cachedWidth = std::max({kJoinBox, double(buttonSize(option, connect, font).width()),
                                std::ceil(QFontMetricsF(font).horizontalAdvance(connected)) + 1});
    }
    return cachedWidth;
}

bool hasFallbackName(const ScannedNetwork& network)
{
    return !network.ssid || network.ssid->isEmpty();
}

} // namespace

Chip NetworkRowLayout::moreChip(int hidden)
{
    return {formatText(QStringLiteral("+%d"), {hidden}), false};
}

QList<Chip> NetworkRowLayout::allChips(const NetworkListModel& model, int row)
{
    const ScannedNetwork& n = model.network(row);
    QList<Chip> chips;
    if (n.band != Band::unknown)
        chips.append({label(n.band), false});
    chips.append({label(n.security), false});
    if (n.isSaved && !n.isCurrent)
        chips.append({L("接続したことがある", "Known"), true});
    if (const std::optional<double> measured = model.measuredMbps(row); measured && *measured > 0)
        chips.append({Lf("実測 %@ Mbps", "Measured %@ Mbps", {mbps(*measured)}), true});
    if (model.showDetails()) {
        if (n.channel > 0)
            chips.append({Lf("ch %d", "ch %d", {n.channel}), false});
        if (n.widthMHz > 0)
            chips.append({Lf("%d MHz", "%d MHz", {n.widthMHz}), false});
        if (n.apCount >= 2)
            chips.append(
                {formatText(pluralFormat("%d台", "%d AP", "%d APs", n.apCount), {n.apCount}), false});
        if (n.noise != 0 && n.rssi - n.noise != 0)
            chips.append({Lf("S/N %d dB", "S/N %d dB", {n.rssi - n.noise}), false});
        if (n.countryCode && !n.countryCode->isEmpty())
            chips.append({Lf("国 %@", "Country %@", {visibleText(*n.countryCode)}), false});
        if (n.stationCount)
            chips.append({formatText(pluralFormat("接続 %d 台", "%d client", "%d clients", *n.stationCount),
                                     {*n.stationCount}),
                          false});
        if (n.utilization)
            chips.append({Lf("使用率 %d%%", "Load %d%%", {*n.utilization}), false});
        if (n.bssid && !n.bssid->isEmpty())
            chips.append({visibleText(*n.bssid), false});
    }
    return chips;
}

NetworkRowLayout NetworkRowLayout::compute(const QStyleOptionViewItem& option, const NetworkListModel& model,
                                           int row)
{
    const ScannedNetwork& n = model.network(row);
    NetworkRowLayout l;
    const QRectF content = QRectF(option.rect).adjusted(kInsetX, kInsetY, -kInsetX, -kInsetY);
    const bool rtl = option.direction == Qt::RightToLeft;
    auto place = [&](const QRectF& logical) {
        if (!rtl)
            return logical;
        return QRectF(content.left() + content.right() - logical.right(), logical.top(), logical.width(),
                      logical.height());
    };
    const double midY = content.center().y();
    double x = content.left();

    // The marks grow with the text beside them.
    const double star = viewstyle::scaledSize(kStarBox, option.font);
    const double check = viewstyle::scaledSize(11, option.font);
    const double lock = viewstyle::scaledSize(10, option.font);
    l.star = place(QRectF(x, midY - star / 2, star, star));
    x += star + kSpacing;
    l.bars = place(QRectF(x, midY - kBarsHeight / 2, SignalBars::kWidth, kBarsHeight));
    x += SignalBars::kWidth + kSpacing;

    // Trailing items, from the right edge inwards.
    double right = content.right();
    l.joinFont = sized(option.font, 12);
    const double joinBox = joinBoxWidth(option, l.joinFont);
    l.joinBox = place(QRectF(right - joinBox, content.top(), joinBox, content.height()));
    if (model.isBusy(row)) {
        l.join = Join::spinner;
        l.button = place(QRectF(right - 18, midY - 8, 16, 16));
    } else if (n.isCurrent) {
        l.join = Join::connected;
        l.joinText = L("接続中", "Connected");
        const double w = std::min(joinBox, QFontMetricsF(l.joinFont).horizontalAdvance(l.joinText) + 1);
        l.button = place(QRectF(right - w, content.top(), w, content.height()));
        l.buttonText = l.button;
    } else {
        l.join = Join::button;
        l.joinText = L("接続", "Connect");
        l.joinEnabled = n.security != Security::enterprise;
        const QSize size = buttonSize(option, l.joinText, l.joinFont);
        const double w = std::min<double>(joinBox, size.width());
        l.button = place(QRectF(right - w, midY - size.height() / 2.0, w, size.height()));
        QStyleOptionButton button = buttonOption(option, l.joinText, l.joinFont);
        button.rect = l.button.toAlignedRect();
        l.buttonText = styleOf(option)->subElementRect(QStyle::SE_PushButtonContents, &button, option.widget);
    }
    right -= joinBox + kSpacing;

    l.strengthText = ondrel::strengthText(n.rssi, model.unit());
    l.strengthFont = sized(option.font, 13, QFont::Medium);
    l.strengthLabelText = n.strengthLabel();
    l.strengthLabelFont = sized(option.font, 11);
    const QFontMetricsF strengthMetrics(l.strengthFont);
    const QFontMetricsF labelMetrics(l.strengthLabelFont);
    const double strengthWidth = std::ceil(std::max(strengthMetrics.horizontalAdvance(l.strengthText),
                                                    labelMetrics.horizontalAdvance(l.strengthLabelText)));
    const double strengthHeight = strengthMetrics.height() + 2 + labelMetrics.height();
    const double strengthTop = midY - strengthHeight / 2;
    l.strength = place(QRectF(right - strengthWidth, strengthTop, strengthWidth, strengthMetrics.height()));
    l.strengthLabel = place(QRectF(right - strengthWidth, strengthTop + strengthMetrics.height() + 2,
                                   strengthWidth, labelMetrics.height()));
    right -= strengthWidth + kMinFlexible;

    // The middle column: the name line above the chip line.
    const double columnWidth = std::max(0.0, right - x);
    l.nameFont = sized(option.font, 13, n.isCurrent ? QFont::DemiBold : QFont::Normal);
    // The stand-in for a missing name must not pass for a network so named.
    l.nameFont.setItalic(hasFallbackName(n));
    const QFontMetricsF nameMetrics(l.nameFont);
    const QList<Chip> chips = allChips(model, row);
    const double chipHeight = chips.isEmpty() ? 0 : chips.first().size(option.font).height();
    const double columnHeight = nameMetrics.height() + kColumnGap + chipHeight;
    const double top = midY - columnHeight / 2;
    const double nameMid = top + nameMetrics.height() / 2;

    double marks = 0;
    if (n.isCurrent)
        marks += kNameLineGap + check;
    l.padlockKind = padlockFor(n.security);
    if (l.padlockKind != Padlock::none)
        marks += kNameLineGap + lock;
    const QString& name = model.shownName(row);
    l.nameRoom = std::max(0.0, columnWidth - marks);
    l.nameText = nameMetrics.horizontalAdvance(name) <= l.nameRoom
                     ? name
                     : nameMetrics.elidedText(name, Qt::ElideMiddle, l.nameRoom, Qt::TextSingleLine);
    const double nameWidth = std::min(l.nameRoom, std::ceil(nameMetrics.horizontalAdvance(l.nameText)));
    l.name = place(QRectF(x, top, nameWidth, nameMetrics.height()));
    double markX = x + nameWidth;
    if (n.isCurrent) {
        l.checkmark = place(QRectF(markX + kNameLineGap, nameMid - check / 2, check, check));
        markX += kNameLineGap + check;
    }
    if (l.padlockKind != Padlock::none)
        l.padlock = place(QRectF(markX + kNameLineGap, nameMid - lock / 2, lock, lock));

    // Chips in order while they fit; when some do not, the last ones make
    // way for a "+N" chip that stands for every chip left out.
    const double chipTop = top + nameMetrics.height() + kColumnGap;
    const double end = x + columnWidth;
    l.chipLine = place(QRectF(x, chipTop, columnWidth, chipHeight));
    QList<double> lefts;
    double chipX = x;
    for (const Chip& chip : chips) {
        if (chipX + chip.size(option.font).width() > end)
            break;
        lefts.append(chipX);
        chipX += chip.size(option.font).width() + kChipGap;
    }
    qsizetype shown = lefts.size();
    if (shown < chips.size()) {
        while (shown > 0 && lefts[shown - 1] + chips[shown - 1].size(option.font).width() + kChipGap +
                                    moreChip(int(chips.size() - shown)).size(option.font).width() >
                                end)
            --shown;
    }
    for (qsizetype i = 0; i < shown; ++i)
        l.chips.append({chips[i], place(QRectF(QPointF(lefts[i], chipTop), chips[i].size(option.font)))});
    if (shown < chips.size()) {
        for (qsizetype i = shown; i < chips.size(); ++i)
            l.hiddenChips.append(chips[i].text);
        const Chip more = moreChip(int(chips.size() - shown));
        const double moreX =
            shown == 0 ? x : lefts[shown - 1] + chips[shown - 1].size(option.font).width() + kChipGap;
        l.chips.append({more, place(QRectF(QPointF(moreX, chipTop), more.size(option.font)))});
    }
    return l;
}

} // namespace ondrel
