#include "ui/ElidedLabel.h"

#include "ui/AccessibleRoles.h"
#include "ui/ViewStyle.h"

#include <QPainter>
#include <QStyle>

namespace ondrel {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(singleLine(text))
{
    installAccessibleRoles();
    setAccessibleName(text_);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateToolTip();
}

QString ElidedLabel::singleLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return out;
}

void ElidedLabel::setText(const QString& text)
{
    const QString clean = singleLine(text);
    if (clean == text_)
        return;
    text_ = clean;
    setAccessibleName(text_);
    updateToolTip();
    updateGeometry();
    update();
}

void ElidedLabel::setDetail(const QString& detail)
{
    detail_ = detail;
    updateToolTip();
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    mode_ = mode;
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    update();
}

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text_, mode_, contentsRect().width());
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(text_) + 1, fm.height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return {qMin(fm.horizontalAdvance(text_) + 1, fm.horizontalAdvance(QStringLiteral("Wi…Fi"))),
            fm.height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip()
{
    // The whole text on hover when part of it is hidden, and the detail.
    QStringList lines;
    if (shownText() != text_)
        lines.append(text_);
    if (!detail_.isEmpty())
        lines.append(detail_);
    viewstyle::setToolTip(this, lines.join(QLatin1Char('\n')), detail_);
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QString shown = shownText();
    const Qt::Alignment aligned = QStyle::visualAlignment(layoutDirection(), alignment_);
    p.drawText(contentsRect(), int(aligned) | Qt::TextSingleLine, shown);
}

} // namespace ondrel
