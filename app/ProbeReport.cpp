#include "app/ProbeReport.h"

#include "app/JsonOutput.h"

#include <QJsonArray>

namespace ondrel {

namespace {

QString outcomeToken(ProbeReport::Outcome outcome)
{
    switch (outcome) {
    case ProbeReport::Outcome::ok:
        return QStringLiteral("ok");
    case ProbeReport::Outcome::failed:
        return QStringLiteral("failed");
    case ProbeReport::Outcome::notFound:
        return QStringLiteral("notFound");
    case ProbeReport::Outcome::enterprise:
        return QStringLiteral("enterprise");
    case ProbeReport::Outcome::timedOut:
        break;
    }
    return QStringLiteral("timedOut");
}

QJsonValue errorOrNull(const std::optional<SystemError>& error)
{
    return error ? QJsonValue(errorJson(*error)) : QJsonValue(QJsonValue::Null);
}

} // namespace

void ProbeReport::setLocation(int status)
{
    static const char* const tokens[] = {"notDetermined", "restricted", "denied", "authorized"};
    object_.insert(QStringLiteral("location"),
                   QString::fromLatin1(status >= 0 && status <= 3 ? tokens[status] : "unknown"));
}

void ProbeReport::setInterface(const std::optional<QString>& name, const WiFiEngine::Status& status,
                               const QString& backend)
{
    object_.insert(QStringLiteral("backend"),
                   backend.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(backend));
    object_.insert(
        QStringLiteral("interface"),
        QJsonObject{{QStringLiteral("name"), textOrNull(name && !name->isEmpty() ? name : std::nullopt)},
                    {QStringLiteral("poweredOn"), status.poweredOn},
                    {QStringLiteral("current"), currentNetworkJson(status)}});
}

void ProbeReport::setScan(Outcome outcome, const std::optional<SystemError>& error)
{
    object_.insert(QStringLiteral("scan"), QJsonObject{{QStringLiteral("outcome"), outcomeToken(outcome)},
                                                       {QStringLiteral("error"), errorOrNull(error)}});
}

void ProbeReport::setNetworks(const QList<ScannedNetwork>& networks, const QSet<QByteArray>& saved,
                              const WiFiEngine::Status& status)
{
    QJsonArray array;
    for (const ScannedNetwork& network : networks) {
        const bool named = network.ssid && !network.ssid->isEmpty();
        const bool isSaved = named && saved.contains(network.ssidBytes());
        const bool isCurrent = named && *network.ssid == status.ssid &&
                               (!status.bssid || network.bssid.value_or(QString()).compare(
                                                     *status.bssid, Qt::CaseInsensitive) == 0);
        array.append(networkJson(network, isSaved, isCurrent));
    }
    object_.insert(QStringLiteral("networks"), array);
}

void ProbeReport::setJoin(const QString& target, const ScannedNetwork* network, Outcome outcome,
                          const std::optional<SystemError>& error, const std::optional<QString>& current,
                          std::optional<Security> byName)
{
    // The security named on the command line wins over the scanned one.
    QJsonValue security(QJsonValue::Null);
    if (byName)
        security = securityToken(*byName);
    else if (network)
        security = securityToken(network->security);
    object_.insert(QStringLiteral("join"),
                   QJsonObject{{QStringLiteral("target"), target},
                               {QStringLiteral("bssid"), textOrNull(network ? network->bssid : std::nullopt)},
                               {QStringLiteral("outcome"), outcomeToken(outcome)},
                               {QStringLiteral("error"), errorOrNull(error)},
                               {QStringLiteral("current"), textOrNull(current)},
                               {QStringLiteral("hidden"), byName.has_value()},
                               {QStringLiteral("security"), security}});
}

int ProbeReport::finish(int status) const
{
    QJsonObject object = object_;
    object.insert(QStringLiteral("format"), QString::fromLatin1(kProbeFormat));
    // Members a run did not reach are there all the same, so that scripts
    // can read every document alike.
    if (!object.contains(QLatin1String("networks")))
        object.insert(QLatin1String("networks"), QJsonArray());
    if (!object.contains(QLatin1String("join")))
        object.insert(QLatin1String("join"), QJsonValue::Null);
    writeJson(object);
    return status;
}

} // namespace ondrel
