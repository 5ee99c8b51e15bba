#include "wifi/LocationAuth.h"

#include "localization/DebugLog.h"
#include "wifi/LocationProvider.h"
#include "wifi/SsidText.h"

namespace ondrel {

LocationAuth::LocationAuth(LocationProvider* provider, QObject* parent) : QObject(parent), provider_(provider)
{
    if (!provider_) {
        provider_ = LocationProvider::create().release();
        ownsProvider_ = true;
    }
    status_ = provider_->authorizationStatus();
    QObject::connect(provider_, &LocationProvider::authorizationChanged, this,
                     &LocationAuth::providerChanged);
    QObject::connect(provider_, &LocationProvider::failed, this, &LocationAuth::providerFailed);
}

LocationAuth::~LocationAuth()
{
    if (ownsProvider_)
        delete provider_;
}

bool LocationAuth::servicesEnabled() const
{
    return provider_->servicesEnabled();
}

void LocationAuth::requestPermission()
{
    provider_->requestWhenInUse();
    provider_->startUpdates();
}

void LocationAuth::providerChanged()
{
    // Read at once, apply on a later turn of the main loop.
    const int status = provider_->authorizationStatus();
    QMetaObject::invokeMethod(
        this,
        [this, status] {
            const bool changed = status != status_;
            status_ = status;
            if (changed)
                Q_EMIT statusChanged(status);
            debugLog(QStringLiteral("許可の状態が変わりました status=%1").arg(status));
            if (status != 0)
                provider_->stopUpdates();
        },
        Qt::QueuedConnection);
}

void LocationAuth::providerFailed(const QString& description)
{
    debugLog(QStringLiteral("位置情報の失敗: ") + visibleText(description));
}

} // namespace ondrel
