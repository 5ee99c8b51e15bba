#pragma once

#include "wifi/simulation/SimulationScenario.h"
#include "wifi/WiFiBackend.h"

#include <mutex>

namespace ondrel {

// Simulated radios: plays a SimulationScenario. A successful join makes the
// network current and saves its name; leaving clears the current network;
// switching the radio off leaves too. Thread-safe as the seam requires.
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
    void disconnect() override;
    std::optional<SystemError> setPower(bool on) override;

private:
    mutable std::mutex mutex_;
    SimulationScenario scenario_;
};

} // namespace ondrel
