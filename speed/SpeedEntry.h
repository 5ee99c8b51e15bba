#pragma once

#include "speed/LoadedLatency.h"
#include "speed/SpeedResult.h"
#include "wifi/WiFiEngine.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

namespace ondrel {

// One stored speed measurement of a network.
struct SpeedEntry {
    QUuid id;
    QDateTime date; // when the measurement finished; stored with whole seconds
    QString ssid;
    std::optional<QString> bssid;
    qint64 rssi = 0; // signal strength in dBm during the test
    qint64 band = 0; // 24 = 2.4 GHz, 50 = 5 GHz, 60 = 6 GHz, 0 = unknown
    qint64 channel = 0;
    double downloadMbps = 0;
    double uploadMbps = 0;
    qint64 latencyMs = 0;
    qint64 jitterMs = 0;
    qint64 bytes = 0; // body bytes moved by the test, both directions
    // The latency while downloading and while uploading; none when not
    // measured (entries stored before it was, or every request failed).
    std::optional<LoadedLatency> downloadLatency;
    std::optional<LoadedLatency> uploadLatency;

    // The entry of a finished test on the network of `status`, with a new
    // identifier and the result's date (when the measurement ended, not when
    // it is stored). None when `status` names no network.
    static std::optional<SpeedEntry> measured(const SpeedResult& result, const WiFiEngine::Status& status);

    // "2.4 GHz", "5 GHz", "6 GHz", or the looked-up "Unknown" for any other code.
    QString bandLabel() const;
    LatencyUnderLoad underLoad() const
    {
        return LatencyUnderLoad::of(latencyMs, downloadLatency, uploadLatency);
    }

    // The JSON object of the history file: dates as YYYY-MM-DDTHH:MM:SSZ, the
    // identifier in upper case, "bssid" left out when absent, and the loaded
    // latencies ("downloadLatencyMs" with "downloadJitterMs", "uploadLatencyMs"
    // with "uploadJitterMs") written only when measured.
    QJsonObject toJson() const;
    // Strict decoding: every key but "bssid" and the loaded latencies present
    // with its type (whole numbers for the integer fields), the date in
    // exactly the form above. Keys beyond these are ignored; "bssid" may be
    // absent or null. A loaded latency counts only with both of its keys as
    // whole numbers from 0 up; otherwise the entry loads without it, so that
    // an odd figure never costs the rest of the history.
    static std::optional<SpeedEntry> fromJson(const QJsonValue& value);

    bool operator==(const SpeedEntry&) const = default;
};

} // namespace ondrel
