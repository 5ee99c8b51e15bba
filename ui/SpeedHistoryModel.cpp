#include "ui/SpeedHistoryModel.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "speed/SpeedFormat.h"
#include "speed/SpeedHistory.h"
#include "store/DisplayName.h"
#include "ui/Strength.h"
#include "ui/UnitText.h"
#include "ui/ViewStyle.h"
#include "wifi/SsidText.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace ondrel {

namespace {

// Orders two entries by one column; false when they tie.
bool less(const SpeedEntry& a, const SpeedEntry& b, int column)
{
    switch (column) {
    case SpeedHistoryModel::date:
        return a.date < b.date;
    case SpeedHistoryModel::network:
        return a.ssid.localeAwareCompare(b.ssid) < 0;
    case SpeedHistoryModel::download:
        return a.downloadMbps < b.downloadMbps;
    case SpeedHistoryModel::upload:
        return a.uploadMbps < b.uploadMbps;
    case SpeedHistoryModel::latency:
        return a.latencyMs < b.latencyMs;
    case SpeedHistoryModel::jitter:
        return a.jitterMs < b.jitterMs;
    case SpeedHistoryModel::underLoad: // entries without the figure first when ascending
        return a.underLoad().workingMs.value_or(-1) < b.underLoad().workingMs.value_or(-1);
    case SpeedHistoryModel::signal:
        return a.rssi < b.rssi;
    case SpeedHistoryModel::band:
        return a.band < b.band; // the numeric code: unknown 0, 2.4 GHz 24, 5 GHz 50, 6 GHz 60
    }
    return false;
}

// Texts at the leading edge, figures at the trailing one; given as absolute
// sides so that the header and the cells agree in right-to-left windows.
int alignment(int column)
{
    const bool leading = column == SpeedHistoryModel::date || column == SpeedHistoryModel::network ||
                         column == SpeedHistoryModel::signal || column == SpeedHistoryModel::band;
    const bool right = leading == LocaleSettings::isRightToLeftCache;
    return int(Qt::AlignAbsolute | (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

} // namespace

SpeedHistoryModel::SpeedHistoryModel(SpeedHistory& history, QObject* parent)
    : QAbstractTableModel(parent), history_(history)
{
    connect(&history_, &SpeedHistory::entriesChanged, this, &SpeedHistoryModel::rebuild);
    rows_ = history_.entries();
    sort(sortColumn_, sortOrder_);
}

QString SpeedHistoryModel::underLoadDetail(const SpeedEntry& entry)
{
    // The phases one under the other, then the grade.
    QStringList lines;
    const std::pair<QString, std::optional<LoadedLatency>> phases[] = {
        {L("ダウンロード中の応答時間", "Latency while downloading"), entry.downloadLatency},
        {L("アップロード中の応答時間", "Latency while uploading"), entry.uploadLatency}};
    for (const auto& [label, loaded] : phases) {
        if (loaded)
            lines.append(Lf("%@：%@", "%@: %@", {label, millisecondsText(loaded->latencyMs)}));
    }
    const QString grade = responsivenessText(entry.underLoad());
    if (!grade.isEmpty())
        lines.append(grade);
    return lines.isEmpty() ? QString() : viewstyle::plainToolTip(lines.join(QLatin1Char('\n')));
}

QString SpeedHistoryModel::stamp(const QDateTime& date)
{
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    // Some locales (C among them) put seconds into the short time format;
    // a measurement's minute is precise enough.
    static const QRegularExpression seconds(QStringLiteral("[:.]?s+"));
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(seconds);
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), timeFormat.trimmed());
}

int SpeedHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int SpeedHistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

int SpeedHistoryModel::rowOf(const QUuid& id) const
{
    for (int i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == id)
            return i;
    }
    return -1;
}

