// The merge of the kernel's figures into a daemon's access points by BSSID, figure by figure, and of the
// link's into the current association.

#include "wifi/ScannedNetwork.h"
#include "wifi/nl80211/KernelFigures.h"

#include <QtTest>

using namespace ondrel;
using namespace std::chrono_literals;

namespace {

QByteArray element(int id, const QByteArray& body)
{
    return QByteArray(1, char(id)) + QByteArray(1, char(body.size())) + body;
}

// What NetworkManager reports: a signal from its percentage, no noise, a width only where it has one.
AccessPoint daemonAp(const QByteArray& ssid, const QString& bssid, int frequency, int rssi, int widthCode = 0)
{
    AccessPoint ap;
    ap.ssidBytes = ssid;
    ap.ssid = QString::fromUtf8(ssid);
    ap.bssid = bssid;
    ap.rssi = rssi;
    ap.channel = ChannelInfo{36, 2, widthCode, frequency};
    ap.sources.rssi = FigureSource::networkManager;
    if (widthCode)
        ap.sources.width = FigureSource::networkManager;
    return ap;
}

KernelBss bss(const QString& bssid, int frequency, int mbm, const QByteArray& elements,
              std::chrono::milliseconds age = 100ms)
{
    return {bssid, frequency, mbm, age, false, elements};
}

// A VHT80 beacon with a country and a BSS Load.
const QByteArray kVht80 = element(0, "Lab VHT80") + element(7, "DE ") +
                          element(11, QByteArray::fromHex("0c0050204e")) +
                          element(61, QByteArray::fromHex("2405") + QByteArray(20, 0)) +
                          element(192, QByteArray::fromHex("012a00fcff"));
// An 802.11a/g beacon: 20 MHz.
QByteArray plain(const QByteArray& ssid)
{
    return element(0, ssid) + element(1, QByteArray::fromHex("8c12"));
}

} // namespace

