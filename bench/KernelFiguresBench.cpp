// The kernel's radio figures: how long it takes to turn a scan dump of 500
// BSSs (their nl80211 messages, with the elements that hostapd sent in the
// Wi-Fi lab) plus a survey and the link into figures merged into 500 access
// points (goal: at most 1 ms), and the whole scan-to-list time through the
// NetworkManager backend against python-dbusmock's NetworkManager, with that
// dump read and merged on every scan and without the reader (goal: within
// 5 % of without).
//
// Usage: bench_kernel_figures [access points, default 500] [rounds, default 21]

#include "store/NetworkListBuilder.h"
#include "tests/wifi/networkmanager/MockNetworkManager.h"
#include "tests/wifi/nl80211/Nl80211MessageBuilder.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/nl80211/KernelFigures.h"
#include "wifi/nl80211/Nl80211Messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ondrel;
using namespace ondrel::testing;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

const uint kFrequencies[] = {2412, 2437, 2462, 5180, 5500, 5745, 5955, 6115};

QString bssidOf(int i)
{
    return QString::asprintf("02:00:%02x:%02x:%02x:01", i >> 16 & 0xff, i >> 8 & 0xff, i & 0xff);
}

// The lab's captured elements, cycled; their SSID element replaced by the
// access point's own name so that every BSS merges.
QList<QByteArray> capturedElements()
{
    QList<QByteArray> out;
    QFile file(QStringLiteral(ONDREL_SOURCE_DIR "/tests/wifi/nl80211/beacons/lab.json"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QJsonValue& v : QJsonDocument::fromJson(file.readAll()).array())
            out << QByteArray::fromHex(v.toObject()[QStringLiteral("elements")].toString().toLatin1());
    }
    return out;
}

QByteArray withName(const QByteArray& elements, const QByteArray& ssid)
{
    QByteArray rest = elements;
    if (rest.size() >= 2 && rest[0] == 0)
        rest.remove(0, 2 + quint8(rest[1]));
    return QByteArray(1, 0) + QByteArray(1, char(ssid.size())) + ssid + rest;
}

QByteArray nameOf(int i)
{
    return i % 11 ? QStringLiteral("Network %1").arg(i / 3).toUtf8() : QByteArray();
}

// A kernel that answers with the same prepared messages every time and
// parses them on each read, as the real reader parses the kernel's.
class ReplayRadio final : public KernelRadio {
public:
    std::vector<NlMessage> bsses, surveys, stations;

    KernelReading read(const QString&, bool withScanResults) override
    {
        KernelReading reading;
        reading.readAt = std::chrono::steady_clock::now();
        if (withScanResults) {
            reading.bsses.reserve(qsizetype(bsses.size()));
            for (const NlMessage& m : bsses)
                if (std::optional<KernelBss> b = nl80211::bssFromMessage(nlmsg_hdr(m.get())))
                    reading.bsses.append(std::move(*b));
        }
        for (const NlMessage& m : surveys)
            if (std::optional<ChannelSurvey> s = nl80211::surveyFromMessage(nlmsg_hdr(m.get())))
                reading.surveys.append(*s);
        for (const NlMessage& m : stations)
            if (std::optional<KernelStation> s = nl80211::stationFromMessage(nlmsg_hdr(m.get())))
                reading.stations.append(*s);
        return reading;
    }
};

class AbsentRadio final : public KernelRadio {
public:
    KernelReading read(const QString&, bool) override
    {
        KernelReading reading;
        reading.failure = KernelFailure::noFamily;
        return reading;
    }
};

