#pragma once

#include "ui/SettingsPage.h"

#include <QPointer>

namespace ondrel {

class WiFiStore;

// The settings window's About page: the version, the Wi-Fi interface's
// name, the current access point's BSSID (while there is one) and a
// paragraph on what the program does.
class AboutSettings : public SettingsPage {
    Q_OBJECT
public:
    // `store` may be null (no BSSID row then) and must otherwise outlive the
    // page. The interface name comes from the shared Wi-Fi engine.
    AboutSettings(Prefs& prefs, WiFiStore* store, QWidget* parent = nullptr);

    void refresh() override;

private:
    QPointer<WiFiStore> store_;
    QLabel* interfaceValue_ = nullptr;
    QWidget* bssidRow_ = nullptr;
    QLabel* bssidValue_ = nullptr;
};

} // namespace ondrel
