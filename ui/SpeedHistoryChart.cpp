#include "ui/SpeedHistoryChart.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "speed/SpeedFormat.h"
#include "speed/SpeedHistory.h"
#include "store/DisplayName.h"
#include "ui/AccessibleRoles.h"
#include "ui/Tints.h"
#include "ui/UnitText.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ondrel {

namespace {

// A round upper bound for the speed axis: 1, 2 or 5 times a power of ten.
double niceCeiling(double value)
{
    if (value <= 0)
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (value <= step * magnitude)
            return step * magnitude;
    }
    return 10 * magnitude;
}

QColor downloadColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 110, 230);
}

QColor uploadColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(191, 90, 242) : QColor(150, 60, 200);
}

} // namespace

SpeedHistoryChart::SpeedHistoryChart(SpeedHistory& history, QWidget* parent)
    : QWidget(parent), history_(history)
{
    setObjectName(QStringLiteral("historyChart"));
    installAccessibleRoles();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    connect(&history_, &SpeedHistory::entriesChanged, this, &SpeedHistoryChart::reload);
    reload();
}

void SpeedHistoryChart::setNetworks(const QSet<QString>& names)
{
    if (names == networks_)
        return;
    networks_ = names;
    reload();
}

void SpeedHistoryChart::reload()
{
    points_.clear();
    for (const SpeedEntry& e : history_.entries()) {
        if (networks_.isEmpty() || networks_.contains(e.ssid))
            points_.append(e);
    }
    std::stable_sort(points_.begin(), points_.end(),
                     [](const SpeedEntry& a, const SpeedEntry& b) { return a.date < b.date; });
    // A chart to screen readers: its caption, and the time it spans.
    setAccessibleName(caption());
    if (points_.isEmpty()) {
        setAccessibleDescription(L("記録はまだありません。", "No measurements yet."));
    } else {
        const QLocale locale;
        const QString first =
            locale.toString(points_.first().date.toLocalTime().date(), QLocale::ShortFormat);
        const QString last = locale.toString(points_.last().date.toLocalTime().date(), QLocale::ShortFormat);
        QStringList lines{first == last ? first : first + QStringLiteral(" – ") + last};
        // The bytes of the chosen names that are not plain ASCII, as the caption shows them.
        QStringList names(networks_.begin(), networks_.end());
        names.sort(Qt::CaseInsensitive);
        for (const QString& name : std::as_const(names))
            lines.append(nameBytesLine(name));
        lines.removeAll(QString());
        setAccessibleDescription(lines.join(QLatin1Char('\n')));
    }
    update();
}

QString SpeedHistoryChart::caption() const
{
    if (networks_.isEmpty())
        return L("すべてのネットワーク", "All networks");
    QStringList names(networks_.begin(), networks_.end());
    names.sort(Qt::CaseInsensitive);
    for (QString& n : names)
        n = screenName(n);
    return names.join(QStringLiteral(", "));
}

QSize SpeedHistoryChart::sizeHint() const
{
    return {600, 110};
}

QSize SpeedHistoryChart::minimumSizeHint() const
{
    return {200, 80};
}

void SpeedHistoryChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    const QColor down = downloadColor(pal);
    const QColor up = uploadColor(pal);

    // Card behind the chart.
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(primaryFill(pal, 0.10), 1));
    p.setBrush(primaryFill(pal, isDark(pal) ? 0.05 : 0.03));
    p.drawRoundedRect(card, 8, 8);

    // Caption and legend on one line at the top.
    const QFont small = viewstyle::font(11);
    const QFont captionFont = viewstyle::font(12, QFont::DemiBold);
    const QFontMetrics fm(small);
    const QRectF inner = card.adjusted(12, 8, -12, -8);
    const qreal headerHeight = QFontMetrics(captionFont).height();

    auto legendItem = [&](const QString& text, const QColor& color, qreal edge) {
        // Draws a dot and the text ending at `edge` (trailing side); returns the new edge.
        const qreal w = fm.horizontalAdvance(text);
        const qreal total = 10 + 4 + w;
        const qreal x = rtl ? edge : edge - total;
        const qreal dotX = rtl ? x + total - 8 : x;
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(dotX, inner.top() + headerHeight / 2 - 4, 8, 8));
        p.setPen(secondaryColor(pal));
        p.setFont(small);
        const qreal textX = rtl ? x : x + 12;
        p.drawText(QRectF(textX, inner.top(), w + 2, headerHeight), Qt::AlignVCenter | Qt::AlignLeft, text);
        return rtl ? edge + total + 14 : edge - total - 14;
    };
    qreal edge = rtl ? inner.left() : inner.right();
    edge = legendItem(L("アップロード", "Upload"), up, edge);
    edge = legendItem(L("ダウンロード", "Download"), down, edge);

    p.setFont(captionFont);
    p.setPen(primaryColor(pal));
    const qreal captionWidth = rtl ? inner.right() - edge - 8 : edge - inner.left() - 8;
    const QString caption =
        QFontMetrics(captionFont)
            .elidedText(this->caption(), Qt::ElideMiddle, int(qMax<qreal>(0, captionWidth)));
    const QRectF captionRect = rtl ? QRectF(edge + 8, inner.top(), captionWidth, headerHeight)
                                   : QRectF(inner.left(), inner.top(), captionWidth, headerHeight);
    p.drawText(captionRect, Qt::AlignVCenter | (rtl ? Qt::AlignRight : Qt::AlignLeft), caption);

    // The plot: the speed axis labels at the leading side of the plot.
    const double maxValue = [&] {
        double m = 0;
        for (const SpeedEntry& e : std::as_const(points_))
            m = std::max({m, e.downloadMbps, e.uploadMbps});
        return niceCeiling(m);
    }();
    const QString topLabel = mbpsText(maxValue);
    const qreal axisWidth = fm.horizontalAdvance(topLabel) + 8;
    const qreal plotTop = inner.top() + headerHeight + 6;
    const qreal plotBottom = inner.bottom() - fm.height() - 2;
    QRectF plot(inner.left() + (rtl ? 0 : axisWidth), plotTop, inner.width() - axisWidth,
                plotBottom - plotTop);
    if (plot.height() < 10 || plot.width() < 20)
        return;

    p.setFont(small);
    p.setPen(QPen(primaryFill(pal, 0.12), 1, Qt::DashLine));
    for (int i = 0; i <= 2; ++i) {
        const qreal y = plot.bottom() - plot.height() * i / 2.0;
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    p.setPen(secondaryColor(pal));
    const QRectF axisRect(rtl ? plot.right() + 8 : inner.left(), 0, axisWidth - 8, fm.height());
    // The speed labels lean on the plot's edge.
    const Qt::Alignment towardPlot = rtl ? Qt::AlignLeft : Qt::AlignRight;
    viewstyle::drawOwnDirection(p, axisRect.translated(0, plot.top() - fm.height() / 2.0),
                                towardPlot | Qt::AlignVCenter, topLabel);
    viewstyle::drawOwnDirection(p, axisRect.translated(0, plot.bottom() - fm.height() / 2.0),
                                towardPlot | Qt::AlignVCenter, QStringLiteral("0"));

    if (points_.isEmpty()) {
        p.drawText(plot, Qt::AlignCenter, L("記録はまだありません。", "No measurements yet."));
        return;
    }

    // Time runs from left to right, the way a time axis reads in every
    // language the program offers; with one point it sits in the middle.
    const qint64 t0 = points_.first().date.toSecsSinceEpoch();
    const qint64 t1 = points_.last().date.toSecsSinceEpoch();
    auto xOf = [&](const SpeedEntry& e) {
        if (t1 == t0)
            return plot.center().x();
        return plot.left() + plot.width() * double(e.date.toSecsSinceEpoch() - t0) / double(t1 - t0);
    };
    auto yOf = [&](double v) { return plot.bottom() - plot.height() * std::clamp(v / maxValue, 0.0, 1.0); };

    const QLocale locale;
    p.setPen(secondaryColor(pal));
    const QString first = locale.toString(points_.first().date.toLocalTime().date(), QLocale::ShortFormat);
    const QString last = locale.toString(points_.last().date.toLocalTime().date(), QLocale::ShortFormat);
    const QRectF dates(plot.left(), plot.bottom() + 2, plot.width(), fm.height());
    // Under the oldest point at the left and the newest at the right, as
    // time runs in the plot; each date reads as a date.
    viewstyle::drawOwnDirection(p, dates, Qt::AlignLeft | Qt::AlignVCenter, first);
    if (last != first)
        viewstyle::drawOwnDirection(p, dates, Qt::AlignRight | Qt::AlignVCenter, last);

    auto series = [&](double SpeedEntry::*field, const QColor& color) {
        QPainterPath path;
        for (qsizetype i = 0; i < points_.size(); ++i) {
            const QPointF pt(xOf(points_[i]), yOf(points_[i].*field));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        // Dots while they stay apart; a dense history reads better as a line.
        if (points_.size() <= plot.width() / 8) {
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            for (const SpeedEntry& e : std::as_const(points_))
                p.drawEllipse(QPointF(xOf(e), yOf(e.*field)), 2.4, 2.4);
        }
    };
    series(&SpeedEntry::uploadMbps, up);
    series(&SpeedEntry::downloadMbps, down);
}

} // namespace ondrel
