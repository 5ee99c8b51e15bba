#pragma once

#include <QAbstractButton>

namespace ondrel {

// An on/off switch drawn as a rounded track with a knob, for the settings
// pages' Boolean rows. It is a checkable button: toggled(bool) announces a
// change, Space flips it, and its accessible name is the row's label.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace ondrel
