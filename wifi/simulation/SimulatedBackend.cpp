#include "wifi/simulation/SimulatedBackend.h"

#include <thread>

namespace ondrel {

namespace {

SystemError notFound()
{
    return SystemError(kSimulatedFailureDomain, 53, QStringLiteral("The Wi-Fi network could not be found."));
}

} // namespace

SimulatedBackend::SimulatedBackend(SimulationScenario scenario) : scenario_(std::move(scenario)) {}

bool SimulatedBackend::hasInterface() const
{
    std::lock_guard lock(mutex_);
    return scenario_.interfaceName.has_value();
}

std::optional<QString> SimulatedBackend::interfaceName() const
{
    std::lock_guard lock(mutex_);
    return scenario_.interfaceName;
}

bool SimulatedBackend::isPoweredOn() const
{
    std::lock_guard lock(mutex_);
    return scenario_.interfaceName && scenario_.poweredOn;
}

Association SimulatedBackend::currentAssociation() const
{
    std::lock_guard lock(mutex_);
    return scenario_.current.value_or(Association());
}

QList<QByteArray> SimulatedBackend::savedSsids() const
{
    std::lock_guard lock(mutex_);
    return scenario_.savedNetworks;
}

ScanResult SimulatedBackend::scan()
{
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mutex_);
        delay = scenario_.scanDelay;
    }
    std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    if (scenario_.scanError)
        return {{}, scenario_.scanError};
    ScanResult result;
    for (const SimulationScenario::Network& network : std::as_const(scenario_.networks))
        result.accessPoints.append(network.accessPoint);
    return result;
}

std::optional<SystemError> SimulatedBackend::join(const AccessPoint& accessPoint,
                                                  const std::optional<QString>& password)
{
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mutex_);
        delay = scenario_.joinDelay;
    }
    std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    if (!scenario_.poweredOn)
        return notFound();
    const SimulationScenario::Network* target = nullptr;
    for (const SimulationScenario::Network& network : std::as_const(scenario_.networks)) {
        if (network.accessPoint.handle == accessPoint.handle)
            target = &network;
    }
    if (!target)
        return notFound();
    if (target->joinError)
        return target->joinError;
    const AccessPoint& ap = target->accessPoint;
    // The system keeps the secret of a saved network, so a join without a
    // password works for it; a password given must be the right one.
    const bool saved = !ap.ssidBytes.isEmpty() && scenario_.savedNetworks.contains(ap.ssidBytes);
    if (target->password) {
        const bool accepted = password ? *password == *target->password : saved;
        if (!accepted)
            return target->wrongPasswordError;
    }
    Association current;
    current.ssid = ap.ssid;
    current.bssid = ap.bssid;
    current.rssi = ap.rssi;
    current.noise = ap.noise;
    current.rssiSource = ap.sources.rssi;
    current.noiseSource = ap.sources.noise;
    current.txRate = target->txRate;
    current.channel = ap.channel;
    scenario_.current = current;
    if (!ap.ssidBytes.isEmpty() && !saved)
        scenario_.savedNetworks.append(ap.ssidBytes);
    return std::nullopt;
}

void SimulatedBackend::disconnect()
{
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mutex_);
        delay = scenario_.disconnectDelay;
    }
    std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    scenario_.current.reset();
}

std::optional<SystemError> SimulatedBackend::setPower(bool on)
{
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mutex_);
        delay = scenario_.powerDelay;
    }
    std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    if (scenario_.powerError)
        return scenario_.powerError;
    scenario_.poweredOn = on;
    if (!on)
        scenario_.current.reset();
    return std::nullopt;
}

} // namespace ondrel
