#pragma once

#include "localization/AppLanguage.h"
#include "ui/SettingsPage.h"

#include <QPointer>

class QPushButton;

namespace ondrel {

class FormSection;
class LocationAuth;
class WiFiStore;

// The settings window's General page: the automatic scan interval, the
// location permission with a way to grant it, and the language.
class GeneralSettings : public SettingsPage {
    Q_OBJECT
public:
    // `store` and `location` may be null (no rows of theirs then) and must
    // otherwise outlive the page.
    GeneralSettings(Prefs& prefs, WiFiStore* store, LocationAuth* location, QWidget* parent = nullptr);

    void refresh() override;

    // A language's picker label: its own name, followed by its translation
    // coverage in percent (truncated) when the table holds less than 99.5 %
    // of the source texts. System, Japanese and English never show one.
    static QString languageLabel(AppLanguage language);
    // The same rule on given figures: `entries` of `total` source texts.
    static QString coverageLabel(const QString& label, qsizetype entries, qsizetype total);
    // The permission row's value for a location status (Allowed, Not set,
    // Not allowed).
    static QString locationStatusText(int status);

private:
    void buildPermissionRow(FormSection* section);
    void refreshPermission();

    QPointer<WiFiStore> store_;
    QPointer<LocationAuth> location_;
    QComboBox* refreshPicker_ = nullptr;
    QComboBox* languagePicker_ = nullptr;
    QLabel* permissionValue_ = nullptr;
    QPushButton* permissionButton_ = nullptr;
};

} // namespace ondrel
