#include "ui/FormSection.h"

#include "localization/LocaleSettings.h"
#include "ui/Tints.h"
#include "ui/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ondrel {

namespace {

constexpr int kRowHeight = 34;
constexpr int kInset = 12;

// The rounded, lightly tinted card behind a section's rows; it draws a
// divider above every visible row but the first.
class SectionCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette pal = palette();
        p.setPen(QPen(primaryFill(pal, 0.10), 1));
        p.setBrush(primaryFill(pal, isDark(pal) ? 0.06 : 0.035));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);

        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(primaryFill(pal, 0.10), 1));
        bool first = true;
        for (QObject* child : children()) {
            auto* row = qobject_cast<QWidget*>(child);
            if (!row || row->isHidden())
                continue;
            if (!first) {
                const int y = row->geometry().top();
                p.drawLine(kInset, y, width() - kInset, y);
            }
            first = false;
        }
    }
};

} // namespace

FormSection::FormSection(const QString& header, QWidget* parent)
    : QWidget(parent), header_(new QLabel(header, this)), card_(new SectionCard(this)),
      rows_(new QVBoxLayout(card_)), footer_(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    header_->setTextFormat(Qt::PlainText);
    header_->setFont(viewstyle::font(13, QFont::DemiBold));
    header_->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(header_);
    header_->setVisible(!header.isEmpty());

    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    layout->addWidget(card_);

    footer_->setTextFormat(Qt::PlainText);
    footer_->setWordWrap(true);
    footer_->setFont(viewstyle::font(12));
    footer_->setContentsMargins(2, 0, 2, 0);
    viewstyle::setSecondary(footer_);
    footer_->hide();
    layout->addWidget(footer_);

    viewstyle::alignLeading(header_, LocaleSettings::isRightToLeftCache);
    viewstyle::alignLeading(footer_, LocaleSettings::isRightToLeftCache);
}

void FormSection::addRow(QWidget* row)
{
    insertRow(rows_->count(), row);
}

void FormSection::insertRow(int index, QWidget* row)
{
    row->setParent(card_);
    rows_->insertWidget(index, row);
    card_->update();
}

int FormSection::rowCount() const
{
    return rows_->count();
}

void FormSection::setFooter(const QString& text)
{
    footer_->setText(text);
    footer_->setVisible(!text.isEmpty());
}

QWidget* FormSection::plainRow()
{
    auto* row = new QWidget;
    row->setMinimumHeight(kRowHeight);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(kInset, 5, kInset, 5);
    layout->setSpacing(8);
    return row;
}

QWidget* FormSection::labeledRow(const QString& label, QWidget* control)
{
    QWidget* row = plainRow();
    auto* text = new QLabel(label, row);
    text->setTextFormat(Qt::PlainText);
    text->setFont(viewstyle::font(13));
    text->setWordWrap(true);
    text->setBuddy(control);
    viewstyle::alignLeading(text, LocaleSettings::isRightToLeftCache);
    viewstyle::levelBaseline(text);
    // A control is named by its label; a value (a label itself) keeps its
    // text as its name, so that screen readers read the value, and the
    // label points to it (a "label for" relation).
    if (!qobject_cast<QLabel*>(control))
        control->setAccessibleName(label);
    auto* layout = static_cast<QHBoxLayout*>(row->layout());
    layout->addWidget(text, 1);
    layout->addWidget(control, 0, Qt::AlignVCenter);
    return row;
}

} // namespace ondrel
