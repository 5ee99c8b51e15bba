#include "ui/NetworkListModel.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"

#include <QHash>
#include <QSet>

namespace ondrel {

NetworkListModel::NetworkListModel(QObject* parent) : QAbstractListModel(parent) {}

void NetworkListModel::setNetworks(const QList<ScannedNetwork>& networks)
{
    // A list built while a sheet is open (the window's content made again
    // in another language) has no rows to keep still: it shows at once.
    if (frozen_ && !rows_.isEmpty()) {
        pending_ = networks;
        return;
    }
    apply(networks);
}

void NetworkListModel::setFrozen(bool frozen)
{
    if (frozen == frozen_)
        return;
    frozen_ = frozen;
    if (!frozen_ && pending_) {
        const QList<ScannedNetwork> networks = std::move(*pending_);
        pending_.reset();
        apply(networks);
    }
}

void NetworkListModel::apply(const QList<ScannedNetwork>& networks)
{
    // Rows are removed, added and moved rather than the model reset, so that
    // the view keeps its scroll position, hover and keyboard focus on the
    // network they were on, and screen readers keep each row's object.
    QHash<QString, qsizetype> wanted;
    for (qsizetype i = 0; i < networks.size(); ++i)
        wanted.insert(networks[i].id(), i);
    if (wanted.size() != networks.size()) {
        // Two records of one id (access points that report no address):
        // nothing tells their rows apart, so the list starts afresh.
        beginResetModel();
        rows_.clear();
        for (const ScannedNetwork& network : networks)
            rows_.append(Row{network, lookUp(network), ondrel::shownName(network)});
        endResetModel();
        return;
    }
    for (int row = int(rows_.size()) - 1; row >= 0; --row) {
        if (wanted.contains(rows_[row].network.id()))
            continue;
        int first = row;
        while (first > 0 && !wanted.contains(rows_[first - 1].network.id()))
            --first;
        beginRemoveRows({}, first, row);
        rows_.remove(first, row - first + 1);
        endRemoveRows();
        row = first;
    }
    QSet<QString> present;
    for (const Row& row : std::as_const(rows_))
        present.insert(row.network.id());
    QList<Row> added;
    for (const ScannedNetwork& network : networks) {
        if (!present.contains(network.id()))
            added.append(Row{network, lookUp(network), ondrel::shownName(network)});
    }
    if (!added.isEmpty()) {
        beginInsertRows({}, int(rows_.size()), int(rows_.size() + added.size()) - 1);
        rows_.append(added);
        endInsertRows();
    }

    // Now the same networks as `networks`: put them in its order.
    bool ordered = true;
    for (qsizetype i = 0; ordered && i < rows_.size(); ++i)
        ordered = rows_[i].network.id() == networks[i].id();
    if (!ordered) {
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        for (const QModelIndex& old : before)
            after.append(index(int(wanted.value(rows_[old.row()].network.id()))));
        QList<Row> sorted(rows_.size());
        for (Row& row : rows_)
            sorted[wanted.value(row.network.id())] = std::move(row);
        rows_ = std::move(sorted);
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    // The same id means the same name: the shown name stays.
    for (qsizetype i = 0; i < networks.size(); ++i) {
        rows_[i].network = networks[i];
        rows_[i].measured = lookUp(networks[i]);
    }
    allRowsChanged();
}

void NetworkListModel::allRowsChanged()
{
    if (!rows_.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(rows_.size()) - 1));
}

void NetworkListModel::setUnit(StrengthUnit unit)
{
    if (unit == unit_)
        return;
    unit_ = unit;
    allRowsChanged();
}

void NetworkListModel::setShowDetails(bool show)
{
    if (show == showDetails_)
        return;
    showDetails_ = show;
    // Rows change height with the detail chips' line.
    Q_EMIT layoutAboutToBeChanged();
    Q_EMIT layoutChanged();
    allRowsChanged();
}

void NetworkListModel::setBusyName(const std::optional<QString>& name)
{
    if (name == busyName_)
        return;
    busyName_ = name;
    allRowsChanged();
}

void NetworkListModel::setMeasuredLookup(MeasuredLookup lookup)
{
    measuredLookup_ = std::move(lookup);
    refreshMeasured();
}

void NetworkListModel::refreshMeasured()
{
    for (Row& row : rows_)
        row.measured = lookUp(row.network);
    allRowsChanged();
}

std::optional<double> NetworkListModel::lookUp(const ScannedNetwork& network) const
{
    if (!measuredLookup_ || !network.ssid || network.ssid->isEmpty())
        return std::nullopt;
    return measuredLookup_(*network.ssid);
}

bool NetworkListModel::isBusy(int row) const
{
    return busyName_ && *busyName_ == displayName(rows_[row].network);
}

bool NetworkListModel::anyBusy() const
{
    for (int i = 0; i < rows_.size(); ++i) {
        if (isBusy(i))
            return true;
    }
    return false;
}

int NetworkListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant NetworkListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const ScannedNetwork& network = rows_[index.row()].network;
    switch (role) {
    case Qt::DisplayRole:
        return rows_[index.row()].shown;
    case Qt::AccessibleTextRole:
        return accessibleText(network);
    case Qt::AccessibleDescriptionRole:
        return network.ssid ? nameBytesLine(*network.ssid) : QString();
    case IdRole:
        return network.id();
    default:
        return {};
    }
}

Qt::ItemFlags NetworkListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled;
}

QString NetworkListModel::accessibleText(const ScannedNetwork& network)
{
    return Lf("%@、%@、%@", "%@, %@, %@",
              {ondrel::shownName(network), network.strengthLabel(), label(network.security)});
}

} // namespace ondrel
