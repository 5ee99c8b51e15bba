// The speed history window: the empty state, live rows, Clear All and its
// undo, sorting, deletion from the context menu, the cells and the name
// column's width, the CSV export, a history file that is no file, the chart.

#include "tests/ui/UiTestKit.h"

#include "ui/FigureCellDelegate.h"
#include "ui/SpeedHistoryChart.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/SpeedHistoryView.h"
#include "ui/Tints.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>

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

// The history's figure cells with the style option they draw from in reach.
struct FigureCells : FigureCellDelegate {
    using FigureCellDelegate::initStyleOption;
};

} // namespace

class SpeedHistoryViewTest : public QObject {
    Q_OBJECT
    std::unique_ptr<HistoryFile> file_;
    std::unique_ptr<SpeedHistoryView> view_;

    void add(const char* ssid, int hoursAgo, double down = 100, qint64 band = 50, qint64 rssi = -55)
    {
        file_->history.add(measurement(QString::fromUtf8(ssid), hoursAgo, down, band, rssi));
    }
    // The window on the history as it stands.
    SpeedHistoryView& view()
    {
        view_ = std::make_unique<SpeedHistoryView>(file_->history);
        view_->resize(900, 460);
        view_->show();
        if (!QTest::qWaitForWindowExposed(view_.get()))
            qFatal("the history window was not shown");
        return *view_;
    }
    QStringList networks() const { return column(*view_->model(), SpeedHistoryModel::network); }

private Q_SLOTS:
    void initTestCase() { useEnglish(); }
    void init() { file_ = std::make_unique<HistoryFile>(); }
    void cleanup() { view_.reset(); }

