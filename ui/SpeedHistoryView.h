#pragma once

#include "speed/SpeedEntry.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace ondrel {

class Announcer;
class SpeedHistory;
class SpeedHistoryChart;
class SpeedHistoryModel;

// The speed history window's content: the status count and the Export and
// Clear All actions, a notice line (a history file that cannot be used, the
// last export's file or failure, or Undo for Clear All until the next change
// of the history), a chart of download and upload over time, and a sortable
// table of every stored measurement (or an empty state). It follows the
// history live. Tab leaves the table (arrows move in it); Delete and the
// context menu opened from the keyboard act on the selected rows. Each new
// notice is read out to screen readers.
class SpeedHistoryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 820;
    static constexpr int minimumHeight = 420;

    // `history` must outlive the view.
    explicit SpeedHistoryView(SpeedHistory& history, QWidget* parent = nullptr);

    // Writes the UTF-8 byte order mark and the history's CSV to `path`
    // atomically (an existing file is replaced only by a complete one). On
    // failure, `problem` (when given) gets the system's reason.
    static bool exportCsv(const SpeedHistory& history, const QString& path, QString* problem = nullptr);

    // Asks where to save the CSV; an empty answer cancels. The save dialog
    // unless replaced (tests).
    void setExportPathChooser(std::function<QString(QWidget*)> chooser);

    // The menu for a context click at `viewportPos` in the table; its one
    // action deletes the rows it names. Shown by the table's context menu.
    QMenu* contextMenuAt(const QPoint& viewportPos);
    // The same menu for the rows `targets` (the selection, when the menu is
    // opened from the keyboard).
    QMenu* contextMenuFor(const QSet<QUuid>& targets);
    // The identifiers a context click at `viewportPos` acts on: the selection
    // when the click is on a selected row or on no row, else that row alone.
    QSet<QUuid> contextTargets(const QPoint& viewportPos) const;
    // The selected entries.
    QSet<QUuid> selectedIds() const;

    QTableView* table() const { return table_; }
    SpeedHistoryModel* model() const { return model_; }
    SpeedHistoryChart* chart() const { return chart_; }
    QString statusText() const;
    // The notice line's text; empty while it is hidden.
    QString noticeText() const;

public Q_SLOTS:
    void exportCsvInteractively();
    void clearAll();
    // Puts back what the last Clear All removed, while that is offered.
    void undoClear();
    // Deletes the selected rows (the Delete key); the row after them takes
    // the focus and the selection.
    void deleteSelected();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void updateNotice();
    QWidget* buildEmptyState();

    SpeedHistory& history_;
    SpeedHistoryModel* model_;
    QLabel* status_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    SpeedHistoryChart* chart_ = nullptr;
    QTableView* table_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* undoButton_ = nullptr;
    std::function<QString(QWidget*)> chooser_;
    QString exportNotice_; // the last export's file or failure, until the next export
    bool exportFailed_ = false;
    Announcer* announcer_ = nullptr;
    QList<SpeedEntry> cleared_; // what Undo puts back; empty when not offered
};

} // namespace ondrel
