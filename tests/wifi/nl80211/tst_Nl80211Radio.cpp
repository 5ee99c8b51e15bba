// The nl80211 reader: the kernel's dump messages (built with libnl as the kernel sends them) turned into the
// seam's values, malformed ones refused; the real reader on this machine where there is no Wi-Fi of that
// name; and the cache of the link's figures that the quick reads take.

#include "tests/wifi/nl80211/Nl80211MessageBuilder.h"
#include "wifi/nl80211/KernelLinkCache.h"
#include "wifi/nl80211/Nl80211Messages.h"
#include "wifi/nl80211/Nl80211Radio.h"

#include <QtTest>

#include <dlfcn.h>
#include <netlink/errno.h>
#include <netlink/genl/ctrl.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace ondrel;
using namespace ondrel::testing;
using namespace std::chrono_literals;

namespace {
std::atomic<bool> refuseFamily = false;
// When set, the family id the look-up answers with: no family has it, so the kernel answers each request
// with an error, and the requests the reader made are in `commands`.
std::atomic<int> unknownFamily = 0;
std::mutex commandsMutex;
QList<int> commands;
} // namespace

// libnl's look-up of the nl80211 family, answering as the kernel does when it refuses the request (EPERM)
// while refuseFamily is set.
extern "C" int genl_ctrl_resolve(nl_sock* socket, const char* name)
{
    if (refuseFamily)
        return -NLE_PERM;
    if (unknownFamily)
        return unknownFamily;
    using Resolve = int (*)(nl_sock*, const char*);
    return reinterpret_cast<Resolve>(dlsym(RTLD_NEXT, "genl_ctrl_resolve"))(socket, name);
}

// libnl's header of a request, which notes the command asked for to that family.
extern "C" void* genlmsg_put(nl_msg* message, uint32_t port, uint32_t sequence, int family, int headerLength,
                             int flags, uint8_t command, uint8_t version)
{
    if (unknownFamily && family == unknownFamily) {
        std::lock_guard lock(commandsMutex);
        commands.append(command);
    }
    using Put = void* (*)(nl_msg*, uint32_t, uint32_t, int, int, int, uint8_t, uint8_t);
    return reinterpret_cast<Put>(dlsym(RTLD_NEXT, "genlmsg_put"))(message, port, sequence, family,
                                                                  headerLength, flags, command, version);
}

namespace {

// A kernel whose readings say how many came before (in the station's signal), and which can be held inside a
// read.
class CountingRadio final : public KernelRadio {
public:
    std::atomic<int> reads{0};
    std::mutex mutex;
    std::condition_variable released;
    bool hold = false;

    KernelReading read(const QString& interface, bool withScanResults) override
    {
        const int n = ++reads;
        {
            std::unique_lock lock(mutex);
            released.wait(lock, [this] { return !hold; });
        }
        KernelReading reading;
        reading.readAt = std::chrono::steady_clock::now();
        reading.stations = {{interface, -30 - n}};
        if (withScanResults)
            reading.bsses = {{}};
        return reading;
    }
    void setHold(bool on)
    {
        {
            std::lock_guard lock(mutex);
            hold = on;
        }
        released.notify_all();
    }
};

} // namespace

