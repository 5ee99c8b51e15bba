#include "wifi/simulation/SimulationScenario.h"

#include "wifi/Band.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/Security.h"
#include "wifi/SsidText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <limits>

namespace ondrel {

namespace {

// Reads the members of one JSON object, remembering the first problem.
class Reader {
public:
    Reader(const QJsonObject& object, QString where, QString* problem)
        : object_(object), where_(std::move(where)), problem_(problem)
    {
    }

    bool has(const char* key) const
    {
        return object_.contains(QLatin1String(key)) && !object_[QLatin1String(key)].isNull();
    }

    std::optional<QString> text(const char* key)
    {
        const QJsonValue value = object_[QLatin1String(key)];
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isString())
            return fail(key, "a text"), std::nullopt;
        return value.toString();
    }

    std::optional<double> number(const char* key)
    {
        const QJsonValue value = object_[QLatin1String(key)];
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isDouble())
            return fail(key, "a number"), std::nullopt;
        return value.toDouble();
    }

    std::optional<int> integer(const char* key)
    {
        const std::optional<double> value = number(key);
        if (!value)
            return std::nullopt;
        // Checked before the conversion: converting a double outside int's
        // range is undefined.
        constexpr double lowest = std::numeric_limits<int>::min();
        constexpr double highest = std::numeric_limits<int>::max();
        if (!(*value >= lowest && *value <= highest))
            return fail(key, "a whole number from -2147483648 to 2147483647"), std::nullopt;
        if (*value != std::trunc(*value))
            return fail(key, "a whole number"), std::nullopt;
        return int(*value);
    }

    bool boolean(const char* key, bool fallback)
    {
        const QJsonValue value = object_[QLatin1String(key)];
        if (value.isUndefined() || value.isNull())
            return fallback;
        if (!value.isBool())
            return fail(key, "true or false"), fallback;
        return value.toBool();
    }

    std::optional<QJsonObject> object(const char* key)
    {
        const QJsonValue value = object_[QLatin1String(key)];
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isObject())
            return fail(key, "an object"), std::nullopt;
        return value.toObject();
    }

    std::optional<QJsonArray> array(const char* key)
    {
        const QJsonValue value = object_[QLatin1String(key)];
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isArray())
            return fail(key, "a list"), std::nullopt;
        return value.toArray();
    }

    std::chrono::milliseconds millis(const char* key)
    {
        const std::optional<int> value = integer(key);
        if (value && *value < 0)
            return fail(key, "a duration of 0 or more"), std::chrono::milliseconds(0);
        return std::chrono::milliseconds(value.value_or(0));
    }

    void fail(const char* key, const char* expected)
    {
        fail(QStringLiteral("%1\"%2\" must be %3").arg(where_, QLatin1String(key), QLatin1String(expected)));
    }
    void fail(const QString& message)
    {
        if (problem_ && problem_->isEmpty())
            *problem_ = message;
    }
    bool failed() const { return problem_ && !problem_->isEmpty(); }
    const QString& where() const { return where_; }

private:
    QJsonObject object_;
    QString where_;
    QString* problem_;
};

std::optional<SystemError> readError(Reader& parent, const char* key, QString* problem)
{
    const std::optional<QJsonObject> object = parent.object(key);
    if (!object)
        return std::nullopt;
    Reader reader(*object, parent.where() + QLatin1String(key) + QLatin1Char('.'), problem);
    return SystemError(reader.text("domain").value_or(kSimulatedFailureDomain),
                       reader.integer("code").value_or(0), reader.text("description").value_or(QString()));
}

std::optional<SecurityCodes> codesOfSecurityName(const QString& name)
{
    using C = SecurityCode;
    static const QList<std::pair<QString, SecurityCodes>> table{
        {QStringLiteral("open"), {C::none}},
        {QStringLiteral("owe"), {C::owe}},
        {QStringLiteral("wep"), {C::wep}},
        {QStringLiteral("wpaPersonal"), {C::wpaPersonal}},
        {QStringLiteral("wpa2Personal"), {C::wpa2Personal}},
        {QStringLiteral("wpa2wpa3Personal"), {C::wpa2Personal, C::wpa3Personal}},
        {QStringLiteral("wpa3Personal"), {C::wpa3Personal}},
        {QStringLiteral("enterprise"), {C::wpa2Enterprise}},
        {QStringLiteral("unknown"), {}},
    };
    for (const auto& [known, codes] : table) {
        if (known == name)
            return codes;
    }
    return std::nullopt;
}

// Channel, band and width of an object that may give any of them.
std::optional<ChannelInfo> readChannel(Reader& reader)
{
    const std::optional<int> number = reader.integer("channel");
    if (!number)
        return std::nullopt;
    ChannelInfo channel;
    channel.number = *number;
    if (const std::optional<int> raw = reader.integer("band")) {
        if (const std::optional<Band> band = bandFromRawValue(*raw))
            channel.bandCode = bandCode(*band);
        else
            reader.fail("band", "24, 50, 60 or 0");
    } else {
        channel.bandCode = *number <= 14 ? 1 : 2;
    }
    channel.widthCode = codeFromWidth(reader.integer("width").value_or(0));
    return channel;
}

