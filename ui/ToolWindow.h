#pragma once

#include <QMainWindow>

namespace ondrel {

// A window of its own for a view (the speed history, the settings): a frame
// to screen readers, titled after its content, closed by Escape and by the
// desktop's Close keys (Ctrl+W), and opening at `preferred` size where the
// screen has room for it, smaller where it has not.
class ToolWindow : public QMainWindow {
    Q_OBJECT
public:
    ToolWindow(QWidget* content, QSize preferred, QWidget* parent = nullptr);

    QWidget* content() const { return centralWidget(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace ondrel
