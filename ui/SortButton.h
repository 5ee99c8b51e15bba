#pragma once

#include <QToolButton>

namespace ondrel {

// The toolbar's "Sort by" button: its icon and caption, and a small chevron
// after the caption that says a menu opens, with room of its own (the
// style's menu arrow would be squeezed into the button's corner, against
// the next button). The menu opens on press.
class SortButton : public QToolButton {
    Q_OBJECT
public:
    explicit SortButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The width kept at the trailing end for the chevron.
    static constexpr int kChevronRoom = 14;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace ondrel
