#include "wifi/nl80211/Nl80211Messages.h"

#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>

#include <array>
#include <cmath>
#include <initializer_list>

namespace ondrel::nl80211 {

namespace {

constexpr int kMacLength = 6;

// A policy for attributes 0 to Max: each listed attribute with its type and
// minimum length, the others unchecked. Each is built once, since a dump
// brings one message per BSS.
struct Rule {
    int attribute;
    uint16_t type;
    uint16_t minlen = 0;
};
template <int Max> std::array<nla_policy, Max + 1> policyOf(std::initializer_list<Rule> rules)
{
    std::array<nla_policy, Max + 1> policy{};
    for (const Rule& rule : rules) {
        policy[rule.attribute].type = rule.type;
        policy[rule.attribute].minlen = rule.minlen;
    }
    return policy;
}

// The top-level attributes of the message, checked as `policy` says; false
// when the message is malformed.
bool parseTop(nlmsghdr* header, nlattr** attributes)
{
    if (!genlmsg_valid_hdr(header, 0))
        return false;
    static const auto policy = policyOf<NL80211_ATTR_MAX>({{NL80211_ATTR_BSS, NLA_NESTED},
                                                           {NL80211_ATTR_SURVEY_INFO, NLA_NESTED},
                                                           {NL80211_ATTR_STA_INFO, NLA_NESTED},
                                                           {NL80211_ATTR_MAC, NLA_UNSPEC, kMacLength}});
    return genlmsg_parse(header, 0, attributes, NL80211_ATTR_MAX, policy.data()) == 0;
}

} // namespace

QString macText(const unsigned char* a)
{
    constexpr char kDigits[] = "0123456789abcdef";
    QString text(3 * kMacLength - 1, QLatin1Char(':'));
    for (int i = 0; i < kMacLength; ++i) {
        text[3 * i] = QLatin1Char(kDigits[a[i] >> 4]);
        text[3 * i + 1] = QLatin1Char(kDigits[a[i] & 0xf]);
    }
    return text;
}

std::optional<KernelBss> bssFromMessage(nlmsghdr* header)
{
    nlattr* top[NL80211_ATTR_MAX + 1] = {};
    if (!parseTop(header, top) || !top[NL80211_ATTR_BSS])
        return std::nullopt;
    static const auto policy = policyOf<NL80211_BSS_MAX>({{NL80211_BSS_BSSID, NLA_UNSPEC, kMacLength},
                                                          {NL80211_BSS_FREQUENCY, NLA_U32},
                                                          {NL80211_BSS_SIGNAL_MBM, NLA_U32},
                                                          {NL80211_BSS_SEEN_MS_AGO, NLA_U32},
                                                          {NL80211_BSS_STATUS, NLA_U32}});
    nlattr* bss[NL80211_BSS_MAX + 1] = {};
    if (nla_parse_nested(bss, NL80211_BSS_MAX, top[NL80211_ATTR_BSS], policy.data()) != 0 ||
        !bss[NL80211_BSS_BSSID])
        return std::nullopt;

    KernelBss out;
    out.bssid = macText(static_cast<const unsigned char*>(nla_data(bss[NL80211_BSS_BSSID])));
    if (bss[NL80211_BSS_FREQUENCY])
        out.frequencyMHz = int(nla_get_u32(bss[NL80211_BSS_FREQUENCY]));
    if (bss[NL80211_BSS_SIGNAL_MBM])
        out.signalMbm = qint32(nla_get_u32(bss[NL80211_BSS_SIGNAL_MBM]));
    if (bss[NL80211_BSS_SEEN_MS_AGO])
        out.seenAgo = std::chrono::milliseconds(nla_get_u32(bss[NL80211_BSS_SEEN_MS_AGO]));
    if (bss[NL80211_BSS_STATUS]) {
        const quint32 status = nla_get_u32(bss[NL80211_BSS_STATUS]);
        out.associated = status == NL80211_BSS_STATUS_ASSOCIATED;
    }
    // The latest frame's elements (a probe response carries a hidden
    // network's name); the beacon's where the kernel kept only those.
    nlattr* elements = bss[NL80211_BSS_INFORMATION_ELEMENTS] ? bss[NL80211_BSS_INFORMATION_ELEMENTS]
                                                             : bss[NL80211_BSS_BEACON_IES];
    if (elements)
        out.elements = QByteArray(static_cast<const char*>(nla_data(elements)), nla_len(elements));
    return out;
}

std::optional<ChannelSurvey> surveyFromMessage(nlmsghdr* header)
{
    nlattr* top[NL80211_ATTR_MAX + 1] = {};
    if (!parseTop(header, top) || !top[NL80211_ATTR_SURVEY_INFO])
        return std::nullopt;
    nla_policy policy[NL80211_SURVEY_INFO_MAX + 1] = {};
    policy[NL80211_SURVEY_INFO_FREQUENCY].type = NLA_U32;
    policy[NL80211_SURVEY_INFO_NOISE].type = NLA_U8;
    policy[NL80211_SURVEY_INFO_IN_USE].type = NLA_FLAG;
    policy[NL80211_SURVEY_INFO_TIME].type = NLA_U64;
    policy[NL80211_SURVEY_INFO_TIME_BUSY].type = NLA_U64;
    nlattr* info[NL80211_SURVEY_INFO_MAX + 1] = {};
    if (nla_parse_nested(info, NL80211_SURVEY_INFO_MAX, top[NL80211_ATTR_SURVEY_INFO], policy) != 0 ||
        !info[NL80211_SURVEY_INFO_FREQUENCY])
        return std::nullopt;
    ChannelSurvey out;
    out.frequencyMHz = int(nla_get_u32(info[NL80211_SURVEY_INFO_FREQUENCY]));
    if (info[NL80211_SURVEY_INFO_NOISE])
        out.noiseDbm = qint8(nla_get_u8(info[NL80211_SURVEY_INFO_NOISE]));
    out.inUse = info[NL80211_SURVEY_INFO_IN_USE] != nullptr;
    if (info[NL80211_SURVEY_INFO_TIME])
        out.activeMs = qint64(nla_get_u64(info[NL80211_SURVEY_INFO_TIME]));
    if (info[NL80211_SURVEY_INFO_TIME_BUSY])
        out.busyMs = qint64(nla_get_u64(info[NL80211_SURVEY_INFO_TIME_BUSY]));
    return out;
}

std::optional<KernelStation> stationFromMessage(nlmsghdr* header)
{
    nlattr* top[NL80211_ATTR_MAX + 1] = {};
    if (!parseTop(header, top) || !top[NL80211_ATTR_MAC] || !top[NL80211_ATTR_STA_INFO])
        return std::nullopt;
    nla_policy policy[NL80211_STA_INFO_MAX + 1] = {};
    policy[NL80211_STA_INFO_SIGNAL].type = NLA_U8;
    policy[NL80211_STA_INFO_SIGNAL_AVG].type = NLA_U8;
    policy[NL80211_STA_INFO_TX_BITRATE].type = NLA_NESTED;
    nlattr* info[NL80211_STA_INFO_MAX + 1] = {};
    if (nla_parse_nested(info, NL80211_STA_INFO_MAX, top[NL80211_ATTR_STA_INFO], policy) != 0)
        return std::nullopt;
    KernelStation out;
    out.bssid = macText(static_cast<const unsigned char*>(nla_data(top[NL80211_ATTR_MAC])));
    if (info[NL80211_STA_INFO_SIGNAL])
        out.signalDbm = qint8(nla_get_u8(info[NL80211_STA_INFO_SIGNAL]));
    if (info[NL80211_STA_INFO_SIGNAL_AVG])
        out.signalAverageDbm = qint8(nla_get_u8(info[NL80211_STA_INFO_SIGNAL_AVG]));
    if (info[NL80211_STA_INFO_TX_BITRATE]) {
        nla_policy ratePolicy[NL80211_RATE_INFO_MAX + 1] = {};
        ratePolicy[NL80211_RATE_INFO_BITRATE].type = NLA_U16;
        ratePolicy[NL80211_RATE_INFO_BITRATE32].type = NLA_U32;
        nlattr* rate[NL80211_RATE_INFO_MAX + 1] = {};
        if (nla_parse_nested(rate, NL80211_RATE_INFO_MAX, info[NL80211_STA_INFO_TX_BITRATE], ratePolicy) ==
            0) {
            // Units of 100 kbit/s; the 32-bit figure where rates exceed 6.5 Gbit/s.
            if (rate[NL80211_RATE_INFO_BITRATE32])
                out.txBitrateMbps = nla_get_u32(rate[NL80211_RATE_INFO_BITRATE32]) / 10.0;
            else if (rate[NL80211_RATE_INFO_BITRATE])
                out.txBitrateMbps = nla_get_u16(rate[NL80211_RATE_INFO_BITRATE]) / 10.0;
        }
    }
    return out;
}

} // namespace ondrel::nl80211
