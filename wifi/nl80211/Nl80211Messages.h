#pragma once

#include "wifi/nl80211/KernelRadio.h"

#include <optional>

struct nlmsghdr;

// The nl80211 messages of the three dumps the reader asks for, turned into
// the seam's values. The kernel's attributes are checked against their
// types and lengths first; a message without the attributes that identify
// its subject (a BSS's address, a channel's frequency, a station's address)
// gives nothing.
namespace ondrel::nl80211 {

// One message of NL80211_CMD_GET_SCAN's dump (NL80211_ATTR_BSS).
std::optional<KernelBss> bssFromMessage(nlmsghdr* header);
// One message of NL80211_CMD_GET_SURVEY's dump (NL80211_ATTR_SURVEY_INFO).
std::optional<ChannelSurvey> surveyFromMessage(nlmsghdr* header);
// One message of NL80211_CMD_GET_STATION's dump (NL80211_ATTR_MAC and
// NL80211_ATTR_STA_INFO).
std::optional<KernelStation> stationFromMessage(nlmsghdr* header);

// Six bytes as "aa:bb:cc:dd:ee:ff".
QString macText(const unsigned char* address);

} // namespace ondrel::nl80211
