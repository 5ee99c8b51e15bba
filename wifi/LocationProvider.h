#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace ondrel {

// The seam to the system's location permission. Status codes: 0 not
// determined, 1 restricted, 2 denied, 3 authorized (always), 4 authorized
// when in use. Lives on the main thread; signals arrive there.
class LocationProvider : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The current authorization status.
    virtual int authorizationStatus() const = 0;
    // Whether the system's location services are on at all.
    virtual bool servicesEnabled() const = 0;
    // The permission request: coarsest accuracy, ask for when-in-use
    // permission, start location updates (whose positions nobody reads).
    virtual void requestWhenInUse() = 0;
    virtual void startUpdates() = 0;
    virtual void stopUpdates() = 0;
    virtual bool isUpdating() const = 0;

    // The provider for this process: the simulated user of the scenario
    // named by ONDREL_WIFI_SIMULATION, else the system's.
    static std::unique_ptr<LocationProvider> create(QObject* parent = nullptr);

Q_SIGNALS:
    // The authorization may have changed; read authorizationStatus().
    void authorizationChanged();
    // Location updates failed.
    void failed(const QString& description);
};

} // namespace ondrel
