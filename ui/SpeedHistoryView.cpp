#include "ui/SpeedHistoryView.h"

#include "localization/DebugLog.h"
#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/Plural.h"
#include "speed/SpeedHistory.h"
#include "ui/Announcer.h"
#include "ui/FigureCellDelegate.h"
#include "ui/MenuKeys.h"
#include "ui/SignalCellDelegate.h"
#include "ui/SpeedHistoryChart.h"
#include "ui/SpeedHistoryModel.h"
#include "ui/SymbolView.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace ondrel {

namespace {

struct ColumnWidth {
    int minimum;
    int ideal;
};

// Minimum and ideal width of each column, in column order.
constexpr ColumnWidth kColumns[] = {{130, 130}, {110, 150}, {95, 100}, {95, 100}, {70, 80},
                                    {65, 75},   {90, 105},  {95, 100}, {70, 80}};

// The table, telling its view how a context menu was asked for: by the
// pointer (at a place) or from the keyboard (the Menu key, Shift+F10).
class HistoryTable : public QTableView {
public:
    std::function<void(const QPoint& viewportPos, bool keyboard)> onContextMenu;

    // The name takes whatever width the other columns leave, but never less
    // than its minimum: where a language's headers widen the figures'
    // columns, the table scrolls sideways rather than cut every name short.
    void fitNameColumn()
    {
        QHeaderView* header = horizontalHeader();
        int others = 0;
        for (int c = 0; c < header->count(); ++c) {
            if (c != SpeedHistoryModel::network)
                others += header->sectionSize(c);
        }
        const int name = std::max(kColumns[SpeedHistoryModel::network].minimum, viewport()->width() - others);
        if (header->sectionSize(SpeedHistoryModel::network) != name)
            header->resizeSection(SpeedHistoryModel::network, name);
    }

protected:
    // The viewport's width changes with the window and with the vertical
    // scroll bar coming and going.
    bool viewportEvent(QEvent* event) override
    {
        const bool handled = QTableView::viewportEvent(event);
        if (event->type() == QEvent::Resize)
            fitNameColumn();
        return handled;
    }
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        if (onContextMenu)
            onContextMenu(event->pos(), event->reason() == QContextMenuEvent::Keyboard);
        event->accept();
    }
    // The focus lands on a cell (the first, when none was current), which
    // screen readers read out; nothing is selected by it.
    void focusInEvent(QFocusEvent* event) override
    {
        QTableView::focusInEvent(event);
        // After the table's own focus announcement, so that the cell's comes last.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!hasFocus() || !model() || model()->rowCount() == 0)
                    return;
                const QModelIndex current = currentIndex().isValid() ? currentIndex() : model()->index(0, 0);
                // Made current anew: the table announces the cell.
                selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
                selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
            },
            Qt::QueuedConnection);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier && onContextMenu) {
            onContextMenu({}, true);
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }
};