class tst_Nl80211Radio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bss()
    {
        BssMessage m;
        m.bssid = {0x02, 0xAB, 0x00, 0x10, 0xfe, 0x07};
        m.frequency = 5955;
        m.signalMbm = -2749;
        m.seenMsAgo = 2500;
        m.status = NL80211_BSS_STATUS_ASSOCIATED;
        m.elements = QByteArray::fromHex("00034c6162");
        m.beacon = QByteArray::fromHex("000000");
        std::optional<KernelBss> b = nl80211::bssFromMessage(nlmsg_hdr(m.build().get()));
        QVERIFY(b);
        // The elements are the latest frame's, not the beacon's.
        QCOMPARE(std::tuple(b->bssid, b->frequencyMHz, b->signalMbm, b->seenAgo, b->associated, b->elements),
                 std::tuple(QStringLiteral("02:ab:00:10:fe:07"), 5955, std::optional<int>(-2749), 2500ms,
                            true, *m.elements));

        // A BSS the driver gives little about; only the beacon's elements.
        m = BssMessage{};
        m.signalMbm.reset();
        m.frequency.reset();
        m.status = NL80211_BSS_STATUS_AUTHENTICATED;
        m.beacon = QByteArray::fromHex("0000");
        b = nl80211::bssFromMessage(nlmsg_hdr(m.build().get()));
        QVERIFY(b);
        QCOMPARE(std::tuple(b->signalMbm, b->frequencyMHz, b->associated, b->elements),
                 std::tuple(std::optional<int>(), 0, false, QByteArray::fromHex("0000")));
        m.status = NL80211_BSS_STATUS_IBSS_JOINED; // an ad-hoc network joined: no access point's link
        QVERIFY(!nl80211::bssFromMessage(nlmsg_hdr(m.build().get()))->associated);

        // No address of six bytes: nothing.
        m = BssMessage{};
        m.bssidLength = 5;
        QVERIFY(!nl80211::bssFromMessage(nlmsg_hdr(m.build().get())));
        // A frequency too short for its type spoils the message.
        NlMessage shortFrequency = nlMessage(NL80211_CMD_NEW_SCAN_RESULTS);
        nlattr* nest = nla_nest_start(shortFrequency.get(), NL80211_ATTR_BSS);
        nla_put(shortFrequency.get(), NL80211_BSS_BSSID, 6, m.bssid.data());
        nla_put_u16(shortFrequency.get(), NL80211_BSS_FREQUENCY, 5180);
        nla_nest_end(shortFrequency.get(), nest);
        QVERIFY(!nl80211::bssFromMessage(nlmsg_hdr(shortFrequency.get())));
        // Another message altogether.
        QVERIFY(!nl80211::bssFromMessage(nlmsg_hdr(nlMessage(NL80211_CMD_NEW_SCAN_RESULTS).get())));
    }

    void survey()
    {
        // A survey message of one channel: its frequency (0: none) and noise, the rest given or not.
        const auto survey = [](quint32 frequency, bool full) {
            NlMessage m = nlMessage(NL80211_CMD_NEW_SURVEY_RESULTS);
            nlattr* nest = nla_nest_start(m.get(), NL80211_ATTR_SURVEY_INFO);
            if (frequency)
                nla_put_u32(m.get(), NL80211_SURVEY_INFO_FREQUENCY, frequency);
            if (full) {
                nla_put_u8(m.get(), NL80211_SURVEY_INFO_NOISE, quint8(-92));
                nla_put_flag(m.get(), NL80211_SURVEY_INFO_IN_USE);
                nla_put_u64(m.get(), NL80211_SURVEY_INFO_TIME, 5000);
                nla_put_u64(m.get(), NL80211_SURVEY_INFO_TIME_BUSY, 1234);
            }
            nla_nest_end(m.get(), nest);
            return nl80211::surveyFromMessage(nlmsg_hdr(m.get()));
        };
        QCOMPARE(survey(2437, true), std::optional(ChannelSurvey{2437, -92, true, 5000, 1234}));
        QCOMPARE(survey(5180, false), std::optional(ChannelSurvey{5180}));
        QVERIFY(!survey(0, true));
    }

    void station()
    {
        const quint8 mac[6] = {2, 0, 0, 0, 0x0b, 0};
        const auto build = [&](bool wide) {
            NlMessage m = nlMessage(NL80211_CMD_NEW_STATION);
            nla_put(m.get(), NL80211_ATTR_MAC, 6, mac);
            nlattr* info = nla_nest_start(m.get(), NL80211_ATTR_STA_INFO);
            nla_put_u8(m.get(), NL80211_STA_INFO_SIGNAL, quint8(-41));
            nla_put_u8(m.get(), NL80211_STA_INFO_SIGNAL_AVG, quint8(-43));
            nlattr* rate = nla_nest_start(m.get(), NL80211_STA_INFO_TX_BITRATE);
            nla_put_u16(m.get(), NL80211_RATE_INFO_BITRATE, 1445);
            if (wide)
                nla_put_u32(m.get(), NL80211_RATE_INFO_BITRATE32, 86670);
            nla_nest_end(m.get(), rate);
            nla_nest_end(m.get(), info);
            return m;
        };
        QCOMPARE(nl80211::stationFromMessage(nlmsg_hdr(build(false).get())),
                 std::optional(KernelStation{"02:00:00:00:0b:00", -41, -43, 144.5}));
        QCOMPARE(nl80211::stationFromMessage(nlmsg_hdr(build(true).get()))->txBitrateMbps, 8667.0);

        NlMessage noInfo = nlMessage(NL80211_CMD_NEW_STATION);
        nla_put(noInfo.get(), NL80211_ATTR_MAC, 6, mac);
        QVERIFY(!nl80211::stationFromMessage(nlmsg_hdr(noInfo.get())));
    }

    // Here there is no Wi-Fi: an interface that does not exist, and one that is no Wi-Fi interface, are
    // failures with a reason, never an empty success.
    void noWifiHere()
    {
        Nl80211Radio radio(200ms);
        KernelReading reading = radio.read(QStringLiteral("ondrel-none0"), true);
        QCOMPARE(reading.failure, KernelFailure::noInterface);
        QCOMPARE(radio.read(QString(), true).failure, KernelFailure::noInterface);
        reading = radio.read(QStringLiteral("lo"), true);
        QVERIFY(reading.failure == KernelFailure::noFamily || reading.failure == KernelFailure::noInterface ||
                reading.failure == KernelFailure::noPermission);
        QVERIFY(reading.bsses.isEmpty() && reading.surveys.isEmpty() && reading.stations.isEmpty());
        QVERIFY(reading.readAt != std::chrono::steady_clock::time_point{});
        refuseFamily = true;
        reading = radio.read(QStringLiteral("lo"), true);
        refuseFamily = false;
        QCOMPARE(reading.failure, KernelFailure::noPermission);

        // A read for a scan asks for the scan results first, and a failed answer ends it; a read of the link
        // never asks for them, only for the survey and the stations, whose failures leave those lists empty.
        unknownFamily = 0x7ff0;
        const auto asked = [&radio](bool withScanResults) {
            commands.clear();
            const KernelReading r = radio.read(QStringLiteral("lo"), withScanResults);
            return std::pair(r.failure, commands);
        };
        const auto [scanFailure, scanAsked] = asked(true);
        const auto [linkFailure, linkAsked] = asked(false);
        unknownFamily = 0;
        QVERIFY(scanFailure && !linkFailure);
        QCOMPARE(scanAsked, QList<int>{NL80211_CMD_GET_SCAN});
        QCOMPARE(linkAsked, (QList<int>{NL80211_CMD_GET_SURVEY, NL80211_CMD_GET_STATION}));

        // The log names each reason apart: a refused read is never told as a missing interface.
        const std::pair<KernelFailure, const char*> tokens[] = {{KernelFailure::notSupported, "notSupported"},
                                                                {KernelFailure::noFamily, "noFamily"},
                                                                {KernelFailure::noPermission, "noPermission"},
                                                                {KernelFailure::noInterface, "noInterface"},
                                                                {KernelFailure::failed, "failed"}};
        for (const auto& [failure, token] : tokens)
            QCOMPARE(failureToken(failure), QLatin1String(token));
    }

    // Quick reads get the kept reading and ask for a fresh one at most once per interval and never while one
    // is under way; a wait for a fresh reading takes one that began after it asked.
    void linkCache()
    {
        auto radio = std::make_shared<CountingRadio>();
        KernelLinkCache cache(radio, {200ms, 10s});
        QVERIFY(!cache.latest(QStringLiteral("wlan0")));
        QVERIFY(cache.refreshAndWait(QStringLiteral("wlan0"), 5s));
        QCOMPARE(radio->reads.load(), 1);
        QCOMPARE(cache.latest(QStringLiteral("wlan0"))->stations.value(0).signalDbm, -31);
        QVERIFY(!cache.latest(QStringLiteral("wlan1")));

        cache.refreshSoon(QStringLiteral("wlan0")); // the kept one is younger than 200 ms
        QTest::qWait(50);
        QCOMPARE(radio->reads.load(), 1);

        QTest::qWait(200);
        radio->setHold(true);
        cache.refreshSoon(QStringLiteral("wlan0"));
        QTRY_COMPARE(radio->reads.load(), 2);
        cache.refreshSoon(QStringLiteral("wlan0")); // one is under way
        cache.refreshSoon(QStringLiteral("wlan0"));
        std::atomic<bool> waited{false};
        std::thread waiter([&] { waited = cache.refreshAndWait(QStringLiteral("wlan0"), 5s); });
        QTest::qWait(50);
        radio->setHold(false);
        waiter.join();
        QVERIFY(waited);
        QCOMPARE(radio->reads.load(), 3); // the held one, then the one asked for during it
        QCOMPARE(cache.latest(QStringLiteral("wlan0"))->stations.value(0).signalDbm, -33);

        // A reading a scan made is kept when it is the newest, without its BSS list.
        KernelReading scanned = radio->read(QStringLiteral("wlan0"), true);
        cache.keep(QStringLiteral("wlan0"), scanned);
        QCOMPARE(cache.latest(QStringLiteral("wlan0"))->stations.value(0).signalDbm, -34);
        QVERIFY(cache.latest(QStringLiteral("wlan0"))->bsses.isEmpty());
        KernelReading older = scanned;
        older.readAt -= 1s;
        older.stations = {{"wlan0", -99}};
        cache.keep(QStringLiteral("wlan0"), older);
        QCOMPARE(cache.latest(QStringLiteral("wlan0"))->stations.value(0).signalDbm, -34);

        // Too old to hand out.
        KernelLinkCache shortLived(radio, {0ms, 100ms});
        KernelReading stale = scanned;
        stale.readAt -= 150ms;
        shortLived.keep(QStringLiteral("wlan0"), stale);
        QVERIFY(!shortLived.latest(QStringLiteral("wlan0")));
    }
};

QTEST_GUILESS_MAIN(tst_Nl80211Radio)
#include "tst_Nl80211Radio.moc"
