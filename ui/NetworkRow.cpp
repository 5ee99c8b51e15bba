#include "ui/NetworkRow.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/WiFiStore.h"
#include "ui/Chip.h"
#include "ui/NetworkListModel.h"
#include "ui/NetworkRowLayout.h"
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

using Layout = NetworkRowLayout;

bool hasFallbackName(const ScannedNetwork& network)
{
    return !network.ssid || network.ssid->isEmpty();
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
    for (const Chip& chip : Layout::allChips(model, row))
        texts.append(chip.text);
    return texts;
}

QSize NetworkRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFont nameFont = viewstyle::scaled(option.font, 13);
    const double name = QFontMetricsF(nameFont).height();
    const double chip = Chip{QStringLiteral("Ag"), false}.size(option.font).height();
    // The name line, 3 px, the chip line, and 2 × (6 + 2) px of insets.
    const double height = std::max({name + 3 + chip, 16.0, 30.0}) + 16;
    return QSize(480, int(std::ceil(height)));
}

void NetworkRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const NetworkListModel*>(index.model());
    if (!model)
        return;
    const int row = index.row();
    const ScannedNetwork& n = model->network(row);
    const Layout l = Layout::compute(option, *model, row);
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
    if (l.padlockKind == Layout::Padlock::open)
        drawSymbol(*painter, Symbol::lockOpen, l.padlock, tintOrange(palette));
    else if (l.padlockKind == Layout::Padlock::closed)
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
    case Layout::Join::spinner:
        drawSpinner(*painter, l.button, secondaryColor(palette));
        break;
    case Layout::Join::connected:
        painter->setFont(l.joinFont);
        painter->setPen(secondaryColor(palette));
        painter->drawText(l.button, trailing | Qt::AlignVCenter | Qt::TextSingleLine, l.joinText);
        break;
    case Layout::Join::button: {
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
    const Layout l = Layout::compute(option, *model, index.row());
    const ScannedNetwork& n = model->network(index.row());
    if (!hasFallbackName(n) && l.star.contains(pos))
        return Part::star;
    if (l.join == Layout::Join::button && l.button.contains(pos))
        return Part::joinButton;
    if (n.isCurrent && l.checkmark.contains(pos))
        return Part::checkmark;
    if (l.padlockKind != Layout::Padlock::none && l.padlock.contains(pos))
        return Part::padlock;
    if (!l.hiddenChips.isEmpty() && l.chips.last().second.contains(pos))
        return Part::moreChips;
    return Part::row;
}

std::optional<QRect> NetworkRow::partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                                          Part part) const
{
    const auto* model = qobject_cast<const NetworkListModel*>(index.model());
    if (!model)
        return std::nullopt;
    const Layout l = Layout::compute(option, *model, index.row());
    const ScannedNetwork& n = model->network(index.row());
    QRectF rect;
    switch (part) {
    case Part::star:
        if (!hasFallbackName(n))
            rect = l.star;
        break;
    case Part::joinButton:
        if (l.join == Layout::Join::button)
            rect = l.button;
        break;
    case Part::checkmark:
        if (n.isCurrent)
            rect = l.checkmark;
        break;
    case Part::padlock:
        if (l.padlockKind != Layout::Padlock::none)
            rect = l.padlock;
        break;
    case Part::moreChips:
        if (!l.hiddenChips.isEmpty())
            rect = l.chips.last().second;
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
    case Part::joinButton:
        // The button is disabled for these: say where they are joined.
        if (n.security == Security::enterprise)
            tip = WiFiStore::enterpriseMessage();
        break;
    case Part::moreChips:
        tip = Layout::compute(option, *model, index.row()).hiddenChips.join(QLatin1Char('\n'));
        break;
    default: {
        // Elsewhere: the name, when the row shortens it or it is not plain
        // ASCII, with its bytes.
        const QString& name = model->shownName(index.row());
        QStringList lines;
        if (Layout::compute(option, *model, index.row()).nameText != name ||
            (n.ssid && !isPlainName(*n.ssid)))
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
