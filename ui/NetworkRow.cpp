#include "ui/NetworkRow.h"

#include "localization/Lookup.h"
#include "localization/Plural.h"
#include "speed/SpeedFormat.h"
#include "store/DisplayName.h"
#include "ui/Chip.h"
#include "ui/NetworkListModel.h"
#include "ui/SignalBars.h"
#include "ui/Strength.h"
#include "ui/Symbols.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>

namespace ondrel {

namespace {

// Geometry of a row, in pixels.
constexpr double kInsetX = 12;    // list-row inset left and right
constexpr double kInsetY = 6 + 2; // list-row inset plus the row's own padding
constexpr double kSpacing = 12;   // between the row's items
constexpr double kStarBox = 16;
constexpr double kBarsHeight = 16;
constexpr double kJoinBox = 84;
constexpr double kMinFlexible = 8;
constexpr double kNameLineGap = 6;
constexpr double kColumnGap = 3;
constexpr double kChipGap = 5;

QFont sized(const QFont& base, int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

enum class PadlockKind { none, open, closed };

PadlockKind padlockFor(Security security)
{
    switch (security) {
    case Security::open:
        return PadlockKind::open;
    case Security::wep:
    case Security::wpaPersonal:
    case Security::wpa2Personal:
    case Security::wpa2wpa3Personal:
    case Security::wpa3Personal:
        return PadlockKind::closed;
    default:
        return PadlockKind::none;
    }
}

bool hasFallbackName(const ScannedNetwork& network)
{
    return !network.ssid || network.ssid->isEmpty();
}

QList<Chip> chipsFor(const NetworkListModel& model, int row)
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
        if (n.bssid && !n.bssid->isEmpty())
            chips.append({visibleText(*n.bssid), false});
    }
    return chips;
}

// Everything a row draws and where, in the view's coordinates.
struct RowLayout {
    QRectF star;
    QRectF bars;
    QRectF name;
    QString nameText;
    QFont nameFont;
    QRectF checkmark;
    QRectF padlock;
    PadlockKind padlockKind = PadlockKind::none;
    QList<QPair<Chip, QRectF>> chips;
    QRectF strength;
    QString strengthText;
    QFont strengthFont;
    QRectF strengthLabel;
    QString strengthLabelText;
    QFont strengthLabelFont;
    QRectF joinBox;
    QRectF button; // the join button, the spinner or the "Connected" text
    enum class Join { button, spinner, connected } join = Join::button;
    QString joinText;
    QFont joinFont;
    bool joinEnabled = true;
};

QSize buttonSize(const QStyleOptionViewItem& option, const QString& text, const QFont& font)
{
    QStyleOptionButton button;
    if (option.widget)
        button.initFrom(option.widget);
    button.fontMetrics = QFontMetrics(font);
    button.text = text;
    const QSize textSize = button.fontMetrics.size(Qt::TextShowMnemonic, text);
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QSize size = style->sizeFromContents(QStyle::CT_PushButton, &button, textSize, option.widget);
    // A small control: trim the style's generous minimum width and height.
    size.setWidth(std::min<int>(size.width(), textSize.width() + 24));
    size.setHeight(std::min(size.height(), button.fontMetrics.height() + 10));
    return size;
}

RowLayout layoutRow(const QStyleOptionViewItem& option, const NetworkListModel& model, int row)
{
    const ScannedNetwork& n = model.network(row);
    RowLayout l;
    const QRectF content = QRectF(option.rect).adjusted(kInsetX, kInsetY, -kInsetX, -kInsetY);
    const bool rtl = option.direction == Qt::RightToLeft;
    // Lays out left to right, then mirrors for right-to-left languages.
    auto place = [&](const QRectF& logical) {
        if (!rtl)
            return logical;
        return QRectF(content.left() + content.right() - logical.right(), logical.top(), logical.width(),
                      logical.height());
    };
    const double midY = content.center().y();
    double x = content.left();

    l.star = place(QRectF(x, midY - kStarBox / 2, kStarBox, kStarBox));
    x += kStarBox + kSpacing;
    l.bars = place(QRectF(x, midY - kBarsHeight / 2, SignalBars::kWidth, kBarsHeight));
    x += SignalBars::kWidth + kSpacing;

    // Trailing items, from the right edge inwards.
    double right = content.right();
    l.joinBox = place(QRectF(right - kJoinBox, content.top(), kJoinBox, content.height()));
    l.joinFont = sized(option.font, 12);
    if (model.isBusy(row)) {
        l.join = RowLayout::Join::spinner;
        l.button = place(QRectF(right - 18, midY - 8, 16, 16));
    } else if (n.isCurrent) {
        l.join = RowLayout::Join::connected;
        l.joinText = L("接続中", "Connected");
        const double w = std::min(kJoinBox, QFontMetricsF(l.joinFont).horizontalAdvance(l.joinText) + 1);
        l.button = place(QRectF(right - w, content.top(), w, content.height()));
    } else {
        l.join = RowLayout::Join::button;
        l.joinText = L("接続", "Connect");
        l.joinEnabled = n.security != Security::enterprise;
        const QSize size = buttonSize(option, l.joinText, l.joinFont);
        const double w = std::min<double>(kJoinBox, size.width());
        l.button = place(QRectF(right - w, midY - size.height() / 2.0, w, size.height()));
    }
    right -= kJoinBox + kSpacing;

    l.strengthText = strengthText(n.rssi, model.unit());
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
    const QList<Chip> chips = chipsFor(model, row);
    const double chipHeight = chips.isEmpty() ? 0 : chips.first().size(option.font).height();
    const double columnHeight = nameMetrics.height() + kColumnGap + chipHeight;
    const double top = midY - columnHeight / 2;
    const double nameMid = top + nameMetrics.height() / 2;

    double marks = 0;
    if (n.isCurrent)
        marks += kNameLineGap + 11;
    l.padlockKind = padlockFor(n.security);
    if (l.padlockKind != PadlockKind::none)
        marks += kNameLineGap + 10;
    const QString& name = model.shownName(row);
    const double nameRoom = std::max(0.0, columnWidth - marks);
    l.nameText = nameMetrics.elidedText(name, Qt::ElideMiddle, nameRoom, Qt::TextSingleLine);
    const double nameWidth = std::min(nameRoom, std::ceil(nameMetrics.horizontalAdvance(l.nameText)));
    l.name = place(QRectF(x, top, nameWidth, nameMetrics.height()));
    double markX = x + nameWidth;
    if (n.isCurrent) {
        l.checkmark = place(QRectF(markX + kNameLineGap, nameMid - 5.5, 11, 11));
        markX += kNameLineGap + 11;
    }
    if (l.padlockKind != PadlockKind::none)
        l.padlock = place(QRectF(markX + kNameLineGap, nameMid - 5.5, 10, 10));

    double chipX = x;
    const double chipTop = top + nameMetrics.height() + kColumnGap;
    for (const Chip& chip : chips) {
        const QSizeF size = chip.size(option.font);
        // Chips that do not fit are left out whole rather than cut.
        if (chipX + size.width() > x + columnWidth)
            break;
        l.chips.append({chip, place(QRectF(QPointF(chipX, chipTop), size))});
        chipX += size.width() + kChipGap;
    }
    return l;
}

QPoint cursorInViewport(const QStyleOptionViewItem& option)
{
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        return view->viewport()->mapFromGlobal(QCursor::pos());
    return QPoint(-1, -1);
}

void drawSpinner(QPainter& painter, const QRectF& rect, const QColor& color)
{
    // Eight spokes; the brightest one steps round eight times a second.
    const int step = int((QDateTime::currentMSecsSinceEpoch() / 125) % 8);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(rect.center());
    for (int i = 0; i < 8; ++i) {
        QColor c = color;
        c.setAlphaF(float(0.25 + 0.75 * ((i - step + 8) % 8) / 7.0));
        painter.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -rect.height() * 0.22), QPointF(0, -rect.height() * 0.46));
        painter.rotate(45);
    }
    painter.restore();
}

} // namespace

