#pragma once

#include <QWidget>

namespace ondrel {

// One line of plain text that shortens itself (in the middle by default)
// when it is wider than the space it gets, and never asks for more width
// than its minimum. Line breaks and other control characters in the text
// are shown as spaces, so that a hostile network name stays on one line.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    // The text as drawn at the current width.
    QString shownText() const;
    void setElideMode(Qt::TextElideMode mode);
    void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The text with every control character replaced by a space.
    static QString singleLine(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();

    QString text_;
    Qt::TextElideMode mode_ = Qt::ElideMiddle;
    Qt::Alignment alignment_ = Qt::AlignLeading | Qt::AlignVCenter;
};

} // namespace ondrel
