#pragma once

#include <QObject>
#include <QString>

namespace ondrel {

class LocationProvider;

// The windowed application's observer of the location permission: the
// status as last known, the permission request, and a log line for each
// change. Main thread only.
class LocationAuth : public QObject {
    Q_OBJECT
public:
    // Uses `provider` (not owned; it must outlive this object), or the
    // process's provider (LocationProvider::create()) when none is given.
    explicit LocationAuth(LocationProvider* provider = nullptr, QObject* parent = nullptr);
    ~LocationAuth() override;

    // 0 not determined, 1 restricted, 2 denied, 3 authorized (always),
    // 4 authorized when in use.
    int status() const { return status_; }
    // Only 3 counts; 4 does not.
    bool isAuthorized() const { return status_ == 3; }
    bool servicesEnabled() const;

    // Asks for permission: coarsest accuracy, when-in-use request, location
    // updates until the user has decided.
    void requestPermission();

    LocationProvider& provider() const { return *provider_; }

Q_SIGNALS:
    // The status has changed to `status`.
    void statusChanged(int status);

private:
    void providerChanged();
    void providerFailed(const QString& description);

    LocationProvider* provider_;
    bool ownsProvider_ = false;
    int status_ = 0;
};

} // namespace ondrel
