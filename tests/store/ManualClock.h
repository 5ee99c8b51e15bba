#pragma once

#include "store/Clock.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace ondrel::testing {

// A clock that stands still until the test advances it; advancing fires the timers that fall due, in
// order, each seeing its own due time as now.
class ManualClock : public Clock {
public:
    TimePoint now() const override { return now_; }
    QDateTime utcNow() const override
    {
        return QDateTime(QDate(2026, 5, 1), QTime(9, 0), Qt::UTC)
            .addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint{}).count());
    }
    std::unique_ptr<Timer> repeat(std::chrono::milliseconds interval, std::function<void()> fire) override
    {
        auto timer = std::make_shared<Entry>(Entry{interval, now_ + interval, std::move(fire)});
        timers_.push_back(timer);
        return std::make_unique<Handle>(timer);
    }
    void advance(std::chrono::milliseconds by)
    {
        const TimePoint end = now_ + by;
        for (;;) {
            std::erase_if(timers_, [](const auto& t) { return t.expired(); });
            std::shared_ptr<Entry> next;
            for (const auto& weak : timers_)
                if (auto t = weak.lock(); t && t->due <= end && (!next || t->due < next->due))
                    next = t;
            if (!next)
                break;
            now_ = next->due;
            next->due += next->interval;
            next->fire();
        }
        now_ = end;
    }
    // How many timers run.
    size_t running() const
    {
        return size_t(std::ranges::count_if(timers_, [](auto& t) { return !t.expired(); }));
    }

private:
    struct Entry {
        std::chrono::milliseconds interval;
        TimePoint due;
        std::function<void()> fire;
    };
    struct Handle : Timer {
        explicit Handle(std::shared_ptr<Entry> entry) : entry(std::move(entry)) {}
        std::shared_ptr<Entry> entry;
    };
    TimePoint now_{std::chrono::hours(1)};
    std::vector<std::weak_ptr<Entry>> timers_;
};

} // namespace ondrel::testing