std::shared_ptr<ReplayRadio> replay(int count, qsizetype* elementBytes)
{
    auto radio = std::make_shared<ReplayRadio>();
    QList<QByteArray> captured = capturedElements();
    if (captured.isEmpty())
        captured << QByteArray::fromHex("010882848b960c12182403010107064445200d1414") +
                        QByteArray::fromHex("3d16010500000000000000000000000000000000000000");
    *elementBytes = 0;
    for (int i = 0; i < count; ++i) {
        BssMessage m;
        const QStringList parts = bssidOf(i).split(QLatin1Char(':'));
        for (int k = 0; k < 6; ++k)
            m.bssid[size_t(k)] = quint8(parts[k].toUInt(nullptr, 16));
        m.frequency = kFrequencies[i % 8];
        m.signalMbm = -2500 - i * 13 % 7000;
        m.seenMsAgo = quint32(i * 37 % 20000);
        m.elements = withName(captured[i % captured.size()], nameOf(i));
        m.beacon = m.elements;
        *elementBytes += m.elements->size();
        radio->bsses.push_back(m.build());
    }
    for (uint f : kFrequencies) {
        NlMessage s = nlMessage(NL80211_CMD_NEW_SURVEY_RESULTS);
        nlattr* nest = nla_nest_start(s.get(), NL80211_ATTR_SURVEY_INFO);
        nla_put_u32(s.get(), NL80211_SURVEY_INFO_FREQUENCY, f);
        nla_put_u8(s.get(), NL80211_SURVEY_INFO_NOISE, quint8(-92));
        nla_nest_end(s.get(), nest);
        radio->surveys.push_back(std::move(s));
    }
    return radio;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 21;

    qsizetype elementBytes = 0;
    const std::shared_ptr<ReplayRadio> radio = replay(count, &elementBytes);

    // 1. The dump into figures, without any bus.
    QList<AccessPoint> daemonAps;
    for (int i = 0; i < count; ++i) {
        AccessPoint ap;
        ap.ssidBytes = nameOf(i);
        ap.bssid = bssidOf(i).toUpper();
        ap.channel = ChannelInfo{1, 1, 0, int(kFrequencies[i % 8])};
        daemonAps << ap;
    }
    std::vector<double> parseMs;
    int merged = 0;
    for (int r = 0; r < rounds * 5; ++r) {
        QList<AccessPoint> aps = daemonAps;
        QElapsedTimer clock;
        clock.start();
        const KernelReading reading = radio->read(QStringLiteral("wlan0"), true);
        mergeKernelFigures(aps, reading);
        parseMs.push_back(clock.nsecsElapsed() / 1e6);
        merged = int(std::ranges::count(aps, FigureSource::scanDump,
                                        [](const AccessPoint& a) { return a.sources.rssi; }));
    }

    // 2. Scan to list through the backend, with and without the reader,
    // alternating so that both see the same load on the machine.
    test::MockNetworkManager nm;
    if (!nm.busRunning() || !nm.start({{QStringLiteral("ScanMs"), 0}})) {
        std::fprintf(stderr, "could not start the NetworkManager mock\n");
        return 2;
    }
    const QString device = nm.addWirelessDevice();
    for (int i = 0; i < count; ++i)
        nm.addAccessPoint(device, {.ssid = nameOf(i),
                                   .bssid = bssidOf(i),
                                   .frequency = kFrequencies[i % 8],
                                   .strength = uchar(i * 7 % 101),
                                   .rsn = i % 3 ? 0x188u : 0u,
                                   .bandwidth = 0,
                                   .flags = i % 3 ? 1u : 0u});
    NetworkManagerBackend withReader(NetworkManagerBackend::Limits{}, radio);
    NetworkManagerBackend without(NetworkManagerBackend::Limits{}, std::make_shared<AbsentRadio>());
    if (!withReader.hasInterface() || !without.hasInterface()) {
        std::fprintf(stderr, "the backend sees no interface\n");
        return 2;
    }
    const auto scanToList = [](NetworkManagerBackend& backend, int* listed, int* fromKernel) {
        QElapsedTimer clock;
        clock.start();
        const ScanResult result = backend.scan();
        QList<ScannedNetwork> records;
        records.reserve(result.accessPoints.size());
        for (const AccessPoint& ap : result.accessPoints)
            records << ScannedNetwork::fromAccessPoint(ap);
        const QList<ScannedNetwork> list = buildNetworkList(records, NetworkListInputs{});
        const double ms = clock.nsecsElapsed() / 1e6;
        *listed = int(list.size());
        *fromKernel = int(std::ranges::count(records, FigureSource::scanDump,
                                             [](const ScannedNetwork& n) { return n.sources.rssi; }));
        return ms;
    };
    std::vector<double> withMs, withoutMs;
    int listedWith = 0, listedWithout = 0, kernelWith = 0, kernelWithout = 0;
    for (int r = 0; r < rounds + 2; ++r) {
        const double a = scanToList(without, &listedWithout, &kernelWithout);
        const double b = scanToList(withReader, &listedWith, &kernelWith);
        if (r >= 2) { // the first rounds warm the caches
            withoutMs.push_back(a);
            withMs.push_back(b);
        }
    }
    const double parse = median(parseMs);
    const double with = median(withMs), withoutReader = median(withoutMs);
    const double extra = 100.0 * (with - withoutReader) / withoutReader;
    std::printf(
        "dump of %d BSSs (%lld bytes of elements) plus %zu channels into figures merged into %d access "
        "points: median %.3f ms over %zu runs (goal 1 ms); %d merged\n",
        count, qlonglong(elementBytes), radio->surveys.size(), count, parse, parseMs.size(), merged);
    std::printf(
        "scan to list of %d access points: without the reader median %.1f ms, with it %.1f ms (%+.1f %%, "
        "goal within 5 %%); listed %d and %d rows, %d and %d signals from the kernel\n",
        count, withoutReader, with, extra, listedWithout, listedWith, kernelWithout, kernelWith);
    const bool ok =
        parse <= 1.0 && extra <= 5.0 && merged == count && kernelWith == count && kernelWithout == 0;
    return ok ? 0 : 1;
}
