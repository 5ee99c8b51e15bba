#pragma once

#include <QWidget>

class QPainter;

namespace ondrel {

// Four bars of rising height, the first `bars` of them lit in a tint that
// says how good the signal is (green, orange, red). Hidden from
// accessibility: the text beside it carries the same information.
class SignalBars : public QWidget {
    Q_OBJECT
public:
    explicit SignalBars(QWidget* parent = nullptr);

    int bars() const { return bars_; }
    void setBars(int bars);
    // Height of the tallest bar in pixels.
    void setBarHeight(double height);

    QSize sizeHint() const override;

    // Draws the bars bottom-aligned in `rect` (21 × height), laid out from
    // left to right in either writing direction, as a signal meter is.
    static void paint(QPainter& painter, const QRectF& rect, int bars, const QPalette& palette);
    static constexpr double kWidth = 21.0;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int bars_ = 0;
    double height_ = 16.0;
};

} // namespace ondrel