// Every figure the scenario gives comes from the simulation.
FigureSources figureSources(const AccessPoint& ap)
{
    const auto given = [](bool present) { return present ? FigureSource::simulation : FigureSource::none; };
    return {FigureSource::simulation, given(ap.noise != 0), given(ap.channel && ap.channel->widthCode != 0),
            given(ap.countryCode.has_value()), given(ap.stationCount || ap.utilization)};
}

// A name as bytes: the member `hexKey` gives exact bytes (for names that
// are not valid UTF-8), `textKey` a text; neither gives none.
QByteArray readBytes(Reader& reader, const char* textKey, const char* hexKey)
{
    if (const std::optional<QString> hex = reader.text(hexKey)) {
        static const QRegularExpression pairs(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!pairs.match(*hex).hasMatch())
            return reader.fail(hexKey, "hexadecimal digits in pairs"), QByteArray();
        return QByteArray::fromHex(hex->toLatin1());
    }
    return reader.text(textKey).value_or(QString()).toUtf8();
}

// The name as bytes and as text ("ssid" or "ssidHex"); neither is a hidden
// network.
void readName(Reader& reader, QByteArray* bytes, std::optional<QString>* name)
{
    *bytes = readBytes(reader, "ssid", "ssidHex");
    if (!bytes->isEmpty())
        *name = ssidFromBytes(*bytes);
}

SimulationScenario::Network readNetwork(const QJsonObject& object, int index, QString* problem)
{
    Reader reader(object, QStringLiteral("networks[%1].").arg(index), problem);
    SimulationScenario::Network network;
    AccessPoint& ap = network.accessPoint;
    readName(reader, &ap.ssidBytes, &ap.ssid);
    network.hiddenSsid = readBytes(reader, "hiddenSsid", "hiddenSsidHex");
    if (!network.hiddenSsid.isEmpty() && !ap.ssidBytes.isEmpty())
        reader.fail(QStringLiteral("%1\"hiddenSsid\" is for a network without \"ssid\"").arg(reader.where()));
    ap.bssid = reader.text("bssid");
    ap.rssi = reader.integer("rssi").value_or(-60);
    ap.noise = reader.integer("noise").value_or(0);
    ap.channel = readChannel(reader);
    ap.countryCode = reader.text("countryCode");
    ap.stationCount = reader.integer("stationCount");
    if (ap.stationCount && *ap.stationCount < 0) {
        reader.fail("stationCount", "a whole number of 0 or more");
        ap.stationCount.reset();
    }
    ap.utilization = reader.integer("utilization");
    if (ap.utilization && (*ap.utilization < 0 || *ap.utilization > 100)) {
        reader.fail("utilization", "a percentage from 0 to 100");
        ap.utilization.reset();
    }
    ap.sources = figureSources(ap);
    ap.handle = QStringLiteral("simulated/%1").arg(index);
    if (const std::optional<QJsonArray> codes = reader.array("securityCodes")) {
        for (const QJsonValue& code : *codes) {
            if (!code.isDouble() || code.toInt(-1) < 0 || code.toInt(-1) > 15)
                reader.fail("securityCodes", "a list of codes from 0 to 15");
            else
                ap.security.insert(static_cast<SecurityCode>(code.toInt()));
        }
    } else {
        const QString name = reader.text("security").value_or(QStringLiteral("open"));
        if (const std::optional<SecurityCodes> codes = codesOfSecurityName(name))
            ap.security = *codes;
        else
            reader.fail("security",
                        "open, owe, wep, wpaPersonal, wpa2Personal, wpa2wpa3Personal, wpa3Personal, "
                        "enterprise or unknown");
    }
    network.txRate =
        reader.number("txRate").value_or(ap.channel && ap.channel->bandCode == 1 ? 144.4 : 866.7);
    network.password = reader.text("password");
    network.wrongPasswordError =
        readError(reader, "wrongPasswordError", problem)
            .value_or(SystemError(kSimulatedFailureDomain, 7,
                                  QStringLiteral("Secrets were required, but not provided.")));
    network.joinError = readError(reader, "joinError", problem);
    return network;
}

