#pragma once

#include "speed/SpeedEntry.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QSet>
#include <QUuid>

namespace ondrel {

class SpeedHistory;

// The speed history as a table of nine columns, sorted by one column. It
// follows the history live: every change of its entries re-sorts the rows.
// Main thread only.
class SpeedHistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { date, network, download, upload, latency, jitter, underLoad, signal, band, columnCount_ };
    enum Role {
        IdRole = Qt::UserRole + 1, // QUuid of the row's entry
        RssiRole,                  // int dBm, for the signal bars
    };

    // `history` must outlive the model. Starts sorted by date, newest first.
    explicit SpeedHistoryModel(SpeedHistory& history, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }
    const SpeedEntry& entry(int row) const { return rows_.at(row); }
    // The row of an entry, or -1.
    int rowOf(const QUuid& id) const;

    // The texts of a cell, shared with the chart and the tests.
    static QString stamp(const QDateTime& date);
    // The tooltip of the under-load cell: each phase's latency under load
    // and the responsiveness; empty without them.
    static QString underLoadDetail(const SpeedEntry& entry);

Q_SIGNALS:
    // The rows were rebuilt from the history (after a change or a sort).
    void rowsRebuilt();

private:
    void rebuild();

    SpeedHistory& history_;
    QList<SpeedEntry> rows_;
    int sortColumn_ = date;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};

} // namespace ondrel
