#include "app/JsonOutput.h"

#include "app/TerminalText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ondrel {

QByteArray jsonText(const QJsonObject& object)
{
    const QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A surrogate pair is one character and never needs escaping.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += text[i];
            out += text[++i];
            continue;
        }
        // QJsonDocument has escaped the ASCII controls inside strings, so the
        // ones left are the layout's line feeds; everything beyond ASCII is
        // inside a string. Invisible format characters (zero width space,
        // byte-order mark, …) are escaped too, so no name hides a part.
        const QString unit(text[i]);
        if (text[i].unicode() >= 0x7f &&
            (terminalSafe(unit) != unit || text[i].category() == QChar::Other_Format))
            out += QStringLiteral("\\u%1").arg(text[i].unicode(), 4, 16, QLatin1Char('0'));
        else
            out += unit;
    }
    return out.toUtf8();
}

bool writeJson(const QJsonObject& object, FILE* stream)
{
    const QByteArray bytes = jsonText(object);
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size()) &&
           std::fflush(stream) == 0;
}

QString bandToken(Band band)
{
    switch (band) {
    case Band::ghz2_4:
        return QStringLiteral("2.4GHz");
    case Band::ghz5:
        return QStringLiteral("5GHz");
    case Band::ghz6:
        return QStringLiteral("6GHz");
    case Band::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString securityToken(Security security)
{
    switch (security) {
    case Security::open:
        return QStringLiteral("open");
    case Security::owe:
        return QStringLiteral("owe");
    case Security::wep:
        return QStringLiteral("wep");
    case Security::wpaPersonal:
        return QStringLiteral("wpaPersonal");
    case Security::wpa2Personal:
        return QStringLiteral("wpa2Personal");
    case Security::wpa2wpa3Personal:
        return QStringLiteral("wpa2wpa3Personal");
    case Security::wpa3Personal:
        return QStringLiteral("wpa3Personal");
    case Security::enterprise:
        return QStringLiteral("enterprise");
    case Security::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QJsonValue textOrNull(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject networkJson(const ScannedNetwork& network, bool saved, bool current)
{
    const bool named = network.ssid && !network.ssid->isEmpty();
    // The text loses bytes that are not UTF-8 (and a leading byte-order mark).
    const bool lossy = named && !network.ssidBytes.isEmpty() && network.ssid->toUtf8() != network.ssidBytes;
    return {
        {QStringLiteral("ssid"), named ? QJsonValue(*network.ssid) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("ssidHex"),
         lossy ? QJsonValue(QString::fromLatin1(network.ssidBytes.toHex())) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("bssid"), textOrNull(network.bssid)},
        {QStringLiteral("rssi"), network.rssi},
        {QStringLiteral("noise"), network.noise},
        {QStringLiteral("channel"), network.channel},
        {QStringLiteral("band"), bandToken(network.band)},
        {QStringLiteral("widthMHz"), network.widthMHz},
        {QStringLiteral("security"), securityToken(network.security)},
        {QStringLiteral("countryCode"), textOrNull(network.countryCode)},
        {QStringLiteral("saved"), saved},
        {QStringLiteral("current"), current},
    };
}

QJsonObject entryJson(const SpeedEntry& entry)
{
    // The file's own object, with the band as a token like everywhere else
    // in this output and "bssid" always present.
    QJsonObject object = entry.toJson();
    const std::optional<Band> band =
        entry.band >= 0 && entry.band <= 60 ? bandFromRawValue(int(entry.band)) : std::nullopt;
    object.insert(QStringLiteral("band"), bandToken(band.value_or(Band::unknown)));
    object.insert(QStringLiteral("bssid"), textOrNull(entry.bssid));
    return object;
}

QJsonObject errorJson(const SystemError& error)
{
    return {
        {QStringLiteral("domain"), error.domain()},
        {QStringLiteral("code"), error.code()},
        {QStringLiteral("description"), error.description()},
    };
}

QJsonObject historyJson(const QList<SpeedEntry>& entries)
{
    QJsonArray array;
    for (const SpeedEntry& entry : entries)
        array.append(entryJson(entry));
    return {{QStringLiteral("format"), QString::fromLatin1(kHistoryFormat)},
            {QStringLiteral("entries"), array}};
}

QJsonValue currentNetworkJson(const WiFiEngine::Status& status)
{
    if (!status.ssid)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("ssid"), *status.ssid},
                       {QStringLiteral("bssid"), textOrNull(status.bssid)},
                       {QStringLiteral("rssi"), status.rssi},
                       {QStringLiteral("channel"), status.channel},
                       {QStringLiteral("band"), bandToken(status.band)}};
}

QJsonObject speedTestJson(const WiFiEngine::Status& status, const SpeedTest& test,
                          const std::optional<SpeedEntry>& entry, bool saved)
{
    const SpeedTest::Phase& phase = test.phase();
    const SpeedResult& result = test.result();
    QJsonValue error = QJsonValue::Null;
    QString outcome = QStringLiteral("timedOut");
    if (phase.kind() == SpeedTest::Phase::done) {
        outcome = QStringLiteral("done");
    } else if (phase.kind() == SpeedTest::Phase::failed) {
        outcome = QStringLiteral("failed");
        error = QJsonObject{{QStringLiteral("description"), phase.message()}};
    }
    const bool finished = result.date != SpeedResult::distantPast();
    return {
        {QStringLiteral("format"), QString::fromLatin1(kSpeedTestFormat)},
        {QStringLiteral("network"), currentNetworkJson(status)},
        {QStringLiteral("outcome"), outcome},
        {QStringLiteral("error"), error},
        {QStringLiteral("result"),
         QJsonObject{
             {QStringLiteral("date"), finished ? QJsonValue(result.date.toUTC().toString(Qt::ISODate))
                                               : QJsonValue(QJsonValue::Null)},
             {QStringLiteral("latencyMs"), result.latencyMs},
             {QStringLiteral("jitterMs"), result.jitterMs},
             {QStringLiteral("downloadMbps"), result.downloadMbps},
             {QStringLiteral("uploadMbps"), result.uploadMbps},
             {QStringLiteral("bytes"), result.bytes},
         }},
        {QStringLiteral("entry"), entry ? QJsonValue(entryJson(*entry)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("saved"), entry && saved},
    };
}

} // namespace ondrel
