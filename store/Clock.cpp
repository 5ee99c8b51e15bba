#include "store/Clock.h"

#include <QTimer>

namespace ondrel {

namespace {

class QtTimer : public Clock::Timer {
public:
    QtTimer(std::chrono::milliseconds interval, std::function<void()> fire) : timer_(new QTimer)
    {
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(interval);
        timer_->callOnTimeout(std::move(fire));
        timer_->start();
    }
    // The owner may stop its timer from the timer's own call.
    ~QtTimer() override
    {
        timer_->stop();
        timer_->deleteLater();
    }

private:
    QTimer* timer_;
};

class SystemClock : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    QDateTime utcNow() const override { return QDateTime::currentDateTimeUtc(); }
    std::unique_ptr<Timer> repeat(std::chrono::milliseconds interval, std::function<void()> fire) override
    {
        return std::make_unique<QtTimer>(interval, std::move(fire));
    }
};

} // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}

} // namespace ondrel
