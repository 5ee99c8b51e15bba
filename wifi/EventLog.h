#pragma once

#include <QDeadlineTimer>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace ondrel {

// The announcements a backend's copy of its daemon's state received, in
// order, for the slow operations that wait for one of them ("the scan has
// ended", "the station is connected"), plus a counter of every change for
// waits on a condition. Safe from any thread; a wait blocks only its caller.
//
// A waiter takes mark() before it acts, so that nothing announced between its
// call and its wait can slip past it.
template <typename Event> class EventLog {
public:
    // The sequence number of the latest event; events after it are "new".
    quint64 mark() const
    {
        std::lock_guard lock(mutex_);
        return sequence_;
    }

    // Appends an event (its `sequence` set here) and wakes every waiter.
    void push(Event event)
    {
        std::lock_guard lock(mutex_);
        event.sequence = ++sequence_;
        events_.push_back(std::move(event));
        if (events_.size() > kLimit)
            events_.pop_front();
        ++changes_;
        condition_.notify_all();
    }

    // Wakes the waiters of waitUntil(): something they may check changed.
    void changed()
    {
        std::lock_guard lock(mutex_);
        ++changes_;
        condition_.notify_all();
    }

    // The first event after `after` that `accept` takes, or nothing when the
    // deadline passed first (or the log was cancelled). `after` moves past
    // every event looked at.
    std::optional<Event> waitForEvent(quint64& after, const std::function<bool(const Event&)>& accept,
                                      QDeadlineTimer deadline) const
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            for (const Event& event : events_) {
                if (event.sequence <= after)
                    continue;
                after = event.sequence;
                if (accept(event))
                    return event;
            }
            if (deadline.hasExpired() || cancelled_)
                return std::nullopt;
            const quint64 seen = sequence_;
            condition_.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(),
                                  [&] { return sequence_ != seen || cancelled_; });
        }
    }

    // Waits until `holds` (which may take other locks, never this log's) is
    // true, checking after every change, up to the deadline.
    bool waitUntil(const std::function<bool()>& holds, QDeadlineTimer deadline) const
    {
        for (;;) {
            quint64 seen;
            {
                std::lock_guard lock(mutex_);
                seen = changes_;
            }
            if (holds())
                return true;
            std::unique_lock lock(mutex_);
            if (deadline.hasExpired() || cancelled_)
                return false;
            condition_.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(),
                                  [&] { return changes_ != seen || cancelled_; });
        }
    }

    // Ends every wait at once and makes later ones return at once (as on
    // time-out): the backend is going away.
    void cancel()
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        condition_.notify_all();
    }

    bool isCancelled() const
    {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }

private:
    // Waits look back no further than one operation (tens of seconds).
    static constexpr std::size_t kLimit = 4096;

    mutable std::mutex mutex_;
    mutable std::condition_variable condition_;
    std::deque<Event> events_;
    quint64 sequence_ = 0;
    quint64 changes_ = 0;
    bool cancelled_ = false;
};

} // namespace ondrel
