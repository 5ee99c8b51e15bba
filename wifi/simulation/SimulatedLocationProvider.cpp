#include "wifi/simulation/SimulatedLocationProvider.h"

#include <QTimer>

namespace ondrel {

SimulatedLocationProvider::SimulatedLocationProvider(int status, int answer,
                                                     std::chrono::milliseconds answerDelay,
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