// The current association: the fields given, the rest taken from the
// scenario's network with that hardware address (else the strongest of
// that name).
Association readCurrent(const QJsonObject& object, const QList<SimulationScenario::Network>& networks,
                        QString* problem)
{
    Reader reader(object, QStringLiteral("current."), problem);
    QByteArray bytes;
    std::optional<QString> name;
    readName(reader, &bytes, &name);
    const std::optional<QString> bssid = reader.text("bssid");

    const SimulationScenario::Network* match = nullptr;
    for (const SimulationScenario::Network& network : networks) {
        const AccessPoint& ap = network.accessPoint;
        if (bssid ? ap.bssid == bssid
                  : (name && ap.ssid == name && (!match || ap.rssi > match->accessPoint.rssi)))
            match = &network;
    }
    Association current;
    if (match) {
        current.ssid = match->accessPoint.ssid;
        current.bssid = match->accessPoint.bssid;
        current.rssi = match->accessPoint.rssi;
        current.noise = match->accessPoint.noise;
        current.channel = match->accessPoint.channel;
        current.txRate = match->txRate;
    }
    if (name)
        current.ssid = name;
    if (bssid)
        current.bssid = bssid;
    if (const std::optional<int> rssi = reader.integer("rssi"))
        current.rssi = *rssi;
    if (const std::optional<int> noise = reader.integer("noise"))
        current.noise = *noise;
    if (const std::optional<double> txRate = reader.number("txRate"))
        current.txRate = *txRate;
    if (reader.has("channel"))
        current.channel = readChannel(reader);
    current.rssiSource = FigureSource::simulation;
    current.noiseSource = current.noise != 0 ? FigureSource::simulation : FigureSource::none;
    if (!current.ssid && !current.bssid)
        reader.fail(QStringLiteral("\"current\" must name a network by \"ssid\" or \"bssid\""));
    return current;
}

} // namespace

std::optional<SimulationScenario> SimulationScenario::fromJson(const QByteArray& json, QString* problem)
{
    QString localProblem;
    QString* issue = problem ? problem : &localProblem;
    issue->clear();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *issue = QStringLiteral("not valid JSON (%1 at offset %2)")
                     .arg(parseError.errorString())
                     .arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *issue = QStringLiteral("the scenario must be a JSON object");
        return std::nullopt;
    }

    SimulationScenario scenario;
    Reader reader(document.object(), QString(), issue);
    scenario.interfaceName = reader.text("interface");
    scenario.poweredOn = reader.boolean("poweredOn", true);
    if (const std::optional<QJsonArray> saved = reader.array("saved")) {
        for (const QJsonValue& name : *saved) {
            if (!name.isString())
                reader.fail("saved", "a list of texts");
            scenario.savedNetworks.append(name.toString().toUtf8());
        }
    }
    if (const std::optional<QJsonArray> networks = reader.array("networks")) {
        for (qsizetype i = 0; i < networks->size(); ++i) {
            if (!networks->at(i).isObject()) {
                reader.fail(QStringLiteral("networks[%1] must be an object").arg(i));
                continue;
            }
            scenario.networks.append(readNetwork(networks->at(i).toObject(), int(i), issue));
        }
    }
    if (const std::optional<QJsonObject> current = reader.object("current"))
        scenario.current = readCurrent(*current, scenario.networks, issue);
    scenario.scanError = readError(reader, "scanError", issue);
    scenario.powerError = readError(reader, "powerError", issue);
    if (const std::optional<QJsonObject> delays = reader.object("delays")) {
        Reader delayReader(*delays, QStringLiteral("delays."), issue);
        scenario.scanDelay = delayReader.millis("scanMs");
        scenario.joinDelay = delayReader.millis("joinMs");
        scenario.disconnectDelay = delayReader.millis("disconnectMs");
        scenario.powerDelay = delayReader.millis("powerMs");
    }
    if (const std::optional<QJsonObject> location = reader.object("location")) {
        Reader locationReader(*location, QStringLiteral("location."), issue);
        scenario.locationStatus = locationReader.integer("status").value_or(3);
        scenario.locationAnswer = locationReader.integer("answer").value_or(3);
        scenario.locationAnswerDelay = locationReader.millis("answerDelayMs");
        scenario.locationServicesEnabled = locationReader.boolean("servicesEnabled", true);
    }
    if (!issue->isEmpty())
        return std::nullopt;
    return scenario;
}

std::optional<SimulationScenario> SimulationScenario::fromFile(const QString& path, QString* problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = file.errorString();
        return std::nullopt;
    }
    return fromJson(file.readAll(), problem);
}

std::optional<SimulationScenario> SimulationScenario::fromEnvironment()
{
    static const std::optional<SimulationScenario> scenario = []() -> std::optional<SimulationScenario> {
        const QString path = qEnvironmentVariable("ONDREL_WIFI_SIMULATION");
        if (path.isEmpty())
            return std::nullopt;
        QString problem;
        if (std::optional<SimulationScenario> read = fromFile(path, &problem))
            return read;
        std::fprintf(stderr, "ondrel: cannot use the Wi-Fi simulation %s: %s\n", qPrintable(path),
                     qPrintable(problem));
        SimulationScenario withoutWiFi;
        return withoutWiFi;
    }();
    return scenario;
}

} // namespace ondrel
