#pragma once

#include "wifi/nl80211/KernelRadio.h"

#include <chrono>

namespace ondrel {

// The kernel's figures through nl80211 (generic netlink, libnl-genl-3). It
// asks only what any user may: the scan results (NL80211_CMD_GET_SCAN), the
// survey (NL80211_CMD_GET_SURVEY) and the stations (NL80211_CMD_GET_STATION),
// each as a dump; it never starts a scan, which stays the daemon's.
//
// Each read opens a netlink socket of its own, so reads from several threads
// never share one. A scan-results failure fails the reading; a driver that
// has no survey or no station gives empty lists.
class Nl80211Radio final : public KernelRadio {
public:
    // `timeout` bounds each wait for the kernel's next message.
    explicit Nl80211Radio(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    KernelReading read(const QString& interface, bool withScanResults) override;

private:
    std::chrono::milliseconds timeout_;
};

} // namespace ondrel
