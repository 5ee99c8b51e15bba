#include "speed/SpeedEntry.h"

#include "wifi/Band.h"

#include <QRegularExpression>

#include <limits>

namespace ondrel {

namespace {

std::optional<qint64> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger() falls back to the default for fractions and out-of-range
    // values; two different defaults tell such values from real ones.
    const qint64 low = value.toInteger(std::numeric_limits<qint64>::min());
    const qint64 high = value.toInteger(std::numeric_limits<qint64>::max());
    if (low != high)
        return std::nullopt;
    return low;
}

std::optional<QDateTime> parseDate(const QJsonValue& value)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})Z$"));
    if (!value.isString())
        return std::nullopt;
    const QRegularExpressionMatch match = form.match(value.toString());
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

// A phase's loaded latency from its two keys; none unless both are whole
// numbers from 0 up.
std::optional<LoadedLatency> parseLoaded(const QJsonObject& object, QLatin1StringView latencyKey,
                                         QLatin1StringView jitterKey)
{
    const std::optional<qint64> latency = wholeNumber(object.value(latencyKey));
    const std::optional<qint64> jitter = wholeNumber(object.value(jitterKey));
    if (!latency || !jitter || *latency < 0 || *jitter < 0)
        return std::nullopt;
    return LoadedLatency{*latency, *jitter};
}

void insertLoaded(QJsonObject& object, const std::optional<LoadedLatency>& loaded,
                  QLatin1StringView latencyKey, QLatin1StringView jitterKey)
{
    if (!loaded)
        return;
    object.insert(latencyKey, loaded->latencyMs);
    object.insert(jitterKey, loaded->jitterMs);
}

const QLatin1StringView kDownloadLatency("downloadLatencyMs"), kDownloadJitter("downloadJitterMs"),
    kUploadLatency("uploadLatencyMs"), kUploadJitter("uploadJitterMs");

std::optional<QUuid> parseId(const QJsonValue& value)
{
    static const QRegularExpression form(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!value.isString() || !form.match(value.toString()).hasMatch())
        return std::nullopt;
    return QUuid::fromString(value.toString());
}

} // namespace

std::optional<SpeedEntry> SpeedEntry::measured(const SpeedResult& result, const WiFiEngine::Status& status)
{
    if (!status.ssid || status.ssid->isEmpty())
        return std::nullopt;
    SpeedEntry entry;
    entry.id = QUuid::createUuid();
    entry.date = result.date;
    entry.ssid = *status.ssid;
    entry.bssid = status.bssid;
    entry.rssi = status.rssi;
    entry.band = rawValue(status.band);
    entry.channel = status.channel;
    entry.downloadMbps = result.downloadMbps;
    entry.uploadMbps = result.uploadMbps;
    entry.latencyMs = result.latencyMs;
    entry.jitterMs = result.jitterMs;
    entry.bytes = result.bytes;
    entry.downloadLatency = result.downloadLatency;
    entry.uploadLatency = result.uploadLatency;
    return entry;
}

QString SpeedEntry::bandLabel() const
{
    const std::optional<Band> known =
        band >= 0 && band <= 60 ? bandFromRawValue(int(band)) : std::optional<Band>();
    return label(known.value_or(Band::unknown));
}

QJsonObject SpeedEntry::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper());
    object.insert(QStringLiteral("date"), date.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")));
    object.insert(QStringLiteral("ssid"), ssid);
    if (bssid)
        object.insert(QStringLiteral("bssid"), *bssid);
    object.insert(QStringLiteral("rssi"), rssi);
    object.insert(QStringLiteral("band"), band);
    object.insert(QStringLiteral("channel"), channel);
    object.insert(QStringLiteral("downloadMbps"), downloadMbps);
    object.insert(QStringLiteral("uploadMbps"), uploadMbps);
    object.insert(QStringLiteral("latencyMs"), latencyMs);
    object.insert(QStringLiteral("jitterMs"), jitterMs);
    object.insert(QStringLiteral("bytes"), bytes);
    insertLoaded(object, downloadLatency, kDownloadLatency, kDownloadJitter);
    insertLoaded(object, uploadLatency, kUploadLatency, kUploadJitter);
    return object;
}

std::optional<SpeedEntry> SpeedEntry::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    SpeedEntry entry;

    const std::optional<QUuid> id = parseId(object.value(QStringLiteral("id")));
    const std::optional<QDateTime> date = parseDate(object.value(QStringLiteral("date")));
    const QJsonValue ssid = object.value(QStringLiteral("ssid"));
    const QJsonValue bssid = object.value(QStringLiteral("bssid"));
    const QJsonValue download = object.value(QStringLiteral("downloadMbps"));
    const QJsonValue upload = object.value(QStringLiteral("uploadMbps"));
    if (!id || !date || !ssid.isString() || !download.isDouble() || !upload.isDouble())
        return std::nullopt;
    if (!bssid.isUndefined() && !bssid.isNull() && !bssid.isString())
        return std::nullopt;
    entry.id = *id;
    entry.date = *date;
    entry.ssid = ssid.toString();
    if (bssid.isString())
        entry.bssid = bssid.toString();
    entry.downloadMbps = download.toDouble();
    entry.uploadMbps = upload.toDouble();

    const std::pair<const char*, qint64*> integers[] = {
        {"rssi", &entry.rssi},           {"band", &entry.band},         {"channel", &entry.channel},
        {"latencyMs", &entry.latencyMs}, {"jitterMs", &entry.jitterMs}, {"bytes", &entry.bytes},
    };
    for (const auto& [key, field] : integers) {
        const std::optional<qint64> number = wholeNumber(object.value(QLatin1StringView(key)));
        if (!number)
            return std::nullopt;
        *field = *number;
    }
    entry.downloadLatency = parseLoaded(object, kDownloadLatency, kDownloadJitter);
    entry.uploadLatency = parseLoaded(object, kUploadLatency, kUploadJitter);
    return entry;
}

} // namespace ondrel
