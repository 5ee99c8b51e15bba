#include "wifi/LocationProvider.h"

#include "wifi/simulation/SimulatedLocationProvider.h"
#include "wifi/simulation/SimulationScenario.h"
#include "wifi/SystemLocationProvider.h"

namespace ondrel {

std::unique_ptr<LocationProvider> LocationProvider::create(QObject* parent)
{
    if (const std::optional<SimulationScenario> scenario = SimulationScenario::fromEnvironment()) {
        return std::make_unique<SimulatedLocationProvider>(scenario->locationStatus, scenario->locationAnswer,
                                                           scenario->locationAnswerDelay,
                                                           scenario->locationServicesEnabled, parent);
    }
    return std::make_unique<SystemLocationProvider>(parent);
}

} // namespace ondrel
