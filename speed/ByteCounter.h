#pragma once

#include <QtGlobal>

#include <mutex>

namespace ondrel {

// Body bytes moved by a speed test. The transfer thread adds, the main thread
// reads and resets; both sides take the one lock.
class ByteCounter {
public:
    // Adds `count` bytes to both the phase count and the lifetime count.
    void add(qint64 count)
    {
        std::lock_guard lock(mutex_);
        bytes_ += count;
        lifetime_ += count;
    }
    // Bytes since the last resetBytes() (the current throughput phase).
    qint64 bytes() const
    {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    // Bytes since the last resetAll() (the whole test).
    qint64 lifetime() const
    {
        std::lock_guard lock(mutex_);
        return lifetime_;
    }
    void resetBytes()
    {
        std::lock_guard lock(mutex_);
        bytes_ = 0;
    }
    void resetAll()
    {
        std::lock_guard lock(mutex_);
        bytes_ = 0;
        lifetime_ = 0;
    }

private:
    mutable std::mutex mutex_;
    qint64 bytes_ = 0;
    qint64 lifetime_ = 0;
};

} // namespace ondrel
