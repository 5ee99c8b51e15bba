#pragma once

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QVBoxLayout;

namespace ondrel {

class Prefs;
class ToggleSwitch;

// One page of the settings window: a column of form sections whose controls
// write the preferences at once and follow them when they change elsewhere
// (refresh). Gives the pages their pickers, switches and paragraphs.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    // `prefs` must outlive the page.
    explicit SettingsPage(Prefs& prefs, QWidget* parent = nullptr);

    // Shows the preferences' current values.
    virtual void refresh();

protected:
    // The column the page's sections go into.
    QVBoxLayout* column() const { return column_; }

    // A picker whose items carry their values as data.
    static QComboBox* picker(const char* name);
    // Selects the item whose data equals `value` without announcing it.
    static void select(QComboBox* box, const QVariant& value);
    // A paragraph of small secondary text.
    static QLabel* paragraph(const QString& text);
    // A switch that writes a preference and is set from it on refresh.
    ToggleSwitch* toggle(const char* name, std::function<bool(const Prefs&)> get,
                         std::function<void(Prefs&, bool)> set);

    Prefs& prefs_;

private:
    QVBoxLayout* column_;
    QList<QPair<ToggleSwitch*, std::function<bool(const Prefs&)>>> toggles_;
};

} // namespace ondrel
