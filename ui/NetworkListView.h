#pragma once

#include <QListView>

namespace ondrel {

class NetworkListModel;
class NetworkRow;

// The main window's list: one NetworkRow per record of a NetworkListModel.
// A double click or Return on a row asks to join it (never the current
// network), and the context menu opens for the row under the pointer or,
// from the Menu key or Shift+F10, for the focused row. Screen readers see
// each row with its marks and its actions (NetworkListAccessible). Typing
// a name on the list hands the keys to the search field (typed()) instead
// of jumping to a row.
class NetworkListView : public QListView {
    Q_OBJECT
public:
    NetworkListView(NetworkListModel* model, QWidget* parent = nullptr);

    NetworkListModel* networks() const { return model_; }
    NetworkRow* rowDelegate() const { return delegate_; }

    // The typed text that starts a search: printable, without Ctrl, Alt or Meta.
    static bool startsSearch(const QKeyEvent& event);
    // Typing goes to the search field, not to a row of that initial.
    void keyboardSearch(const QString&) override {}

Q_SIGNALS:
    void joinRequested(int row);
    // `fromKeyboard`: asked for by the Menu key or Shift+F10.
    void contextMenuRequested(int row, const QPoint& globalPos, bool fromKeyboard);
    // Printable text was typed while the list had the focus.
    void typed(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The focus lands on a row (the first, when none was current), so that
    // the arrows and screen readers start from one.
    void focusInEvent(QFocusEvent* event) override;

private:
    void askToJoin(const QModelIndex& index);
    void askForMenu(const QModelIndex& index, bool fromKeyboard);

    NetworkListModel* model_;
    NetworkRow* delegate_;
};

} // namespace ondrel
