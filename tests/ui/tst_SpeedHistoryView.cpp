// The speed history window: the empty state, the count, sorting (band by
// its numeric code), deletion from the context menu, Clear All, the CSV
// file (with its byte order mark), live updates and the chart's choice of
// network.

#include "tests/ui/UiTestKit.h"

#include "ui/SpeedHistoryChart.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/SpeedHistoryView.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

QStringList column(const SpeedHistoryModel& model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << read(model.index(row, column).data().toString());
    return texts;
}

// The centre of a row's first cell, in viewport coordinates.
QPoint rowPoint(QTableView* table, int row)
{
    return table->visualRect(table->model()->index(row, 0)).center();
}

} // namespace

class SpeedHistoryViewTest : public QObject {
    Q_OBJECT
    std::unique_ptr<HistoryFile> file_;
    SpeedHistory* history_ = nullptr;

private Q_SLOTS:
    void initTestCase() { useEnglish(); }
    void init()
    {
        file_ = std::make_unique<HistoryFile>();
        history_ = &file_->history;
    }

    // Empty at first; rows arrive live (the selection stays); Clear All
    // empties history, file and selection until undone, and the next change
    // withdraws the offer.
    void liveRowsAndClearAllUntilUndone()
    {
        SpeedHistoryView view(*history_);
        auto page = [&view] { return view.findChild<QStackedWidget*>()->currentWidget()->objectName(); };
        QCOMPARE(page(), QStringLiteral("historyEmpty"));
        QVERIFY(!view.findChild<QPushButton*>(QStringLiteral("exportButton"))->isEnabled());
        QVERIFY(!view.findChild<QPushButton*>(QStringLiteral("clearButton"))->isEnabled());

        history_->add(measurement(QStringLiteral("first"), 3));
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("historyStatus"))->text(),
                 QStringLiteral("1 measurement"));
        QVERIFY(view.findChild<QPushButton*>(QStringLiteral("exportButton"))->isEnabled());
        QCOMPARE(page(), QString());
        view.table()->selectRow(0);
        const QSet<QUuid> selected = view.selectedIds();
        history_->add(measurement(QStringLiteral("second"), 1));
        QCOMPARE(column(*view.model(), SpeedHistoryModel::network), (QStringList{"second", "first"}));
        QCOMPARE(view.selectedIds(), selected);
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("historyStatus"))->text(),
                 QStringLiteral("2 measurements"));

        const QList<SpeedEntry> before = history_->entries();
        auto* undo = view.findChild<QPushButton*>(QStringLiteral("undoButton"));
        QVERIFY(!undo->isVisibleTo(&view));
        for (int round = 0; round < 2; ++round) {
            view.table()->selectAll();
            view.findChild<QPushButton*>(QStringLiteral("clearButton"))->click();
            QVERIFY(history_->entries().isEmpty());
            QVERIFY(view.selectedIds().isEmpty());
            QCOMPARE(page(), QStringLiteral("historyEmpty"));
            QVERIFY(SpeedHistory(history_->filePath()).entries().isEmpty()); // the file was emptied too
            QCOMPARE(view.noticeText(), QStringLiteral("2 measurements cleared."));
            QVERIFY(undo->isVisibleTo(&view));
            if (round == 0) {
                undo->click();
                QCOMPARE(history_->entries(), before);
                QCOMPARE(SpeedHistory(history_->filePath()).entries(), before);
                QVERIFY(!undo->isVisibleTo(&view));
                QCOMPARE(view.noticeText(), QString());
            }
        }
        history_->add(measurement(QStringLiteral("c"), 0));
        QVERIFY(!undo->isVisibleTo(&view));
        QCOMPARE(view.noticeText(), QString());
    }

    void sortsByTheClickedColumn()
    {
        history_->add(measurement(QStringLiteral("six"), 4, 900, 60, -40));
        history_->add(measurement(QStringLiteral("two"), 3, 20, 24, -81));
        history_->add(measurement(QStringLiteral("unknown"), 2, 5, 0, -70));
        history_->add(measurement(QStringLiteral("five"), 1, 300, 50, -60));
        SpeedHistoryView view(*history_);
        view.resize(900, 460);
        SpeedHistoryModel& model = *view.model();

        // Newest first by default.
        QCOMPARE(column(model, SpeedHistoryModel::network), (QStringList{"five", "unknown", "two", "six"}));

        // Clicking Date toggles to oldest first, and back.
        QHeaderView* header = view.table()->horizontalHeader();
        const auto clickHeader = [&](int section) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
        };
        clickHeader(SpeedHistoryModel::date);
        QCOMPARE(column(model, SpeedHistoryModel::network), (QStringList{"six", "two", "unknown", "five"}));
        clickHeader(SpeedHistoryModel::date);
        QCOMPARE(column(model, SpeedHistoryModel::network), (QStringList{"five", "unknown", "two", "six"}));

        // Band sorts by its numeric code: unknown (0), 2.4 (24), 5 (50), 6 (60).
        view.table()->sortByColumn(SpeedHistoryModel::band, Qt::AscendingOrder);
        QCOMPARE(column(model, SpeedHistoryModel::band),
                 (QStringList{"Unknown", "2.4 GHz", "5 GHz", "6 GHz"}));
        view.table()->sortByColumn(SpeedHistoryModel::download, Qt::DescendingOrder);
        QCOMPARE(column(model, SpeedHistoryModel::download),
                 (QStringList{"900 Mbps", "300 Mbps", "20.0 Mbps", "5.0 Mbps"}));
        view.table()->sortByColumn(SpeedHistoryModel::signal, Qt::AscendingOrder);
        QCOMPARE(column(model, SpeedHistoryModel::signal),
                 (QStringList{"-81 dBm", "-70 dBm", "-60 dBm", "-40 dBm"}));
    }

    void contextMenuDeletesTheRowsItWasOpenedOn()
    {
        for (int i = 0; i < 5; ++i)
            history_->add(measurement(QStringLiteral("net%1").arg(i), 10 - i));
        SpeedHistoryView view(*history_);
        view.resize(900, 460);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTableView* table = view.table();
        // Rows newest first: net4, net3, net2, net1, net0.
        table->selectionModel()->select(table->model()->index(0, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->selectionModel()->select(table->model()->index(2, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);

        // On an unselected row: that row alone.
        QMenu* menu = view.contextMenuAt(rowPoint(table, 1));
        menu->actions().first()->trigger();
        QCOMPARE(column(*view.model(), SpeedHistoryModel::network),
                 (QStringList{"net4", "net2", "net1", "net0"}));
        // The selection survives the deletion.
        QCOMPARE(table->selectionModel()->selectedRows().size(), 2);

        // On a selected row: the whole selection.
        menu = view.contextMenuAt(rowPoint(table, 0));
        menu->actions().first()->trigger();
        QCOMPARE(column(*view.model(), SpeedHistoryModel::network), (QStringList{"net1", "net0"}));

        // On empty space with nothing selected: nothing, and the item is disabled.
        const QPoint below(10, table->viewport()->height() - 3);
        QVERIFY(!table->indexAt(below).isValid());
        menu = view.contextMenuAt(below);
        QVERIFY(!menu->actions().first()->isEnabled());
        QCOMPARE(history_->entries().size(), 2);

        // On empty space with a selection: the selection.
        table->selectRow(1);
        view.contextMenuAt(below)->actions().first()->trigger();
        QCOMPARE(column(*view.model(), SpeedHistoryModel::network), QStringList{"net1"});
        QCOMPARE(history_->entries().size(), 1);
    }

    void exportWritesByteOrderMarkAndCsv()
    {
        history_->add(measurement(QStringLiteral("Older"), 5));
        history_->add(measurement(QStringLiteral("Newer, with comma"), 1));
        SpeedHistoryView view(*history_);
        const QString path = file_->dir.filePath(QStringLiteral("out.csv"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("stale content that must go");
        }
        int asked = 0;
        view.setExportPathChooser([&](QWidget*) {
            ++asked;
            return path;
        });
        view.findChild<QPushButton*>(QStringLiteral("exportButton"))->click();
        QCOMPARE(asked, 1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(bytes.mid(3), history_->csv().toUtf8());

        // A cancelled dialog writes nothing; a failed export is shown until the next one.
        QFile::remove(path);
        view.setExportPathChooser([](QWidget*) { return QString(); });
        view.exportCsvInteractively();
        QVERIFY(!QFile::exists(path));
        const QString missing = file_->dir.filePath(QStringLiteral("missing/folder/out.csv"));
        view.setExportPathChooser([&](QWidget*) { return missing; });
        view.exportCsvInteractively();
        QCOMPARE(view.noticeText(), QStringLiteral("The CSV file could not be written: ") + missing);
        QVERIFY(view.findChild<QLabel*>(QStringLiteral("historyNotice"))->isVisibleTo(&view));
        view.setExportPathChooser([&](QWidget*) { return path; });
        view.exportCsvInteractively();
        QVERIFY(QFile::exists(path));
        QCOMPARE(view.noticeText(), QString());
    }

    void historyFileThatIsNotAFileIsShown()
    {
        HistoryFile fifo(true);
        SpeedHistoryView view(fifo.history);
        QCOMPARE(view.noticeText(), fifo.history.fileProblem());
        QVERIFY(view.noticeText().contains(fifo.history.filePath()));
    }

    void chartShowsTheSelectedNetworkOrAll()
    {
        history_->add(measurement(QStringLiteral("Home"), 9, 100));
        history_->add(measurement(QStringLiteral("Cafe"), 5, 10, 24));
        history_->add(measurement(QStringLiteral("Home"), 1, 200));
        SpeedHistoryView view(*history_);
        view.resize(900, 460);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        SpeedHistoryChart* chart = view.chart();
        QCOMPARE(chart->points().size(), 3);
        QCOMPARE(chart->caption(), QStringLiteral("All networks"));
        // At most a quarter of the window's height.
        QVERIFY2(chart->height() <= view.height() / 4, qPrintable(QString::number(chart->height())));

        view.table()->selectRow(0); // newest: Home
        QCOMPARE(chart->networks(), QSet<QString>{QStringLiteral("Home")});
        QCOMPARE(chart->points().size(), 2);
        QVERIFY(chart->points().first().date < chart->points().last().date); // oldest first
        // New measurements of the chosen network join the chart.
        history_->add(measurement(QStringLiteral("Home"), 0, 300));
        QCOMPARE(chart->points().size(), 3);
        view.table()->clearSelection();
        QCOMPARE(chart->points().size(), 4);
    }
};

QTEST_MAIN(SpeedHistoryViewTest)
#include "tst_SpeedHistoryView.moc"
