#pragma once

#include <QWidget>

namespace ondrel {

// One line of plain text that shortens itself (in the middle by default)
// when it is wider than the space it gets, and never asks for more width
// than its minimum. Line breaks and other control characters in the text
// are shown as spaces, so that any text stays on one line (network names
// come already escaped by screenName). The text is also its accessible name.
// The tooltip holds the whole text when it is shortened, and the detail
// line, when there is one, always.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    // A line for the tooltip and the accessible description (a network
    // name's bytes); empty for none.
    void setDetail(const QString& detail);
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
    QString detail_;
    Qt::TextElideMode mode_ = Qt::ElideMiddle;
    Qt::Alignment alignment_ = Qt::AlignLeading | Qt::AlignVCenter;
};

} // namespace ondrel
