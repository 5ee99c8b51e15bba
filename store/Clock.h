#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

namespace ondrel {

// The time the program's timers, phases and stamps go by. The program runs
// on system(); a test hands its objects a clock that it advances itself, so
// that seconds of timers and phases pass at once.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // A repeating timer; destroying it stops it.
    class Timer {
    public:
        virtual ~Timer() = default;
    };

    virtual ~Clock() = default;
    // Monotonic time, for durations.
    virtual TimePoint now() const = 0;
    // The calendar time, for stamps.
    virtual QDateTime utcNow() const = 0;
    // Calls `fire` on the calling thread every `interval` until the timer goes.
    virtual std::unique_ptr<Timer> repeat(std::chrono::milliseconds interval, std::function<void()> fire) = 0;

    // The steady clock, the system's calendar and precise QTimers.
    static Clock& system();
};

} // namespace ondrel
