#include "app/JsonOutput.h"

#include "app/TerminalText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ondrel {

namespace {

// `text` with every lone surrogate (the bytes of a name that are not UTF-8,
// see ssidFromBytes) as U+FFFD, so that every string is valid Unicode for
// strict readers; the bytes themselves go in "ssidHex".
QString validText(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QJsonValue validValue(const QJsonValue& value)
{
    if (value.isString())
        return validText(value.toString());
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& item : value.toArray())
            array.append(validValue(item));
        return array;
    }
    if (value.isObject()) {
        QJsonObject object;
        const QJsonObject source = value.toObject();
        for (auto it = source.begin(); it != source.end(); ++it)
            object.insert(validText(it.key()), validValue(it.value()));
        return object;
    }
    return value;
}

} // namespace

QByteArray jsonText(const QJsonObject& object)
{
    const QString text =
        QString::fromUtf8(QJsonDocument(validValue(object).toObject()).toJson(QJsonDocument::Indented));
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // QJsonDocument has escaped the ASCII controls inside strings, so the
        // ones left are the layout's line feeds; everything beyond ASCII is
        // inside a string. A character that the terminal escaping would show
        // as an escape on its own (controls, bidirectional and other
        // invisible format characters, separators, tag characters, …) is
        // written as \uXXXX (a pair of them above U+FFFF), so that no name
        // acts or hides a part. Combining marks stay: alone they are escaped
        // only for want of a base.
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (text[i].unicode() >= 0x7f && terminalSafe(character) != character &&
            !QChar::isMark(character.toUcs4().value(0))) {
            for (const QChar unit : character)
                out += QStringLiteral("\\u%1").arg(unit.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            out += character;
        }
        i += length - 1;
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

QString responsivenessToken(Responsiveness grade)
{
    switch (grade) {
    case Responsiveness::excellent:
        return QStringLiteral("excellent");
    case Responsiveness::good:
        return QStringLiteral("good");
    case Responsiveness::fair:
        return QStringLiteral("fair");
    case Responsiveness::poor:
        break;
    }
    return QStringLiteral("poor");
}

static void insertUnderLoad(QJsonObject& object, const std::optional<LoadedLatency>& download,
                            const std::optional<LoadedLatency>& upload, const LatencyUnderLoad& figures)
{
    const auto number = [](std::optional<qint64> value) {
        return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
    };
    for (const auto& [prefix, phase] : {std::pair("download", download), std::pair("upload", upload)}) {
        object.insert(QLatin1String(prefix) + QLatin1String("LatencyMs"),
                      number(phase ? std::optional(phase->latencyMs) : std::nullopt));
        object.insert(QLatin1String(prefix) + QLatin1String("JitterMs"),
                      number(phase ? std::optional(phase->jitterMs) : std::nullopt));
    }
    object.insert(QStringLiteral("addedLatencyMs"), number(figures.addedMs));
    object.insert(QStringLiteral("responsiveness"), figures.grade
                                                        ? QJsonValue(responsivenessToken(*figures.grade))
                                                        : QJsonValue(QJsonValue::Null));
}

QJsonValue textOrNull(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject networkJson(const ScannedNetwork& network, bool saved, bool current)
{
    const bool named = network.ssid && !network.ssid->isEmpty();
    const QByteArray bytes = network.ssidBytes();
    // The text loses the bytes that are not UTF-8, and many readers drop a
    // leading byte-order mark: then the bytes come along.
    const bool lossy = named && (bytes != network.ssid->toUtf8() || network.ssid->startsWith(QChar(0xfeff)));
    return {
        {QStringLiteral("ssid"), named ? QJsonValue(*network.ssid) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("ssidHex"),
         lossy ? QJsonValue(QString::fromLatin1(bytes.toHex())) : QJsonValue(QJsonValue::Null)},
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
    insertUnderLoad(object, entry.downloadLatency, entry.uploadLatency, entry.underLoad());
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
    QJsonObject figures{
        {QStringLiteral("date"),
         finished ? QJsonValue(result.date.toUTC().toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("latencyMs"), result.latencyMs},
        {QStringLiteral("jitterMs"), result.jitterMs},
        {QStringLiteral("downloadMbps"), result.downloadMbps},
        {QStringLiteral("uploadMbps"), result.uploadMbps},
        {QStringLiteral("bytes"), result.bytes},
    };
    insertUnderLoad(figures, result.downloadLatency, result.uploadLatency, result.underLoad());
    return {
        {QStringLiteral("format"), QString::fromLatin1(kSpeedTestFormat)},
        {QStringLiteral("network"), currentNetworkJson(status)},
        {QStringLiteral("outcome"), outcome},
        {QStringLiteral("error"), error},
        {QStringLiteral("result"), figures},
        {QStringLiteral("entry"), entry ? QJsonValue(entryJson(*entry)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("saved"), entry && saved},
    };
}

} // namespace ondrel
