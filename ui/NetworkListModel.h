#pragma once

#include "store/StrengthUnit.h"
#include "wifi/ScannedNetwork.h"

#include <QAbstractListModel>
#include <QList>

#include <functional>
#include <optional>

namespace ondrel {

// The rows of the main window's list: the store's `networks` in the store's
// order plus what each row needs to draw itself (unit, details, busy flag,
// the last measured download). Holds no list logic of its own.
//
// While frozen (the password sheet is open) a new list is kept aside and
// applied when the freeze ends, so that rows do not move under the pointer.
class NetworkListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        // The name as shown (DisplayRole), the accessible text and, for a name
        // that is not plain ASCII, its bytes (AccessibleDescriptionRole) are
        // the standard roles.
        IdRole = Qt::UserRole + 1,
    };

    // The newest measured download (Mbit/s) recorded for a network name.
    using MeasuredLookup = std::function<std::optional<double>(const QString& ssid)>;

    explicit NetworkListModel(QObject* parent = nullptr);

    void setNetworks(const QList<ScannedNetwork>& networks);
    void setFrozen(bool frozen);
    bool isFrozen() const { return frozen_; }

    void setUnit(StrengthUnit unit);
    void setShowDetails(bool show);
    // Display name of the network being joined, if any.
    void setBusyName(const std::optional<QString>& name);
    void setMeasuredLookup(MeasuredLookup lookup);
    // Reads the measured speeds again (after the history changed).
    void refreshMeasured();

    StrengthUnit unit() const { return unit_; }
    bool showDetails() const { return showDetails_; }
    bool anyBusy() const;

    const ScannedNetwork& network(int row) const { return rows_[row].network; }
    // The row's name as drawn: shownName of its network.
    const QString& shownName(int row) const { return rows_[row].shown; }
    bool isBusy(int row) const;
    std::optional<double> measuredMbps(int row) const { return rows_[row].measured; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // "Name, Good, WPA2": what a screen reader says for a row.
    static QString accessibleText(const ScannedNetwork& network);

private:
    struct Row {
        ScannedNetwork network;
        std::optional<double> measured;
        QString shown; // shownName(network), kept because every paint needs it
    };
    std::optional<double> lookUp(const ScannedNetwork& network) const;
    void apply(const QList<ScannedNetwork>& networks);
    void allRowsChanged();

    QList<Row> rows_;
    std::optional<QList<ScannedNetwork>> pending_;
    bool frozen_ = false;
    StrengthUnit unit_ = StrengthUnit::dbm;
    bool showDetails_ = false;
    std::optional<QString> busyName_;
    MeasuredLookup measuredLookup_;
};

} // namespace ondrel
