// ondrel_nl80211_dump INTERFACE: what the nl80211 reader reads of that interface (scan results with their raw
// information elements, survey, stations) as JSON on standard output. The Wi-Fi lab uses it to capture real
// beacons for the parser's tests and the fuzz harness's seeds.

#include "wifi/nl80211/KernelRadio.h"
#include "wifi/nl80211/Nl80211Radio.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace ondrel;

namespace {

template <typename T> QJsonValue orNull(const std::optional<T>& value)
{
    return value ? QJsonValue(double(*value)) : QJsonValue(QJsonValue::Null);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ondrel_nl80211_dump INTERFACE\n");
        return 2;
    }
    Nl80211Radio radio;
    const KernelReading reading = radio.read(QString::fromLocal8Bit(argv[1]), true);
    QJsonArray bsses, surveys, stations;
    for (const KernelBss& b : reading.bsses)
        bsses.append(QJsonObject{{"bssid", b.bssid},
                                 {"frequencyMHz", b.frequencyMHz},
                                 {"signalMbm", orNull(b.signalMbm)},
                                 {"seenMs", double(b.seenAgo.count())},
                                 {"associated", b.associated},
                                 {"elements", QString::fromLatin1(b.elements.toHex())}});
    for (const ChannelSurvey& s : reading.surveys)
        surveys.append(QJsonObject{{"frequencyMHz", s.frequencyMHz},
                                   {"noiseDbm", orNull(s.noiseDbm)},
                                   {"inUse", s.inUse},
                                   {"activeMs", orNull(s.activeMs)},
                                   {"busyMs", orNull(s.busyMs)}});
    for (const KernelStation& s : reading.stations)
        stations.append(QJsonObject{{"bssid", s.bssid},
                                    {"signalDbm", orNull(s.signalDbm)},
                                    {"signalAverageDbm", orNull(s.signalAverageDbm)},
                                    {"txBitrateMbps", orNull(s.txBitrateMbps)}});
    const QJsonObject out{{"failure", reading.failure ? QJsonValue(failureToken(*reading.failure))
                                                      : QJsonValue(QJsonValue::Null)},
                          {"bsses", bsses},
                          {"surveys", surveys},
                          {"stations", stations}};
    const QByteArray text = QJsonDocument(out).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return reading.failure ? 1 : 0;
}
