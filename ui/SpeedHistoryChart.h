#pragma once

#include "speed/SpeedEntry.h"

#include <QList>
#include <QSet>
#include <QWidget>

namespace ondrel {

class SpeedHistory;

// A small line chart of download and upload speed over time, drawn with
// QPainter: the measurements of the chosen networks (all networks when none
// is chosen), oldest at the left. It follows the history live.
class SpeedHistoryChart : public QWidget {
    Q_OBJECT
public:
    // `history` must outlive the chart.
    explicit SpeedHistoryChart(SpeedHistory& history, QWidget* parent = nullptr);

    // Limits the chart to these network names; empty shows every network.
    void setNetworks(const QSet<QString>& names);
    const QSet<QString>& networks() const { return networks_; }

    // The points drawn, oldest first.
    const QList<SpeedEntry>& points() const { return points_; }
    // The caption above the plot ("All networks" or the chosen names).
    QString caption() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void reload();

    SpeedHistory& history_;
    QSet<QString> networks_;
    QList<SpeedEntry> points_;
};

} // namespace ondrel