    // Empty at first; rows arrive live (the selection stays); Clear All
    // empties the history and the selection until undone, and the next
    // change withdraws the offer.
    // A cancelled dialog writes nothing; a failed export is shown until the
    // next one; the file gets a byte order mark and the history's CSV, over
    // whatever was there.
    void liveRowsClearAllAndExport()
    {
        SpeedHistoryView& v = view();
        auto page = [&v] { return v.findChild<QStackedWidget*>()->currentWidget()->objectName(); };
        auto* status = find<QLabel>(v, "historyStatus");
        auto *undo = find<QPushButton>(v, "undoButton"), *clear = find<QPushButton>(v, "clearButton");
        auto* exportButton = find<QPushButton>(v, "exportButton");
        QCOMPARE(page(), QStringLiteral("historyEmpty"));
        QVERIFY(!exportButton->isEnabled() && !clear->isEnabled());

        add("first", 3);
        QCOMPARE(std::pair(status->text(), page()), std::pair(QStringLiteral("1 measurement"), QString()));
        QVERIFY(exportButton->isEnabled());
        v.table()->selectRow(0);
        const QSet<QUuid> selected = v.selectedIds();
        add("second", 1);
        QCOMPARE(networks(), (QStringList{"second", "first"}));
        QCOMPARE(v.selectedIds(), selected);
        QCOMPARE(status->text(), QStringLiteral("2 measurements"));

        const QList<SpeedEntry> before = file_->history.entries();
        v.table()->selectAll();
        clear->click();
        QVERIFY(file_->history.entries().isEmpty() && v.selectedIds().isEmpty() && undo->isVisibleTo(&v));
        QCOMPARE(std::pair(page(), v.noticeText()),
                 std::pair(QStringLiteral("historyEmpty"), QStringLiteral("2 measurements cleared.")));
        undo->click();
        QCOMPARE(file_->history.entries(), before);
        QCOMPARE(std::pair(undo->isVisibleTo(&v), v.noticeText()), std::pair(false, QString()));
        clear->click();
        QVERIFY(undo->isVisibleTo(&v));
        add("c", 0);
        QCOMPARE(std::pair(undo->isVisibleTo(&v), v.noticeText()), std::pair(false, QString()));

        QString chosen; // the dialog cancelled
        v.setExportPathChooser([&chosen](QWidget*) { return chosen; });
        v.exportCsvInteractively();
        QCOMPARE(v.noticeText(), QString());
        chosen = file_->dir.filePath(QStringLiteral("missing/folder/out.csv"));
        v.exportCsvInteractively();
        QCOMPARE(v.noticeText(), QStringLiteral("The CSV file could not be written: ") + chosen +
                                     " (No such file or directory)");
        QVERIFY(find<QLabel>(*view_, "historyNotice")->isVisibleTo(&v));

        chosen = file_->dir.filePath(QStringLiteral("out.csv"));
        QFile file(chosen);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("stale content that must go");
        file.close();
        exportButton->click();
        QCOMPARE(v.noticeText(), "Exported to " + chosen + "."); // where it went
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "\xEF\xBB\xBF" + file_->history.csv().toUtf8());
    }

    // Newest first; every column orders by its own figure (the band by its
    // numeric code): each one below puts the five entries in a different
    // order, so a column read for another fails. The latency under load sorts
    // entries without one first and tells its grade on hover, from the
    // longer phase.
    void eachColumnSortsByItsFigure()
    {
        const struct {
            const char* name;
            double down, up;
            qint64 latency, jitter, rssi, band;
            std::optional<qint64> loadedDown, loadedUp;
        } rows[] = {
            {"echo", 50, 9, 30, 2, -60, 60, {}, {}},    {"alpha", 10, 40, 12, 7, -45, 24, 400, 30},
            {"delta", 800, 1, 5, 4, -75, 0, 6, 8},      {"bravo", 30, 25, 60, 1, -50, 50, 150, {}},
            {"charlie", 5, 60, 20, 9, -80, 50, {}, 45},
        };
        int hoursAgo = 5;
        for (const auto& r : rows) {
            SpeedEntry e = measurement(QString::fromUtf8(r.name), hoursAgo--, r.down, r.band, r.rssi);
            std::tie(e.uploadMbps, e.latencyMs, e.jitterMs) = std::tuple(r.up, r.latency, r.jitter);
            const auto loaded = [](std::optional<qint64> ms) {
                return ms ? std::optional(LoadedLatency{*ms, 1}) : std::nullopt;
            };
            e.downloadLatency = loaded(r.loadedDown);
            e.uploadLatency = loaded(r.loadedUp);
            file_->history.add(e);
        }
        SpeedHistoryView& v = view();
        QCOMPARE(networks(), (QStringList{"charlie", "bravo", "delta", "alpha", "echo"}));
        const std::pair<int, QStringList> orders[] = {
            {SpeedHistoryModel::date, {"echo", "alpha", "delta", "bravo", "charlie"}},
            {SpeedHistoryModel::network, {"alpha", "bravo", "charlie", "delta", "echo"}},
            {SpeedHistoryModel::download, {"charlie", "alpha", "bravo", "echo", "delta"}},
            {SpeedHistoryModel::upload, {"delta", "echo", "bravo", "alpha", "charlie"}},
            {SpeedHistoryModel::latency, {"delta", "alpha", "charlie", "echo", "bravo"}},
            {SpeedHistoryModel::jitter, {"bravo", "echo", "delta", "alpha", "charlie"}},
            {SpeedHistoryModel::underLoad, {"echo", "delta", "charlie", "bravo", "alpha"}},
            {SpeedHistoryModel::signal, {"charlie", "delta", "echo", "bravo", "alpha"}},
        };
        for (const auto& [column, names] : orders) {
            v.table()->sortByColumn(column, Qt::AscendingOrder);
            QCOMPARE(networks(), names);
            v.table()->sortByColumn(column, Qt::DescendingOrder);
            QCOMPARE(networks(), QStringList(names.rbegin(), names.rend()));
        }
        v.table()->sortByColumn(SpeedHistoryModel::band, Qt::AscendingOrder);
        QCOMPARE(column(*v.model(), SpeedHistoryModel::band),
                 (QStringList{"Unknown", "2.4 GHz", "5 GHz", "5 GHz", "6 GHz"}));
        // Each shows its own figure.
        v.table()->sortByColumn(SpeedHistoryModel::network, Qt::AscendingOrder);
        const std::pair<int, QStringList> shown[] = {
            {SpeedHistoryModel::download, {"10.0 Mbps", "30.0 Mbps", "5.0 Mbps", "800 Mbps", "50.0 Mbps"}},
            {SpeedHistoryModel::latency, {"12 ms", "60 ms", "20 ms", "5 ms", "30 ms"}},
            {SpeedHistoryModel::jitter, {"7 ms", "1 ms", "9 ms", "4 ms", "2 ms"}},
            {SpeedHistoryModel::signal, {"-45 dBm", "-50 dBm", "-80 dBm", "-75 dBm", "-60 dBm"}},
        };
        for (const auto& [c, texts] : shown)
            QCOMPARE(column(*v.model(), c), texts);
        v.table()->sortByColumn(SpeedHistoryModel::underLoad, Qt::AscendingOrder);
        QStringList tips;
        for (int row = 0; row < v.model()->rowCount(); ++row)
            tips << read(
                v.model()->index(row, SpeedHistoryModel::underLoad).data(Qt::ToolTipRole).toString());
        QCOMPARE(column(*v.model(), SpeedHistoryModel::underLoad),
                 (QStringList{"—", "8 ms", "45 ms", "150 ms", "400 ms"}));
        QCOMPARE(tips, (QStringList{
                           "",
                           "Latency while downloading: 6 ms\nLatency while uploading: 8 ms\nExcellent · +3 "
                           "ms under load",
                           "Latency while uploading: 45 ms\nGood · +25 ms under load",
                           "Latency while downloading: 150 ms\nFair · +90 ms under load",
                           "Latency while downloading: 400 ms\nLatency while uploading: 30 ms\nPoor · +388 "
                           "ms under load",
                       }));
    }

    // A figure keeps its number before its unit in a right-to-left window
    // (left-to-right marks around it) and is left as it is in a left-to-right
    // one; the signal column lights each entry's own bars in their tint.
    // The name fills what the other columns leave, and where they leave
    // less than its minimum (wide headers, a column dragged wider) the table
    // scrolls sideways rather than cutting the names short.
    void cellsAndTheNameColumn()
    {
        add("Strong", 1, 100, 50, -45);
        add("Weak", 2, 100, 50, -75);
        SpeedHistoryView& v = view();
        const QModelIndex download = v.table()->model()->index(0, SpeedHistoryModel::download);
        const QString figure = download.data().toString();
        QVERIFY(figure.endsWith(QStringLiteral(" Mbps")));
        const QChar mark(0x200E);
        FigureCells cells;
        for (Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            QStyleOptionViewItem option;
            option.direction = direction;
            cells.initStyleOption(&option, download);
            QCOMPARE(option.text, direction == Qt::RightToLeft ? mark + figure + mark : figure);
        }

        const QImage shown = v.table()->viewport()->grab().toImage();
        const QPalette palette = v.table()->viewport()->palette();
        const auto lit = [&](int row, const QColor& tint) {
            const QRect cell =
                v.table()->visualRect(v.table()->model()->index(row, SpeedHistoryModel::signal));
            int count = 0;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x)
                    count += shown.pixelColor(x, y) == tint;
            return count;
        };
        QCOMPARE(read(v.table()->model()->index(0, SpeedHistoryModel::network).data().toString()),
                 QStringLiteral("Strong"));
        QVERIFY(lit(0, tintGreen(palette)) > 0 && lit(0, tintRed(palette)) == 0);
        QVERIFY(lit(1, tintRed(palette)) > 0 && lit(1, tintGreen(palette)) == 0);
        // Four bars lit against one.
        QVERIFY(lit(0, tintGreen(palette)) > 4 * lit(1, tintRed(palette)));

        v.resize(1020, 500); // as the window opens
        QHeaderView* header = v.table()->horizontalHeader();
        const auto others = [header] {
            int sum = 0;
            for (int c = 0; c < header->count(); ++c)
                sum += c == SpeedHistoryModel::network ? 0 : header->sectionSize(c);
            return sum;
        };
        const int viewport = v.table()->viewport()->width();
        QTRY_COMPARE(header->sectionSize(SpeedHistoryModel::network), viewport - others());
        QVERIFY(header->sectionSize(SpeedHistoryModel::network) > 110);
        QCOMPARE(v.table()->horizontalScrollBar()->maximum(), 0);
        // The date dragged wider than the name's room: the name keeps 110.
        header->resizeSection(SpeedHistoryModel::date,
                              header->sectionSize(SpeedHistoryModel::date) + viewport);
        QCOMPARE(header->sectionSize(SpeedHistoryModel::network), 110);
        QTRY_VERIFY(v.table()->horizontalScrollBar()->maximum() > 0);
        // A wider window gives the name the room again.
        v.resize(1020 + 2 * viewport, 500);
        QTRY_COMPARE(header->sectionSize(SpeedHistoryModel::network),
                     v.table()->viewport()->width() - others());
        QVERIFY(header->sectionSize(SpeedHistoryModel::network) > 110);
    }

    void contextMenuDeletesTheRowsItWasOpenedOn()
    {
        for (int i = 0; i < 5; ++i)
            add(qPrintable(QStringLiteral("net%1").arg(i)), 10 - i);
        SpeedHistoryView& v = view();
        QTableView* table = v.table();
        const auto rowPoint = [table](int row) {
            return table->visualRect(table->model()->index(row, 0)).center();
        };
        // Rows newest first: net4, net3, net2, net1, net0.
        for (int row : {0, 2})
            table->selectionModel()->select(table->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        // On an unselected row: that row alone, and the selection survives.
        v.contextMenuAt(rowPoint(1))->actions().first()->trigger();
        QCOMPARE(networks(), (QStringList{"net4", "net2", "net1", "net0"}));
        QCOMPARE(table->selectionModel()->selectedRows().size(), 2);
        // On a selected row: the whole selection.
        v.contextMenuAt(rowPoint(0))->actions().first()->trigger();
        QCOMPARE(networks(), (QStringList{"net1", "net0"}));
        // On empty space: the selection.
        const QPoint below(10, table->viewport()->height() - 3);
        QVERIFY(!table->indexAt(below).isValid());
        table->selectRow(1);
        v.contextMenuAt(below)->actions().first()->trigger();
        QCOMPARE(networks(), QStringList{"net1"});
        // The table's Delete: the row that followed the deleted ones, where they were, is selected.
        for (int i = 5; i < 9; ++i)
            add(qPrintable(QStringLiteral("net%1").arg(i)), 10 - i);
        for (int row : {1, 3})
            table->selectionModel()->select(table->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->actions().first()->trigger();
        QCOMPARE(networks(), (QStringList{"net8", "net6", "net1"}));
        QCOMPARE(table->selectionModel()->selectedRows(), QModelIndexList{table->model()->index(1, 0)});
    }

    void historyFileThatIsNotAFileIsShown()
    {
        file_ = std::make_unique<HistoryFile>(true);
        QCOMPARE(view().noticeText(), file_->history.fileProblem()); // it names the file: tst_SpeedHistory
    }

    // The chart's time runs from the oldest measurement to the newest, in its
    // points and in the span it tells screen readers, whatever the order the
    // entries were added in. It shows every network, or the one chosen and
    // its new measurements.
    void chartShowsTheChosenNetworkOldestFirst()
    {
        add("Home", 24 * 3, 200);
        add("Cafe", 24 * 40, 10, 24);
        add("Home", 24 * 12, 100);
        SpeedHistoryView& v = view();
        SpeedHistoryChart* chart = v.chart();
        QList<QDateTime> dates;
        for (const SpeedEntry& e : chart->points())
            dates << e.date;
        QVERIFY(dates.size() == 3 && dates[0] < dates[1] && dates[1] < dates[2]);
        const auto day = [](const QDateTime& date) {
            return QLocale().toString(date.toLocalTime().date(), QLocale::ShortFormat);
        };
        QCOMPARE(chart->accessibleDescription(), day(dates[0]) + QStringLiteral(" – ") + day(dates[2]));
        QVERIFY(dates[2].daysTo(QDateTime::currentDateTimeUtc()) == 3);
        QCOMPARE(chart->caption(), QStringLiteral("All networks"));

        v.table()->selectRow(0); // newest: Home
        QCOMPARE(chart->networks(), QSet<QString>{QStringLiteral("Home")});
        QCOMPARE(chart->points().size(), 2);
        add("Home", 0, 300);
        QCOMPARE(chart->points().size(), 3);
        v.table()->clearSelection();
        QCOMPARE(chart->points().size(), 4);
        // The speed axis reaches the fastest figure of the chosen network, an
        // upload's too: Cafe's 200 Mbps over its 10 Mbps download.
        v.table()->selectRow(int(networks().indexOf(QStringLiteral("Cafe"))));
        QCOMPARE(chart->points().size(), 1);
        const QString drawn = TextRecorder::text(chart);
        QVERIFY2(drawn.contains(QStringLiteral("200 Mbps")) && !drawn.contains(QStringLiteral("10 Mbps")),
                 qPrintable(drawn));
        // A chosen name is captioned, and told to screen readers, as the table
        // shows it: the leading space and the Cyrillic "о" that would pass
        // for " Home" are escapes, in a name that keeps its own direction.
        add(" H\xd0\xbeme", 1);
        const QString shown = QString::fromUtf16(u"\u2068\u2066\\x20\u2069H\u2066\\u043e\u2069me\u2069");
        v.table()->selectRow(int(networks().indexOf(QStringLiteral(R"(\x20H\u043eme)"))));
        QCOMPARE(chart->points().size(), 1);
        QCOMPARE(chart->caption(), shown);
        QCOMPARE(chart->accessibleName(), shown);
    }
};

QTEST_MAIN(SpeedHistoryViewTest)
#include "tst_SpeedHistoryView.moc"
