#pragma once

#include "wifi/WiFiBackend.h"
#include "wifi/simulation/SimulationScenario.h"

#include <mutex>

namespace ondrel {

// Simulated radios: plays a SimulationScenario. A successful join makes the
// network current and saves its name; leaving clears the current network;
// switching the radio off leaves too. A join by name finds the strongest
// access point that broadcasts the name or hides it (its hiddenSsid) and
// offers the key management of the security asked for, as a supplicant
// probing for the name would. Thread-safe as the seam requires.
class SimulatedBackend final : public WiFiBackend {
public:
    explicit SimulatedBackend(SimulationScenario scenario);

    bool hasInterface() const override;
    std::optional<QString> interfaceName() const override;
    bool isPoweredOn() const override;
    Association currentAssociation() const override;
    QList<QByteArray> savedSsids() const override;
    QString daemonName() const override { return QStringLiteral("simulation"); }

    ScanResult scan() override;
    std::optional<SystemError> join(const AccessPoint& accessPoint,
                                    const std::optional<QString>& password) override;
    std::optional<SystemError> joinHidden(const QByteArray& ssid, Security security,
                                          const std::optional<QString>& password) override;
    void disconnect() override;
    std::optional<SystemError> setPower(bool on) override;

private:
    void waitForJoin() const;
    // Joins `target` known by `name` (empty: unknown) with the password;
    // the caller holds mutex_.
    std::optional<SystemError> joinLocked(const SimulationScenario::Network& target, const QByteArray& name,
                                          const std::optional<QString>& password);

    mutable std::mutex mutex_;
    SimulationScenario scenario_;
};

} // namespace ondrel
