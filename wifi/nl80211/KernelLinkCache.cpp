#include "wifi/nl80211/KernelLinkCache.h"

namespace ondrel {

KernelLinkCache::KernelLinkCache(std::shared_ptr<KernelRadio> radio)
    : KernelLinkCache(std::move(radio), Limits{})
{
}

KernelLinkCache::KernelLinkCache(std::shared_ptr<KernelRadio> radio, Limits limits)
    : radio_(std::move(radio)), limits_(limits), thread_([this] { run(); })
{
}

KernelLinkCache::~KernelLinkCache()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::optional<KernelReading> KernelLinkCache::latest(const QString& interface) const
{
    std::lock_guard lock(mutex_);
    if (!reading_ || interface_ != interface ||
        std::chrono::steady_clock::now() - reading_->readAt > limits_.maxAge)
        return std::nullopt;
    return reading_;
}

void KernelLinkCache::refreshSoon(const QString& interface)
{
    {
        std::lock_guard lock(mutex_);
        if (requested_ || busy_)
            return;
        if (reading_ && interface_ == interface &&
            std::chrono::steady_clock::now() - reading_->readAt < limits_.minInterval)
            return;
        requested_ = interface;
    }
    wake_.notify_all();
}

bool KernelLinkCache::refreshAndWait(const QString& interface, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    // A reading under way began before this request: the one after it counts.
    const quint64 wanted = generation_ + (busy_ ? 2 : 1);
    requested_ = interface;
    wake_.notify_all();
    return kept_.wait_for(lock, limit, [&] { return generation_ >= wanted && interface_ == interface; });
}

void KernelLinkCache::keep(const QString& interface, const KernelReading& full)
{
    // Only the link's part is kept.
    KernelReading reading;
    reading.failure = full.failure;
    reading.surveys = full.surveys;
    reading.stations = full.stations;
    reading.readAt = full.readAt;
    {
        std::lock_guard lock(mutex_);
        // A newer one may be kept already; it serves as well.
        if (!reading_ || interface_ != interface || reading_->readAt <= reading.readAt) {
            interface_ = interface;
            reading_ = std::move(reading);
        }
        ++generation_;
    }
    kept_.notify_all();
}

void KernelLinkCache::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || requested_; });
        if (stopping_)
            return;
        const QString interface = *requested_;
        requested_.reset();
        busy_ = true;
        lock.unlock();
        keep(interface, radio_->read(interface, false));
        lock.lock();
        busy_ = false;
    }
}

} // namespace ondrel
