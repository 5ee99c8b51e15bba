#pragma once

#include <QLineEdit>

namespace ondrel {

// The main window's search field, with a drawn magnifier at its leading
// edge and a clear button. Escape clears it; Escape on an empty field
// announces escapedEmpty() so that the window can hand the focus on. The
// window's own shortcuts (Ctrl+Y, Ctrl+R, Ctrl+T, …) still work while it has
// the focus, also where the desktop's key scheme gives the same key to
// editing (Ctrl+Y is Redo in the Windows scheme).
class SearchField : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchField(QWidget* parent = nullptr);

    // Takes the focus and adds `text`, typed while another part of the
    // window had the focus, at the end, as if it had been typed here.
    void takeTyping(const QString& text);
    // Ctrl+F (the desktop's Find key) anywhere in `window` comes to the
    // field, with its text chosen.
    void addFindKey(QWidget* window);

Q_SIGNALS:
    void escapedEmpty();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // True when `keys` trigger an enabled action or shortcut of the window.
    bool windowHandles(const QKeySequence& keys) const;
    void placeMargins();
};

} // namespace ondrel
