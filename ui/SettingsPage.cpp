#include "ui/SettingsPage.h"

#include "localization/LocaleSettings.h"
#include "store/Prefs.h"
#include "ui/ToggleSwitch.h"
#include "ui/ViewStyle.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace ondrel {

SettingsPage::SettingsPage(Prefs& prefs, QWidget* parent)
    : QWidget(parent), prefs_(prefs), column_(new QVBoxLayout(this))
{
    column_->setContentsMargins(20, 16, 20, 20);
    column_->setSpacing(18);
}

void SettingsPage::refresh()
{
    for (const auto& [sw, get] : std::as_const(toggles_)) {
        const QSignalBlocker blocker(sw);
        sw->setChecked(get(prefs_));
    }
}

QComboBox* SettingsPage::picker(const char* name)
{
    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    box->setMaximumWidth(260);
    return box;
}

void SettingsPage::select(QComboBox* box, const QVariant& value)
{
    const QSignalBlocker blocker(box);
    box->setCurrentIndex(box->findData(value));
}

QLabel* SettingsPage::paragraph(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(viewstyle::font(12));
    viewstyle::setSecondary(label);
    viewstyle::alignLeading(label, LocaleSettings::isRightToLeftCache);
    return label;
}

ToggleSwitch* SettingsPage::toggle(const char* name, std::function<bool(const Prefs&)> get,
                                   std::function<void(Prefs&, bool)> set)
{
    auto* sw = new ToggleSwitch;
    sw->setObjectName(QString::fromLatin1(name));
    connect(sw, &ToggleSwitch::toggled, this, [this, set = std::move(set)](bool on) { set(prefs_, on); });
    toggles_.append({sw, std::move(get)});
    return sw;
}

} // namespace ondrel
