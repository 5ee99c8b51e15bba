#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace ondrel {

// One section of a settings page: a header, a rounded card of rows with thin
// dividers between them, and an optional footnote below the card.
class FormSection : public QWidget {
    Q_OBJECT
public:
    // An empty header leaves the section with its card alone.
    explicit FormSection(const QString& header, QWidget* parent = nullptr);

    // Appends or inserts a row; the card takes ownership.
    void addRow(QWidget* row);
    void insertRow(int index, QWidget* row);
    int rowCount() const;

    // The footnote in the small secondary style; empty hides it.
    void setFooter(const QString& text);
    QLabel* footer() const { return footer_; }
    QLabel* header() const { return header_; }

    // A row with `label` at the leading edge and `control` at the trailing
    // edge; the label becomes the accessible name of a control that is not
    // itself a label (a value keeps its text).
    static QWidget* labeledRow(const QString& label, QWidget* control);
    // An empty row with the card's paddings, for custom content.
    static QWidget* plainRow();

private:
    QLabel* header_;
    QWidget* card_;
    QVBoxLayout* rows_;
    QLabel* footer_;
};

} // namespace ondrel
