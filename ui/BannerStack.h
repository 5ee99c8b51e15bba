#pragma once

#include "ui/ContentDecisions.h"

#include <QString>
#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace ondrel {

class Banner;
class LocationAuth;
class WiFiStore;

// The main window's message strips, top to bottom: at most one status
// banner (no interface, radio off, location access missing; the first that
// holds wins) and the error banner with the store's last failure.
class BannerStack : public QWidget {
    Q_OBJECT
public:
    // `store` and `location` must outlive the stack.
    BannerStack(WiFiStore& store, LocationAuth& location, QWidget* parent = nullptr);

    // Shows the banners the store and the permission call for now; true
    // when a banner came or went.
    bool refresh();
    // The banners shown, status banner first.
    QList<Banner*> banners() const;

private:
    void locationAction();

    WiFiStore& store_;
    LocationAuth& location_;
    QVBoxLayout* layout_;
    Banner* statusBanner_ = nullptr;
    Banner* errorBanner_ = nullptr;
    StatusBanner statusBannerKey_ = StatusBanner::none;
    std::optional<QString> errorBannerText_;
    std::optional<QString> errorBannerName_;
};

} // namespace ondrel
