#include "wifi/SystemBackend.h"

#include "wifi/iwd/IwdBackend.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"

namespace ondrel {

namespace {

// Handles carry the name of the backend that made them, "NAME:HANDLE".
QString tagged(const QString& daemon, const QString& handle)
{
    return daemon + QLatin1Char(':') + handle;
}

} // namespace

std::unique_ptr<WiFiBackend> createSystemBackend()
{
    return std::make_unique<SystemBackend>(std::make_unique<NetworkManagerBackend>(),
                                           std::make_unique<IwdBackend>());
}

SystemBackend::SystemBackend(std::unique_ptr<NetworkManagerBackend> networkManager,
                             std::unique_ptr<IwdBackend> iwd)
    : networkManager_(std::move(networkManager)), iwd_(std::move(iwd))
{
}

SystemBackend::~SystemBackend() = default;

WiFiBackend* SystemBackend::active() const
{
    // NetworkManager manages the device even where iwd is its supplicant.
    if (networkManager_->hasInterface())
        return networkManager_.get();
    if (iwd_->isPresent())
        return iwd_.get();
    return nullptr;
}

bool SystemBackend::hasInterface() const
{
    WiFiBackend* backend = active();
    return backend && backend->hasInterface();
}

std::optional<QString> SystemBackend::interfaceName() const
{
    WiFiBackend* backend = active();
    return backend ? backend->interfaceName() : std::nullopt;
}

bool SystemBackend::isPoweredOn() const
{
    WiFiBackend* backend = active();
    return backend && backend->isPoweredOn();
}

Association SystemBackend::currentAssociation() const
{
    WiFiBackend* backend = active();
    return backend ? backend->currentAssociation() : Association();
}

QList<QByteArray> SystemBackend::savedSsids() const
{
    WiFiBackend* backend = active();
    return backend ? backend->savedSsids() : QList<QByteArray>();
}

QString SystemBackend::daemonName() const
{
    WiFiBackend* backend = active();
    return backend ? backend->daemonName() : QString();
}

ScanResult SystemBackend::scan()
{
    WiFiBackend* backend = active();
    if (!backend)
        return {{}, SystemError(WiFiError::noInterface)};
    ScanResult result = backend->scan();
    for (AccessPoint& ap : result.accessPoints)
        ap.handle = tagged(backend->daemonName(), ap.handle);
    return result;
}

std::optional<SystemError> SystemBackend::join(const AccessPoint& accessPoint,
                                               const std::optional<QString>& password)
{
    WiFiBackend* backend = active();
    if (!backend)
        return SystemError(WiFiError::noInterface);
    AccessPoint ap = accessPoint;
    const QString prefix = tagged(backend->daemonName(), QString());
    ap.handle = ap.handle.startsWith(prefix) ? ap.handle.mid(prefix.size()) : QString();
    return backend->join(ap, password);
}

std::optional<SystemError> SystemBackend::joinHidden(const QByteArray& ssid, Security security,
                                                     const std::optional<QString>& password)
{
    WiFiBackend* backend = active();
    return backend ? backend->joinHidden(ssid, security, password) : SystemError(WiFiError::noInterface);
}

void SystemBackend::disconnect()
{
    if (WiFiBackend* backend = active())
        backend->disconnect();
}

std::optional<SystemError> SystemBackend::setPower(bool on)
{
    WiFiBackend* backend = active();
    return backend ? backend->setPower(on) : SystemError(WiFiError::noInterface);
}

void SystemBackend::cancel()
{
    networkManager_->cancel();
    iwd_->cancel();
}

} // namespace ondrel
