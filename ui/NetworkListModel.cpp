#include "ui/NetworkListModel.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"

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
    bool sameRows = networks.size() == rows_.size();
    for (qsizetype i = 0; sameRows && i < networks.size(); ++i)
        sameRows = networks[i].id() == rows_[i].network.id();

    if (sameRows) {
        // Same rows in the same order: update in place, so that the view
        // keeps its scroll position, hover and keyboard focus.
        for (qsizetype i = 0; i < networks.size(); ++i) {
            // The same id means the same name: the shown name stays.
            rows_[i].network = networks[i];
            rows_[i].measured = lookUp(networks[i]);
        }
        allRowsChanged();
        return;
    }
    beginResetModel();
    rows_.clear();
    rows_.reserve(networks.size());
    for (const ScannedNetwork& network : networks)
        rows_.append(Row{network, lookUp(network), ondrel::shownName(network)});
    endResetModel();
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
