#pragma once

#include "wifi/LocationProvider.h"

namespace ondrel {

// Linux does not hide network names behind a location permission: the
// status is always "authorized" (3) and a request asks nothing.
class SystemLocationProvider final : public LocationProvider {
    Q_OBJECT
public:
    using LocationProvider::LocationProvider;

    int authorizationStatus() const override { return 3; }
    bool servicesEnabled() const override { return true; }
    void requestWhenInUse() override {}
    void startUpdates() override { updating_ = true; }
    void stopUpdates() override { updating_ = false; }
    bool isUpdating() const override { return updating_; }

private:
    bool updating_ = false;
};

} // namespace ondrel
