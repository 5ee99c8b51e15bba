#pragma once

class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace ondrel::sheetparts {

// What the join sheets share: the Wi-Fi symbol beside a title and a subtitle,
// and the Cancel and Connect buttons, Connect the default.

struct Header {
    QHBoxLayout* layout = nullptr;
    QLabel* title = nullptr;    // plain text, wrapping, larger and demi-bold
    QLabel* subtitle = nullptr; // plain text, in the secondary colour
};

// The subtitle wraps when `wrapSubtitle`; the title always does.
Header header(QWidget* sheet, bool wrapSubtitle);

struct Buttons {
    QHBoxLayout* layout = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* connect = nullptr;
};

Buttons buttons(QWidget* sheet);

} // namespace ondrel::sheetparts