NetworkRow::NetworkRow(QObject* parent) : QStyledItemDelegate(parent) {}

QStringList NetworkRow::chipTexts(const NetworkListModel& model, int row)
{
    QStringList texts;
    for (const Chip& chip : chipsFor(model, row))
        texts.append(chip.text);
    return texts;
}

QSize NetworkRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const double name = QFontMetricsF(sized(option.font, 13)).height();
    const double chip = Chip{QStringLiteral("Ag"), false}.size(option.font).height();
    const double column = name + kColumnGap + chip;
    const double height = std::max({column, kBarsHeight, 30.0}) + 2 * kInsetY;
    return QSize(480, int(std::ceil(height)));
}

void NetworkRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const NetworkListModel*>(index.model());
    if (!model)
        return;
    const int row = index.row();
    const ScannedNetwork& n = model->network(row);
    const RowLayout l = layoutRow(option, *model, row);
    const QPalette& palette = option.palette;
    const bool hovering = option.state & QStyle::State_MouseOver;
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();

    painter->save();
    // Nothing a row draws reaches its neighbours.
    painter->setClipRect(option.rect, Qt::IntersectClip);
    // Alternating row background.
    QStyleOptionViewItem background = option;
    background.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    style->drawPrimitive(QStyle::PE_PanelItemViewRow, &background, painter, option.widget);
    if (option.state & QStyle::State_HasFocus) {
        painter->setRenderHint(QPainter::Antialiasing, true);
        QColor focus = palette.color(QPalette::Highlight);
        painter->setPen(QPen(focus, 1.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option.rect).adjusted(2, 1.5, -2, -1.5), 6, 6);
    }

    // Favourite star: hidden networks cannot be favourites.
    if (!hasFallbackName(n)) {
        const double opacity = n.isFavorite ? 1.0 : hovering ? 0.7 : 0.0;
        if (opacity > 0) {
            painter->setOpacity(opacity);
            drawSymbol(*painter, n.isFavorite ? Symbol::starFill : Symbol::star,
                       l.star.adjusted(2, 2, -2, -2),
                       n.isFavorite ? tintYellow(palette) : secondaryColor(palette));
            painter->setOpacity(1.0);
        }
    }

    SignalBars::paint(*painter, l.bars, barsFor(n.rssi), palette);

    const Qt::Alignment leading = QStyle::visualAlignment(option.direction, Qt::AlignLeft);
    const Qt::Alignment trailing = QStyle::visualAlignment(option.direction, Qt::AlignRight);
    painter->setFont(l.nameFont);
    painter->setPen(primaryColor(palette));
    painter->drawText(l.name, leading | Qt::AlignVCenter | Qt::TextSingleLine, l.nameText);
    if (n.isCurrent)
        drawSymbol(*painter, Symbol::checkmarkCircle, l.checkmark, tintGreen(palette));
    if (l.padlockKind == PadlockKind::open)
        drawSymbol(*painter, Symbol::lockOpen, l.padlock, tintOrange(palette));
    else if (l.padlockKind == PadlockKind::closed)
        drawSymbol(*painter, Symbol::lockFill, l.padlock, secondaryColor(palette));

    for (const auto& [chip, rect] : l.chips)
        chip.paint(*painter, rect.topLeft(), option.font, palette);

    painter->setFont(l.strengthFont);
    painter->setPen(primaryColor(palette));
    painter->drawText(l.strength, trailing | Qt::AlignVCenter | Qt::TextSingleLine, l.strengthText);
    painter->setFont(l.strengthLabelFont);
    painter->setPen(secondaryColor(palette));
    painter->drawText(l.strengthLabel, trailing | Qt::AlignVCenter | Qt::TextSingleLine, l.strengthLabelText);

    switch (l.join) {
    case RowLayout::Join::spinner:
        drawSpinner(*painter, l.button, secondaryColor(palette));
        break;
    case RowLayout::Join::connected:
        painter->setFont(l.joinFont);
        painter->setPen(secondaryColor(palette));
        painter->drawText(l.button, trailing | Qt::AlignVCenter | Qt::TextSingleLine, l.joinText);
        break;
    case RowLayout::Join::button: {
        QStyleOptionButton button;
        button.rect = l.button.toAlignedRect();
        button.text = l.joinText;
        button.palette = palette;
        button.direction = option.direction;
        button.fontMetrics = QFontMetrics(l.joinFont);
        button.state = QStyle::State_Raised;
        if (l.joinEnabled)
            button.state |= QStyle::State_Enabled;
        else
            button.palette.setCurrentColorGroup(QPalette::Disabled);
        const bool overButton = button.rect.contains(cursorInViewport(option));
        if (l.joinEnabled && overButton)
            button.state |= QStyle::State_MouseOver;
        if (l.joinEnabled && overButton && pressed_ == index && pressedPart_ == Part::joinButton)
            button.state |= QStyle::State_Sunken;
        painter->setOpacity(hovering ? 1.0 : 0.85);
        painter->setFont(l.joinFont);
        style->drawControl(QStyle::CE_PushButton, &button, painter, option.widget);
        painter->setOpacity(1.0);
        break;
    }
    }
    painter->restore();
}

