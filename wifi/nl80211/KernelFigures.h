#pragma once

#include "wifi/AccessPoint.h"
#include "wifi/nl80211/KernelRadio.h"

#include <QList>

#include <chrono>

// How the kernel's figures join a daemon's view: by BSSID, figure by
// figure, leaving the daemon's own figure wherever the kernel has none.
// Plain functions over plain values.
namespace ondrel {

// Entries of the kernel's scan results older than this are not used: the
// kernel itself drops unused entries after 30 seconds.
inline constexpr std::chrono::milliseconds kKernelBssStaleAfter{30000};

// Gives each access point the kernel's figures of the same BSSID (on the
// same frequency, when the access point has one; not when the kernel's
// elements name another network):
// - rssi: the BSS's signal (scanDump), or the link's (station) for the access
//   point of the current link;
// - noise: the survey's noise floor of its channel (survey);
// - the width: from the elements (elements), else the daemon's stays;
// - countryCode, stationCount and utilization: from the elements
//   (elements).
// A failed reading, a BSS absent from it or older than `staleAfter` leaves
// the access point as the daemon reported it.
void mergeKernelFigures(QList<AccessPoint>& accessPoints, const KernelReading& reading,
                        std::chrono::milliseconds staleAfter = kKernelBssStaleAfter);

// The association with the link's signal (the station of its BSSID) and
// the noise of its channel from the survey; unchanged where the reading has
// neither.
Association withLinkFigures(Association association, const KernelReading& reading);

} // namespace ondrel