class tst_KernelFigures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every figure that the kernel has replaces the daemon's, and only for the access point of that BSSID;
    // the sources say which is which.
    void merge()
    {
        QList<AccessPoint> aps{
            daemonAp("Lab VHT80", "02:00:00:00:0E:00", 5180, -40), // upper case from the daemon
            daemonAp("Lab Open", "02:00:00:00:05:00", 5200, -44,
                     1), // NetworkManager's 20 MHz, no elements' width
            daemonAp("Lab Gone", "02:00:00:00:07:00", 2412, -70, 2), // not in the kernel's results
            daemonAp("Lab Old", "02:00:00:00:08:00", 2437, -75),     // too old there
            daemonAp("Lab Moved", "02:00:00:00:09:00", 2462, -80),   // there on another channel only
            daemonAp("Lab Twin", "02:00:00:00:0a:00", 5745, -66),    // its address used by another name
            daemonAp("Lab Link", "02:00:00:00:0b:00", 5500, -53),    // the current link
        };
        aps[1].channel->widthCode = 1;
        KernelReading reading;
        reading.bsses = {
            bss("02:00:00:00:0e:00", 5180, -2700, kVht80),
            bss("02:00:00:00:05:00", 5200, -4451, QByteArray()), // -44.51 dBm
            bss("02:00:00:00:08:00", 2437, -3100, plain("Lab Old"), 31s),
            bss("02:00:00:00:09:00", 2412, -3200, plain("Lab Moved")),
            bss("02:00:00:00:0a:00", 5745, -3300, element(0, "Evil Twin")),
            bss("02:00:00:00:0b:00", 5500, -4550, plain("Lab Link")),
        };
        reading.surveys = {{5180, -92}, {5200, -95}, {2437, -90},
                           {2412, -91}, {5745, -93}, {5500, -89, true}};
        reading.stations = {{"02:00:00:00:0b:00", -41, -42, 866.7}};
        mergeKernelFigures(aps, reading);

        using S = FigureSource;
        // rssi, noise, width code, country, stations, utilisation, sources
        const QList<std::tuple<int, int, int, std::optional<QString>, std::optional<int>, std::optional<int>,
                               FigureSources>>
            expected{
                {-27, -92, 3, "DE", 12, 31, {S::scanDump, S::survey, S::elements, S::elements, S::elements}},
                {-45, -95, 1, {}, {}, {}, {S::scanDump, S::survey, S::networkManager}},
                {-70, 0, 2, {}, {}, {}, {S::networkManager, S::none, S::networkManager}},
                {-75, 0, 0, {}, {}, {}, {S::networkManager}},
                {-80, 0, 0, {}, {}, {}, {S::networkManager}},
                {-66, 0, 0, {}, {}, {}, {S::networkManager}},
                {-41, -89, 1, {}, {}, {}, {S::station, S::survey, S::elements}},
            };
        for (qsizetype i = 0; i < aps.size(); ++i) {
            const AccessPoint& ap = aps[i];
            QVERIFY2(std::tuple(ap.rssi, ap.noise, ap.channel->widthCode, ap.countryCode, ap.stationCount,
                                ap.utilization, ap.sources) == expected[i],
                     qPrintable(*ap.ssid));
        }
        // The record carries them on.
        const ScannedNetwork record = ScannedNetwork::fromAccessPoint(aps[0]);
        QCOMPARE(std::tuple(record.widthMHz, record.stationCount, record.sources.load),
                 std::tuple(80, std::optional<int>(12), FigureSource::elements));
    }

    // An entry exactly as old as the limit still counts; a millisecond older, it does not.
    void staleLimit()
    {
        for (const auto& [age, rssi] :
             {std::pair{kKernelBssStaleAfter, -31}, {kKernelBssStaleAfter + 1ms, -75}}) {
            QList<AccessPoint> aps{daemonAp("Lab Old", "02:00:00:00:08:00", 2437, -75)};
            KernelReading reading;
            reading.bsses = {bss("02:00:00:00:08:00", 2437, -3100, plain("Lab Old"), age)};
            mergeKernelFigures(aps, reading);
            QCOMPARE(aps[0].rssi, rssi);
        }
    }

    // A reading that failed, or one with nothing of these access points, changes nothing; a hidden network's
    // blank name is no other name.
    void leavesAlone()
    {
        const QList<AccessPoint> before{daemonAp("Lab", "02:00:00:00:01:00", 2412, -40)};
        QList<AccessPoint> aps = before;
        KernelReading failed;
        failed.failure = KernelFailure::noFamily;
        failed.bsses = {bss("02:00:00:00:01:00", 2412, -2000, plain("Lab"))};
        mergeKernelFigures(aps, failed);
        QCOMPARE(aps[0].rssi, -40);
        QCOMPARE(aps[0].sources, before[0].sources);

        AccessPoint hidden = daemonAp("Lab Hidden", "02:00:00:00:02:00", 2412, -40);
        QList<AccessPoint> withHidden{hidden};
        KernelReading blank;
        blank.bsses = {bss("02:00:00:00:02:00", 2437, -3600, element(0, QByteArray(10, 0)))};
        mergeKernelFigures(withHidden, blank); // on another channel
        QCOMPARE(withHidden[0].rssi, -40);
        withHidden[0].channel->frequencyMHz = 0; // no frequency known: any entry of that address
        mergeKernelFigures(withHidden, blank);
        QCOMPARE(withHidden[0].rssi, -36);
        QCOMPARE(withHidden[0].sources.rssi, FigureSource::scanDump);
    }

    // The current association takes the station's signal and its channel's noise, else the noise of the
    // channel in use; another link's station or a failed reading leaves it alone.
    void link()
    {
        Association association;
        association.ssid = QStringLiteral("Home");
        association.bssid = QStringLiteral("02:00:00:00:0B:00");
        association.rssi = -53;
        association.channel = ChannelInfo{100, 2, 0, 5500};
        association.rssiSource = FigureSource::networkManager;
        KernelReading reading;
        reading.stations = {{"02:00:00:00:0c:00", -30}, {"02:00:00:00:0b:00", -41, -43}};
        reading.surveys = {{5180, -92, true}, {5500, -89}};
        const Association linked = withLinkFigures(association, reading);
        QCOMPARE(std::tuple(linked.rssi, linked.noise, linked.rssiSource, linked.noiseSource),
                 std::tuple(-41, -89, FigureSource::station, FigureSource::survey));

        association.channel->frequencyMHz = 0;
        QCOMPARE(withLinkFigures(association, reading).noise, -92);

        reading.stations.removeLast();
        const Association other = withLinkFigures(association, reading);
        QCOMPARE(std::pair(other.rssi, other.rssiSource), std::pair(-53, FigureSource::networkManager));
        reading.stations = {{"02:00:00:00:0b:00", -41}};
        reading.failure = KernelFailure::noPermission;
        QCOMPARE(withLinkFigures(association, reading).rssi, -53);
    }
};

QTEST_GUILESS_MAIN(tst_KernelFigures)
#include "tst_KernelFigures.moc"