QVariant SpeedHistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const SpeedEntry& e = rows_[index.row()];
    switch (role) {
    case IdRole:
        return QVariant::fromValue(e.id);
    case RssiRole:
        return int(e.rssi);
    case Qt::ToolTipRole:
        if (index.column() == underLoad)
            return underLoadDetail(e);
        if (index.column() != network)
            return QVariant();
        return viewstyle::plainToolTip(nameBytesLine(e.ssid).isEmpty()
                                           ? screenName(e.ssid)
                                           : screenName(e.ssid) + QLatin1Char('\n') + nameBytesLine(e.ssid));
    case Qt::AccessibleDescriptionRole:
        return index.column() == network ? QVariant(nameBytesLine(e.ssid)) : QVariant();
    case Qt::TextAlignmentRole:
        return alignment(index.column());
    case Qt::DisplayRole:
        switch (index.column()) {
        case date:
            return stamp(e.date);
        case network:
            return screenName(e.ssid);
        case download:
            return mbpsText(e.downloadMbps);
        case upload:
            return mbpsText(e.uploadMbps);
        case latency:
            return millisecondsText(e.latencyMs);
        case jitter:
            return millisecondsText(e.jitterMs);
        case underLoad: {
            const std::optional<qint64> working = e.underLoad().workingMs;
            return working ? millisecondsText(*working) : QStringLiteral("—");
        }
        case signal:
            return strengthText(int(e.rssi), StrengthUnit::dbm);
        case band:
            return e.bandLabel();
        }
        break;
    default:
        break;
    }
    return {};
}

QVariant SpeedHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return alignment(section);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case date:
        return L("日時", "Date");
    case network:
        return L("ネットワーク", "Network");
    case download:
        return L("ダウンロード", "Download");
    case upload:
        return L("アップロード", "Upload");
    case latency:
        return L("応答時間", "Latency");
    case jitter:
        return L("ゆらぎ", "Jitter");
    case underLoad:
        return L("負荷時", "Under load");
    case signal:
        return L("電波", "Signal");
    case band:
        return L("周波数帯", "Band");
    }
    return {};
}

void SpeedHistoryModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount_)
        return;
    Q_EMIT layoutAboutToBeChanged();
    sortColumn_ = column;
    sortOrder_ = order;
    // Ties keep the history's own order (newest first).
    QList<SpeedEntry> sorted = history_.entries();
    std::stable_sort(sorted.begin(), sorted.end(), [column, order](const SpeedEntry& a, const SpeedEntry& b) {
        return order == Qt::AscendingOrder ? less(a, b, column) : less(b, a, column);
    });
    // Persistent indexes (the view's selection) follow their entries.
    const QModelIndexList before = persistentIndexList();
    QList<QUuid> ids;
    for (const QModelIndex& i : before)
        ids.append(i.row() < rows_.size() ? rows_[i.row()].id : QUuid());
    rows_ = sorted;
    QModelIndexList after;
    for (qsizetype k = 0; k < before.size(); ++k) {
        const int row = rowOf(ids[k]);
        after.append(row < 0 ? QModelIndex() : index(row, before[k].column()));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged();
    Q_EMIT rowsRebuilt();
}

void SpeedHistoryModel::rebuild()
{
    // Rows vanish and appear through remove/insert notifications, so that
    // the view keeps the selection of the rows that stay.
    QSet<QUuid> kept;
    for (const SpeedEntry& e : history_.entries())
        kept.insert(e.id);
    for (int row = int(rows_.size()) - 1; row >= 0; --row) {
        if (!kept.contains(rows_[row].id)) {
            beginRemoveRows({}, row, row);
            rows_.removeAt(row);
            endRemoveRows();
        }
    }
    QSet<QUuid> present;
    for (const SpeedEntry& e : std::as_const(rows_))
        present.insert(e.id);
    QList<SpeedEntry> added;
    for (const SpeedEntry& e : history_.entries()) {
        if (!present.contains(e.id))
            added.append(e);
    }
    if (!added.isEmpty()) {
        const int first = int(rows_.size());
        beginInsertRows({}, first, first + int(added.size()) - 1);
        rows_.append(added);
        endInsertRows();
    }
    sort(sortColumn_, sortOrder_);
}

} // namespace ondrel
