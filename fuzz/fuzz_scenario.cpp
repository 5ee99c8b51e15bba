// The Wi-Fi simulation's scenario file: any bytes are accepted or refused
// with a reason, and an accepted scenario runs through the simulated radios
// (scan into records, join every network with its password, scan again,
// leave, switch off).

#include "FuzzCheck.h"

#include "wifi/ScannedNetwork.h"
#include "wifi/simulation/SimulatedBackend.h"
#include "wifi/simulation/SimulationScenario.h"

#include <QByteArray>

using namespace ondrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString problem;
    std::optional<SimulationScenario> scenario = SimulationScenario::fromJson(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &problem);
    FUZZ_CHECK(scenario.has_value() == problem.isEmpty());
    if (!scenario)
        return 0;
    scenario->scanDelay = scenario->joinDelay = scenario->disconnectDelay = scenario->powerDelay = {};
    SimulatedBackend backend(*scenario);
    backend.currentAssociation();
    backend.savedSsids();
    for (const AccessPoint& accessPoint : backend.scan().accessPoints)
        ScannedNetwork::fromAccessPoint(accessPoint);
    for (const SimulationScenario::Network& network : scenario->networks)
        backend.join(network.accessPoint, network.password);
    backend.scan();
    backend.disconnect();
    backend.setPower(false);
    return 0;
}
