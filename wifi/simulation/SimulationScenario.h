#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/SystemError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace ondrel {

// A simulated radio environment, read from a JSON scenario file (the format
// is described in docs/simulation.md).
struct SimulationScenario {
    // One simulated access point and how it answers a join.
    struct Network {
        AccessPoint accessPoint;
        // A hidden access point's real name, which a join by name finds it
        // by; empty when it has none (or broadcasts its name).
        QByteArray hiddenSsid;
        double txRate = 0.0; // Mbit/s while associated with it
        // The password that joins it; absent for a network that needs none.
        std::optional<QString> password;
        // The failure a missing or wrong password gives.
        SystemError wrongPasswordError;
        // A failure every join gives, whatever the password.
        std::optional<SystemError> joinError;
    };

    std::optional<QString> interfaceName; // absent: no Wi-Fi interface
    bool poweredOn = true;
    std::optional<Association> current;
    QList<QByteArray> savedNetworks; // exact SSIDs of the saved profiles
    QList<Network> networks;
    std::optional<SystemError> scanError;  // every scan fails with it
    std::optional<SystemError> powerError; // every power switch fails with it

    // How long each slow operation takes.
    std::chrono::milliseconds scanDelay{0};
    std::chrono::milliseconds joinDelay{0};
    std::chrono::milliseconds disconnectDelay{0};
    std::chrono::milliseconds powerDelay{0};

    // Location permission: the status at start (0 to 4), the status a
    // simulated user answers a request with, and after how long.
    int locationStatus = 3;
    int locationAnswer = 3;
    std::chrono::milliseconds locationAnswerDelay{0};
    bool locationServicesEnabled = true;

    // Reads a scenario. On failure returns nothing and sets `problem`.
    static std::optional<SimulationScenario> fromJson(const QByteArray& json, QString* problem = nullptr);
    static std::optional<SimulationScenario> fromFile(const QString& path, QString* problem = nullptr);
    // The scenario named by ONDREL_WIFI_SIMULATION, read once per process;
    // absent when the variable is unset. A file that cannot be read is
    // reported once on standard error and simulates a computer without Wi-Fi.
    static std::optional<SimulationScenario> fromEnvironment();
};

// The error domain of the failures the simulated radios make up when a
// scenario does not give its own: NetworkManager's device state reasons,
// as the real backend reports them.
inline const QString kSimulatedFailureDomain =
    QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");

} // namespace ondrel