QString defaultChooser(QWidget* parent)
{
    QFileDialog dialog(parent, L("CSVで書き出す", "Export CSV…"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(L("CSV ファイル (*.csv)", "CSV files (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    dialog.selectFile(QStringLiteral("ondrel-speed.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

SpeedHistoryView::SpeedHistoryView(SpeedHistory& history, QWidget* parent)
    : QWidget(parent), history_(history), model_(new SpeedHistoryModel(history, this)),
      chooser_(defaultChooser)
{
    setObjectName(QStringLiteral("speedHistoryView"));
    setMinimumSize(minimumWidth, minimumHeight);
    setLayoutDirection(LocaleSettings::isRightToLeftCache ? Qt::RightToLeft : Qt::LeftToRight);
    setWindowTitle(L("速度テストの記録", "Speed Test History"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The toolbar: the count at the leading edge, the two actions at the trailing one.
    auto* bar = new QWidget;
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(14, 10, 14, 10);
    barLayout->setSpacing(8);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("historyStatus"));
    status_->setFont(viewstyle::font(12));
    viewstyle::setSecondary(status_);
    exportButton_ = new QPushButton(L("CSVで書き出す", "Export CSV…"));
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    clearButton_ = new QPushButton(L("すべて消去", "Clear All"));
    clearButton_->setObjectName(QStringLiteral("clearButton"));
    // A destructive action: its caption in red.
    QPalette destructive = clearButton_->palette();
    destructive.setColor(QPalette::Active, QPalette::ButtonText, tintRed(palette()));
    destructive.setColor(QPalette::Inactive, QPalette::ButtonText, tintRed(palette()));
    clearButton_->setPalette(destructive);
    connect(exportButton_, &QPushButton::clicked, this, &SpeedHistoryView::exportCsvInteractively);
    connect(clearButton_, &QPushButton::clicked, this, &SpeedHistoryView::clearAll);
    barLayout->addWidget(status_);
    barLayout->addStretch(1);
    barLayout->addWidget(exportButton_);
    barLayout->addWidget(clearButton_);
    layout->addWidget(bar);

    auto* noticeBar = new QWidget;
    auto* noticeLayout = new QHBoxLayout(noticeBar);
    noticeLayout->setContentsMargins(14, 0, 14, 8);
    notice_ = new QLabel;
    notice_->setObjectName(QStringLiteral("historyNotice"));
    notice_->setTextFormat(Qt::PlainText);
    notice_->setWordWrap(true);
    notice_->setFont(viewstyle::font(12));
    undoButton_ = new QPushButton(L("元に戻す", "Undo"));
    undoButton_->setObjectName(QStringLiteral("undoButton"));
    connect(undoButton_, &QPushButton::clicked, this, &SpeedHistoryView::undoClear);
    noticeLayout->addWidget(notice_, 1);
    noticeLayout->addWidget(undoButton_);
    layout->addWidget(noticeBar);
    // Any change of the history after a Clear All withdraws its Undo.
    connect(&history_, &SpeedHistory::entriesChanged, this, [this] {
        cleared_.clear();
        updateNotice();
    });
    connect(&history_, &SpeedHistory::fileProblemChanged, this, &SpeedHistoryView::updateNotice);
    announcer_ = new Announcer(this);

    stack_ = new QStackedWidget;
    auto* filled = new QWidget;
    auto* filledLayout = new QVBoxLayout(filled);
    filledLayout->setContentsMargins(14, 0, 14, 14);
    filledLayout->setSpacing(10);
    chart_ = new SpeedHistoryChart(history_);
    filledLayout->addWidget(chart_);

    auto* table = new HistoryTable;
    table_ = table;
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setAccessibleName(L("速度テストの記録", "Speed Test History"));
    // Tab goes on to the next control; the arrows move between the cells.
    table_->setTabKeyNavigation(false);
    table_->setModel(model_);
    table_->setFont(viewstyle::font(12));
    table_->setSortingEnabled(true);
    table_->sortByColumn(SpeedHistoryModel::date, Qt::DescendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setAlternatingRowColors(true);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(24);
    table_->setItemDelegate(new FigureCellDelegate(table_));
    // Names keep their own direction.
    table_->setItemDelegateForColumn(SpeedHistoryModel::network, new QStyledItemDelegate(table_));
    table_->setItemDelegateForColumn(SpeedHistoryModel::signal, new SignalCellDelegate(table_));
    QHeaderView* header = table_->horizontalHeader();
    header->setFont(viewstyle::font(12));
    header->setHighlightSections(false);
    header->setSortIndicatorShown(true);
    header->setMinimumSectionSize(kColumns[SpeedHistoryModel::jitter].minimum);
    header->setStretchLastSection(false);
    for (int c = 0; c < SpeedHistoryModel::columnCount_; ++c) {
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        // Wider where this language's header needs it.
        header->resizeSection(c, std::max(kColumns[c].ideal, header->sectionSizeHint(c)));
    }
    table->fitNameColumn();
    connect(header, &QHeaderView::sectionResized, table, [table](int column) {
        if (column != SpeedHistoryModel::network)
            table->fitNameColumn();
    });
    table->onContextMenu = [this](const QPoint& pos, bool keyboard) {
        // From the keyboard the menu acts on the selection, whatever row the
        // focus is on, and opens beside the focused row.
        QMenu* menu = keyboard ? contextMenuFor(selectedIds()) : contextMenuAt(pos);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QPoint at = pos;
        if (keyboard) {
            const QModelIndex current = table_->currentIndex();
            at = current.isValid() ? table_->visualRect(current).center()
                                   : table_->viewport()->rect().center();
        }
        menu->popup(table_->viewport()->mapToGlobal(at));
        if (keyboard)
            activateFirst(menu);
    };
    auto* remove = new QAction(L("この記録を消去", "Delete Measurement"), table_);
    remove->setShortcuts(QKeySequence::keyBindings(QKeySequence::Delete).isEmpty()
                             ? QList<QKeySequence>{QKeySequence(Qt::Key_Delete)}
                             : QKeySequence::keyBindings(QKeySequence::Delete));
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, this, &SpeedHistoryView::deleteSelected);
    table_->addAction(remove);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        QSet<QString> names;
        for (const QModelIndex& row : table_->selectionModel()->selectedRows())
            names.insert(model_->entry(row.row()).ssid);
        chart_->setNetworks(names);
    });
    filledLayout->addWidget(table_, 1);
    stack_->addWidget(filled);
    stack_->addWidget(buildEmptyState());
    layout->addWidget(stack_, 1);

    connect(model_, &SpeedHistoryModel::rowsRebuilt, this, &SpeedHistoryView::refresh);
    refresh();
    updateNotice();
}

QString SpeedHistoryView::noticeText() const
{
    QStringList lines;
    if (const QString problem = history_.fileProblem(); !problem.isEmpty())
        lines.append(problem);
    if (!exportNotice_.isEmpty())
        lines.append(exportNotice_);
    if (!cleared_.isEmpty()) {
        const qsizetype n = cleared_.size();
        lines.append(formatText(pluralFormat("%d件の記録を消去しました。", "%d measurement cleared.",
                                             "%d measurements cleared.", n),
                                {n}));
    }
    return lines.join(QLatin1Char('\n'));
}

void SpeedHistoryView::updateNotice()
{
    const QString text = noticeText();
    notice_->setText(text);
    notice_->parentWidget()->setVisible(!text.isEmpty());
    undoButton_->setVisible(!cleared_.isEmpty());
    // Failures in red; the Undo offer alone in the secondary colour.
    if (!history_.fileProblem().isEmpty() || exportFailed_)
        viewstyle::setTextColor(notice_, tintRed(palette()));
    else
        viewstyle::setSecondary(notice_);
}

QWidget* SpeedHistoryView::buildEmptyState()
{
    auto* empty = new QWidget;
    empty->setObjectName(QStringLiteral("historyEmpty"));
    auto* column = new QVBoxLayout(empty);
    column->setSpacing(10);
    column->addStretch(1);
    auto* symbol = new SymbolView(Symbol::speedometer, 34, tertiaryColor);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = new QLabel(L("記録はまだありません。", "No measurements yet."));
    title->setFont(viewstyle::font(13));
    viewstyle::setSecondary(title);
    column->addWidget(title, 0, Qt::AlignHCenter);
    auto* hint = new QLabel(
        L("速度テストを実行すると、ここに1件ずつ残ります。", "Each speed test you run is added here."));
    hint->setFont(viewstyle::font(12));
    column->addWidget(hint, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return empty;
}

QString SpeedHistoryView::statusText() const
{
    const qsizetype n = history_.entries().size();
    return formatText(pluralFormat("%d件の記録", "%d measurement", "%d measurements", n), {n});
}

void SpeedHistoryView::refresh()
{
    const bool empty = history_.entries().isEmpty();
    status_->setText(statusText());
    exportButton_->setEnabled(!empty);
    clearButton_->setEnabled(!empty);
    stack_->setCurrentIndex(empty ? 1 : 0);
}

void SpeedHistoryView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The chart never takes more than a quarter of the window's height.
    chart_->setMaximumHeight(qMax(60, height() / 4));
}

QSet<QUuid> SpeedHistoryView::selectedIds() const
{
    QSet<QUuid> ids;
    for (const QModelIndex& row : table_->selectionModel()->selectedRows())
        ids.insert(model_->entry(row.row()).id);
    return ids;
}

QSet<QUuid> SpeedHistoryView::contextTargets(const QPoint& viewportPos) const
{
    const QModelIndex index = table_->indexAt(viewportPos);
    if (!index.isValid() || table_->selectionModel()->isRowSelected(index.row(), {}))
        return selectedIds();
    return {model_->entry(index.row()).id};
}

QMenu* SpeedHistoryView::contextMenuAt(const QPoint& viewportPos)
{
    return contextMenuFor(contextTargets(viewportPos));
}

QMenu* SpeedHistoryView::contextMenuFor(const QSet<QUuid>& targets)
{
    auto* menu = new QMenu(this);
    QAction* remove = menu->addAction(L("この記録を消去", "Delete Measurement"));
    remove->setObjectName(QStringLiteral("deleteMeasurement"));
    remove->setShortcut(QKeySequence(QKeySequence::Delete));
    remove->setEnabled(!targets.isEmpty());
    connect(remove, &QAction::triggered, this, [this, targets] { history_.remove(targets); });
    return menu;
}

void SpeedHistoryView::setExportPathChooser(std::function<QString(QWidget*)> chooser)
{
    chooser_ = std::move(chooser);
}

bool SpeedHistoryView::exportCsv(const SpeedHistory& history, const QString& path, QString* problem)
{
    QSaveFile file(path);
    const QByteArray bytes = QByteArrayLiteral("\xEF\xBB\xBF") + history.csv().toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    debugLog(QStringLiteral("CSV export to %1 failed: %2").arg(path, file.errorString()));
    if (problem)
        *problem = file.errorString();
    return false;
}

void SpeedHistoryView::exportCsvInteractively()
{
    if (history_.entries().isEmpty())
        return;
    const QString path = chooser_(this);
    if (path.isEmpty())
        return;
    QString problem;
    exportFailed_ = !exportCsv(history_, path, &problem);
    const QString shown = QDir::toNativeSeparators(path);
    exportNotice_ = exportFailed_ ? Lf("CSV ファイルを書き出せませんでした: %@",
                                       "The CSV file could not be written: %@", {shown}) +
                                        QStringLiteral(" (") + problem + QLatin1Char(')')
                                  : Lf("%@ に書き出しました。", "Exported to %@.", {shown});
    updateNotice();
    announcer_->announce(exportNotice_);
}

void SpeedHistoryView::deleteSelected()
{
    const QSet<QUuid> ids = selectedIds();
    if (ids.isEmpty())
        return;
    // The first row after the deleted ones, where they were.
    int next = model_->rowCount();
    for (const QModelIndex& row : table_->selectionModel()->selectedRows())
        next = std::min(next, row.row());
    history_.remove(ids);
    if (model_->rowCount() == 0)
        return;
    const QModelIndex index = model_->index(std::min(next, model_->rowCount() - 1), 0);
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
}

void SpeedHistoryView::clearAll()
{
    const QList<SpeedEntry> removed = history_.entries();
    history_.clear();
    table_->clearSelection();
    // Offered from now on: the clear itself was the last change.
    cleared_ = removed;
    updateNotice();
    announcer_->announce(noticeText());
}

void SpeedHistoryView::undoClear()
{
    const QList<SpeedEntry> removed = std::exchange(cleared_, {});
    history_.restore(removed);
    updateNotice();
}

} // namespace ondrel
