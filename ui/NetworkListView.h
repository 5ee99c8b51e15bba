#pragma once

#include <QListView>

namespace ondrel {

class NetworkListModel;
class NetworkRow;

// The main window's list: one NetworkRow per record of a NetworkListModel.
// A double click or Return on a row asks to join it (never the current
// network), and the context menu opens for the row under the pointer or,
// from the Menu key or Shift+F10, for the focused row. Screen readers see
// each row with its marks and its actions (NetworkListAccessible).
class NetworkListView : public QListView {
    Q_OBJECT
public:
    NetworkListView(NetworkListModel* model, QWidget* parent = nullptr);

    NetworkListModel* networks() const { return model_; }
    NetworkRow* rowDelegate() const { return delegate_; }

Q_SIGNALS:
    void joinRequested(int row);
    void contextMenuRequested(int row, const QPoint& globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void askToJoin(const QModelIndex& index);

    NetworkListModel* model_;
    NetworkRow* delegate_;
};

} // namespace ondrel
