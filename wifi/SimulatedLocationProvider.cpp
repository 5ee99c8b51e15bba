#include "wifi/SimulatedLocationProvider.h"

#include "wifi/SimulationScenario.h"
#include "wifi/SystemLocationProvider.h"

#include <QPointer>
#include <QTimer>

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

SimulatedLocationProvider::SimulatedLocationProvider(int status, int answer, std::chrono::milliseconds answerDelay,
                                                     bool servicesEnabled, QObject* parent)
    : LocationProvider(parent), status_(status), answer_(answer), answerDelay_(answerDelay),
      servicesEnabled_(servicesEnabled)
{
}

void SimulatedLocationProvider::requestWhenInUse()
{
    if (status_ != 0 || asked_)
        return;
    asked_ = true;
    QTimer::singleShot(answerDelay_, this, [this] { changeStatus(answer_); });
}

void SimulatedLocationProvider::changeStatus(int status)
{
    status_ = status;
    Q_EMIT authorizationChanged();
}

void SimulatedLocationProvider::failUpdates(const QString& description)
{
    Q_EMIT failed(description);
}

} // namespace ondrel
