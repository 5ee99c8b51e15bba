#pragma once

// nl80211 messages as the kernel sends them in its dumps, built with libnl for the message parser's tests and
// benchmark.

#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

#include <QByteArray>

#include <array>
#include <memory>
#include <optional>

namespace ondrel::testing {

using NlMessage = std::unique_ptr<nl_msg, decltype(&nlmsg_free)>;

inline NlMessage nlMessage(quint8 command)
{
    NlMessage message(nlmsg_alloc_size(65536), &nlmsg_free);
    genlmsg_put(message.get(), 0, 0, 0x1c, 0, NLM_F_MULTI, command, 0);
    return message;
}

// One BSS of a scan dump. `elements` go in NL80211_BSS_INFORMATION_ELEMENTS, `beacon` in
// NL80211_BSS_BEACON_IES.
struct BssMessage {
    std::array<quint8, 6> bssid{2, 0, 0, 0, 0, 1};
    int bssidLength = 6;
    std::optional<quint32> frequency = 5180;
    std::optional<qint32> signalMbm = -4100;
    std::optional<quint32> seenMsAgo = 120;
    std::optional<quint32> status;
    std::optional<QByteArray> elements;
    std::optional<QByteArray> beacon;

    NlMessage build() const
    {
        NlMessage message = nlMessage(NL80211_CMD_NEW_SCAN_RESULTS);
        nl_msg* m = message.get();
        nla_put_u32(m, NL80211_ATTR_IFINDEX, 3);
        nlattr* nest = nla_nest_start(m, NL80211_ATTR_BSS);
        nla_put(m, NL80211_BSS_BSSID, bssidLength, bssid.data());
        if (frequency)
            nla_put_u32(m, NL80211_BSS_FREQUENCY, *frequency);
        if (signalMbm)
            nla_put_u32(m, NL80211_BSS_SIGNAL_MBM, quint32(*signalMbm));
        if (seenMsAgo)
            nla_put_u32(m, NL80211_BSS_SEEN_MS_AGO, *seenMsAgo);
        if (status)
            nla_put_u32(m, NL80211_BSS_STATUS, *status);
        if (elements)
            nla_put(m, NL80211_BSS_INFORMATION_ELEMENTS, int(elements->size()), elements->constData());
        if (beacon)
            nla_put(m, NL80211_BSS_BEACON_IES, int(beacon->size()), beacon->constData());
        nla_nest_end(m, nest);
        return message;
    }
};

} // namespace ondrel::testing
