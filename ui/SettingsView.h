#pragma once

#include "localization/AppLanguage.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;

namespace ondrel {

class FormSection;
class LocationAuth;
class Prefs;
class ToggleSwitch;
class WiFiStore;

// The settings window's content: three pages (General, List, About) whose
// controls write the preferences at once; there is no Apply step. Every
// control follows the preferences when they change elsewhere, and the whole
// content is built again in the new language after a language change.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 520;

    // `tab` selects the first page shown (0 General, 1 List, 2 About); other
    // values leave the first page selected.
    // `store` and `location` may be null (no rows of theirs then) and must
    // otherwise outlive the view. The interface name comes from the shared
    // Wi-Fi engine.
    SettingsView(Prefs& prefs, WiFiStore* store, LocationAuth* location, int tab = 0,
                 QWidget* parent = nullptr);

    int tab() const;
    void setTab(int tab);

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
    void build();
    void buildPermissionRow();
    void buildAboutRows();
    void refreshStatusRows();
    void refresh();
    void refreshFavorites();
    QWidget* page(QWidget* content);
    QWidget* buildGeneral();
    QWidget* buildList();
    QWidget* buildAbout();
    ToggleSwitch* toggle(const char* name, std::function<bool(const Prefs&)> get,
                         std::function<void(Prefs&, bool)> set);

    Prefs& prefs_;
    QPointer<WiFiStore> store_;
    QPointer<LocationAuth> location_;
    QLabel* interfaceValue_ = nullptr;
    QWidget* bssidRow_ = nullptr;
    QLabel* bssidValue_ = nullptr;
    QLabel* permissionValue_ = nullptr;
    QPushButton* permissionButton_ = nullptr;
    AppLanguage builtLanguage_;
    int initialTab_;
    QWidget* content_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QStackedWidget* pages_ = nullptr;

    QComboBox* refreshPicker_ = nullptr;
    QComboBox* languagePicker_ = nullptr;
    QComboBox* sortPicker_ = nullptr;
    QComboBox* orderPicker_ = nullptr;
    QComboBox* unitPicker_ = nullptr;
    QList<QPair<ToggleSwitch*, std::function<bool(const Prefs&)>>> toggles_;
    FormSection* permissions_ = nullptr;
    FormSection* about_ = nullptr;
    FormSection* favoritesSection_ = nullptr;
    int favoritesFirstRow_ = 0;
    QList<QPointer<QWidget>> favoriteRows_;
    QStringList shownFavorites_;
};

} // namespace ondrel
