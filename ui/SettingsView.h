#pragma once

#include "localization/AppLanguage.h"

#include <QPointer>
#include <QWidget>

class QStackedWidget;
class QTabBar;

namespace ondrel {

class LocationAuth;
class Prefs;
class SettingsPage;
class WiFiStore;

// The settings window's content: three pages (General, List, About) under a
// tab bar, whose controls write the preferences at once; there is no Apply
// step. Every control follows the preferences when they change elsewhere,
// and the whole content is built again in the new language after a
// language change.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 520;

    // `tab` selects the first page shown (0 General, 1 List, 2 About); other
    // values leave the first page selected.
    // `store` and `location` may be null (no rows of theirs then) and must
    // otherwise outlive the view.
    SettingsView(Prefs& prefs, WiFiStore* store, LocationAuth* location, int tab = 0,
                 QWidget* parent = nullptr);

    int tab() const;
    void setTab(int tab);

private:
    void build();
    void refresh();

    Prefs& prefs_;
    QPointer<WiFiStore> store_;
    QPointer<LocationAuth> location_;
    AppLanguage builtLanguage_;
    int initialTab_;
    QWidget* content_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QList<SettingsPage*> pages_;
};

} // namespace ondrel
