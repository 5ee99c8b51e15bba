#pragma once

#include "wifi/nl80211/KernelRadio.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace ondrel {

// The kernel's figures of the current link (stations and survey), kept for
// a backend's quick reads, which must not wait for the kernel: they take
// the kept reading and ask for a fresh one, which a thread of the cache's
// own reads. A status polled every few seconds thus shows figures one poll
// old at most. Slow operations on the backend's worker thread (a scan, a
// join) may read themselves and keep() what they read.
//
// Thread-safe. The thread ends with the cache.
class KernelLinkCache {
public:
    struct Limits {
        std::chrono::milliseconds minInterval{1000}; // no new reading sooner than this after the last
        std::chrono::milliseconds maxAge{10000};     // an older reading is not handed out
    };

    explicit KernelLinkCache(std::shared_ptr<KernelRadio> radio);
    KernelLinkCache(std::shared_ptr<KernelRadio> radio, Limits limits);
    ~KernelLinkCache();
    KernelLinkCache(const KernelLinkCache&) = delete;
    KernelLinkCache& operator=(const KernelLinkCache&) = delete;

    // The kept reading of `interface`, if it is younger than maxAge. Never
    // blocks on the kernel.
    std::optional<KernelReading> latest(const QString& interface) const;
    // Asks the cache's thread for a fresh reading of `interface`, unless one
    // is under way or the kept one is younger than minInterval. Never blocks.
    void refreshSoon(const QString& interface);
    // Asks for a fresh reading at once and waits until it is kept, up to
    // `limit`; false on time-out.
    bool refreshAndWait(const QString& interface, std::chrono::milliseconds limit);
    // Keeps a reading made elsewhere (it must hold the stations and the survey).
    void keep(const QString& interface, const KernelReading& reading);

private:
    void run();

    std::shared_ptr<KernelRadio> radio_;
    Limits limits_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable kept_;
    QString interface_; // of the kept reading
    std::optional<KernelReading> reading_;
    std::optional<QString> requested_; // a reading the thread should make
    bool busy_ = false;                // the thread is reading
    quint64 generation_ = 0;           // bumped by every kept reading
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace ondrel
