#include "wifi/simulation/SimulatedBackend.h"

#include "wifi/SsidText.h"

#include <algorithm>
#include <thread>

namespace ondrel {

namespace {

// Whether an access point offering `offered` takes the key management that a
// join by name uses for `chosen`: WPA, WPA2 and WPA2/WPA3 that of WPA2
// (wpa-psk), WPA3 only SAE.
bool takesKeyManagement(SecurityCodes offered, Security chosen, bool hasPassword)
{
    using C = SecurityCode;
    const auto any = [&](std::initializer_list<C> codes) {
        return std::ranges::any_of(codes, [&](C code) { return offered.contains(code); });
    };
    const bool psk = any({C::wpaPersonal, C::wpaPersonalMixed, C::wpa2Personal, C::wpa3Transition});
    switch (chosen) {
    case Security::open:
        return offered.contains(C::none);
    case Security::owe:
        return any({C::owe, C::oweTransition});
    case Security::wep:
        return offered.contains(C::wep);
    case Security::wpaPersonal:
    case Security::wpa2Personal:
    case Security::wpa2wpa3Personal:
        return psk;
    case Security::wpa3Personal:
        return any({C::wpa3Personal, C::wpa3Transition});
    case Security::unknown:
        return hasPassword ? psk : offered.contains(C::none);
    case Security::enterprise:
        break;
    }
    return false;
}

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

void SimulatedBackend::waitForJoin() const
{
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mutex_);
        delay = scenario_.joinDelay;
    }
    std::this_thread::sleep_for(delay);
}

std::optional<SystemError> SimulatedBackend::join(const AccessPoint& accessPoint,
                                                  const std::optional<QString>& password)
{
    if (detectSecurity(accessPoint.security) == Security::enterprise)
        return SystemError(WiFiError::enterprise);
    waitForJoin();
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
    return joinLocked(*target, target->accessPoint.ssidBytes, password);
}

std::optional<SystemError> SimulatedBackend::joinHidden(const QByteArray& ssid, Security security,
                                                        const std::optional<QString>& password)
{
    if (security == Security::enterprise)
        return SystemError(WiFiError::enterprise);
    waitForJoin();
    std::lock_guard lock(mutex_);
    if (!scenario_.poweredOn)
        return notFound();
    const SimulationScenario::Network* target = nullptr;
    for (const SimulationScenario::Network& network : std::as_const(scenario_.networks)) {
        const AccessPoint& ap = network.accessPoint;
        const QByteArray& name = ap.ssidBytes.isEmpty() ? network.hiddenSsid : ap.ssidBytes;
        if (!ssid.isEmpty() && name == ssid &&
            takesKeyManagement(ap.security, security, password.has_value()) &&
            (!target || ap.rssi > target->accessPoint.rssi))
            target = &network;
    }
    if (!target)
        return notFound();
    return joinLocked(*target, ssid, password);
}

std::optional<SystemError> SimulatedBackend::joinLocked(const SimulationScenario::Network& target,
                                                        const QByteArray& name,
                                                        const std::optional<QString>& password)
{
    if (target.joinError)
        return target.joinError;
    const AccessPoint& ap = target.accessPoint;
    // The system keeps the secret of a saved network, so a join without a
    // password works for it; a password given must be the right one.
    const bool saved = !name.isEmpty() && scenario_.savedNetworks.contains(name);
    if (target.password) {
        const bool accepted = password ? *password == *target.password : saved;
        if (!accepted)
            return target.wrongPasswordError;
    }
    Association current;
    // A hidden network joined by name is known by that name from now on.
    current.ssid = name.isEmpty() ? std::nullopt : std::optional(ssidFromBytes(name));
    current.bssid = ap.bssid;
    current.rssi = ap.rssi;
    current.noise = ap.noise;
    current.rssiSource = ap.sources.rssi;
    current.noiseSource = ap.sources.noise;
    current.txRate = target.txRate;
    current.channel = ap.channel;
    scenario_.current = current;
    if (!name.isEmpty() && !saved)
        scenario_.savedNetworks.append(name);
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