NetworkRow::Part NetworkRow::partAt(const QStyleOptionViewItem& option, const QModelIndex& index,
                                    const QPoint& pos) const
{
    const auto* model = qobject_cast<const NetworkListModel*>(index.model());
    if (!model || !option.rect.contains(pos))
        return Part::none;
    const RowLayout l = layoutRow(option, *model, index.row());
    const ScannedNetwork& n = model->network(index.row());
    if (!hasFallbackName(n) && l.star.contains(pos))
        return Part::star;
    if (l.join == RowLayout::Join::button && l.button.contains(pos))
        return Part::joinButton;
    if (n.isCurrent && l.checkmark.contains(pos))
        return Part::checkmark;
    if (l.padlockKind != PadlockKind::none && l.padlock.contains(pos))
        return Part::padlock;
    return Part::row;
}

std::optional<QRect> NetworkRow::partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                                          Part part) const
{
    const auto* model = qobject_cast<const NetworkListModel*>(index.model());
    if (!model)
        return std::nullopt;
    const RowLayout l = layoutRow(option, *model, index.row());
    const ScannedNetwork& n = model->network(index.row());
    QRectF rect;
    switch (part) {
    case Part::star:
        if (!hasFallbackName(n))
            rect = l.star;
        break;
    case Part::joinButton:
        if (l.join == RowLayout::Join::button)
            rect = l.button;
        break;
    case Part::checkmark:
        if (n.isCurrent)
            rect = l.checkmark;
        break;
    case Part::padlock:
        if (l.padlockKind != PadlockKind::none)
            rect = l.padlock;
        break;
    case Part::row:
        rect = option.rect;
        break;
    case Part::none:
        break;
    }
    if (rect.isEmpty())
        return std::nullopt;
    return rect.toAlignedRect();
}

