#pragma once

#include <QDialog>

namespace ondrel {

class SpeedTestView;

// The speed test's window beside the main window: not modal (nothing in the
// main window depends on it), titled "Speed Test", opening at the size of
// its content where the screen has room for it and scrolling it where the
// screen has not (large text, 2× scaling). It closes itself when the content
// asks; the focus starts on Start Test. The window takes the view over.
class SpeedTestWindow : public QDialog {
    Q_OBJECT
public:
    explicit SpeedTestWindow(SpeedTestView* content, QWidget* parent = nullptr);

    SpeedTestView* content() const { return content_; }

private:
    SpeedTestView* content_;
};

} // namespace ondrel
