#pragma once

#include <QObject>

namespace ondrel {

// Return and Enter press the push or tool button that has the keyboard
// focus, as Space does, in every window of the application; a button with a
// menu opens it. Without this, Return on a focused button does nothing in a
// window and presses the dialog's default button in a dialog (Connect while
// Cancel has the focus). Install one on the application object.
class ButtonKeys : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace ondrel