bool NetworkRow::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                             const QModelIndex& index)
{
    const auto* rows = qobject_cast<const NetworkListModel*>(model);
    if (!rows)
        return false;
    auto repaint = [&] {
        if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
            view->viewport()->update(option.rect);
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const Part part = partAt(option, index, mouse->position().toPoint());
        const bool enabled =
            part == Part::star ||
            (part == Part::joinButton && rows->network(index.row()).security != Security::enterprise);
        if (part == Part::star || part == Part::joinButton) {
            // A press on a control never counts towards a double click on the row.
            pressed_ = enabled ? QPersistentModelIndex(index) : QPersistentModelIndex();
            pressedPart_ = enabled ? part : Part::none;
            repaint();
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const Part part = partAt(option, index, mouse->position().toPoint());
        const bool hit = pressed_ == index && pressedPart_ != Part::none && part == pressedPart_;
        const Part released = pressedPart_;
        pressed_ = QPersistentModelIndex();
        pressedPart_ = Part::none;
        repaint();
        if (!hit)
            return false;
        if (released == Part::star)
            Q_EMIT favoriteToggled(index);
        else
            Q_EMIT connectRequested(index);
        return true;
    }
    default:
        return false;
    }
}

bool NetworkRow::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                           const QModelIndex& index)
{
    const auto* model = qobject_cast<const NetworkListModel*>(index.model());
    if (!model || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const ScannedNetwork& n = model->network(index.row());
    QString tip;
    switch (partAt(option, index, event->pos())) {
    case Part::star:
        tip = n.isFavorite ? L("お気に入りから削除", "Remove from Favorites")
                           : L("お気に入りに追加", "Add to Favorites");
        break;
    case Part::checkmark:
        tip = L("接続中", "Connected");
        break;
    case Part::padlock:
        tip = n.security == Security::open ? L("暗号化なし", "Open") : label(n.security);
        break;
    default: {
        // Elsewhere: the name, when the row shortens it or it is not plain
        // ASCII, with its bytes.
        const QString& name = model->shownName(index.row());
        QStringList lines;
        if (layoutRow(option, *model, index.row()).nameText != name || (n.ssid && !isPlainName(*n.ssid)))
            lines.append(name);
        if (n.ssid)
            lines.append(nameBytesLine(*n.ssid));
        lines.removeAll(QString());
        tip = lines.join(QLatin1Char('\n'));
        break;
    }
    }
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), viewstyle::plainToolTip(tip), view);
    return true;
}

} // namespace ondrel
