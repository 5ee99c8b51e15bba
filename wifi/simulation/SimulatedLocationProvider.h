#pragma once

#include "wifi/LocationProvider.h"

#include <chrono>

namespace ondrel {

// A simulated user: the status starts as given; a request made while it is
// not determined (0) is answered with `answer` after `answerDelay`, on the
// main thread. A request made after the user has decided changes nothing,
// as on systems that ask only once.
class SimulatedLocationProvider final : public LocationProvider {
    Q_OBJECT
public:
    SimulatedLocationProvider(int status, int answer, std::chrono::milliseconds answerDelay,
                              bool servicesEnabled, QObject* parent = nullptr);

    int authorizationStatus() const override { return status_; }
    bool servicesEnabled() const override { return servicesEnabled_; }
    void requestWhenInUse() override;
    void startUpdates() override { updating_ = true; }
    void stopUpdates() override { updating_ = false; }
    bool isUpdating() const override { return updating_; }

    // Test hooks: the user changes the permission in the system settings,
    // or location updates fail.
    void changeStatus(int status);
    void failUpdates(const QString& description);

private:
    int status_;
    int answer_;
    std::chrono::milliseconds answerDelay_;
    bool servicesEnabled_;
    bool updating_ = false;
    bool asked_ = false;
};

} // namespace ondrel
