#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace ondrel {

// A message strip at the top of the main window: an icon, a title, an
// optional detail line and an optional button.
class Banner : public QWidget {
    Q_OBJECT
public:
    enum class Kind { warning, error };

    Banner(Kind kind, const QString& title, const std::optional<QString>& detail = std::nullopt,
           const std::optional<QString>& actionTitle = std::nullopt, std::function<void()> action = {},
           QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    QString title() const;
    std::optional<QString> detail() const;
    // The button, present only when both a caption and an action were given.
    QPushButton* button() const { return button_; }
    // The title names the network `ssid`: its bytes go on hover and into what
    // a screen reader reads, as wherever else a name is shown.
    void describeName(const std::optional<QString>& ssid);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    Kind kind_;
    QLabel* title_ = nullptr;
    QLabel* detail_ = nullptr;
    QPushButton* button_ = nullptr;
};

} // namespace ondrel
