#pragma once

#include "wifi/ScannedNetwork.h"
#include "wifi/SystemError.h"
#include "wifi/WiFiEngine.h"

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace ondrel {

// What "--probe --json" prints instead of the table and the join lines: the
// facts gathered while the probe runs, written as one JSON object (format
// "ondrel-probe/1", docs/json-output.md) when it ends.
class ProbeReport {
public:
    enum class Outcome { ok, failed, notFound, timedOut, enterprise };

    // The location permission's status code (0 not determined, 1 restricted,
    // 2 denied, 3 authorized, anything else unknown).
    void setLocation(int status);
    // The interface, and the system behind it ("networkManager", "iwd",
    // "simulation"; empty: none).
    void setInterface(const std::optional<QString>& name, const WiFiEngine::Status& status,
                      const QString& backend);
    // ok, failed (with the error) or timedOut.
    void setScan(Outcome outcome, const std::optional<SystemError>& error = std::nullopt);
    // The records in the order listed, with the saved mark by SSID bytes and the
    // current mark for the record of the status's network (by name, and by
    // BSSID when the status has one).
    void setNetworks(const QList<ScannedNetwork>& networks, const QSet<QByteArray>& saved,
                     const WiFiEngine::Status& status);
    // The join asked for with "--connect target": the record chosen (none
    // when not found or joined by name), how it ended (enterprise: refused
    // without a join), its error and the current network after. A join by
    // name ("--hidden") gives the security it asked for as `byName`.
    void setJoin(const QString& target, const ScannedNetwork* network, Outcome outcome,
                 const std::optional<SystemError>& error = std::nullopt,
                 const std::optional<QString>& current = std::nullopt,
                 std::optional<Security> byName = std::nullopt);

    // Writes the report to standard output and returns `status`, the exit
    // status the probe ends with.
    int finish(int status) const;

private:
    QJsonObject object_;
};

} // namespace ondrel
