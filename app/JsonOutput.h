#pragma once

#include "speed/SpeedEntry.h"
#include "speed/SpeedTest.h"
#include "wifi/Band.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/Security.h"
#include "wifi/SystemError.h"
#include "wifi/WiFiEngine.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <cstdio>
#include <optional>

namespace ondrel {

// The machine-readable output of the command-line modes ("--json" and
// "--export-json"), described in docs/json-output.md with its JSON Schema.
// Every document is one object whose "format" member names its kind and
// version; a version changes only when a member changes its meaning or
// disappears. Members hold language-independent tokens and numbers; the only
// texts meant for people (error descriptions) are English.

inline constexpr char kProbeFormat[] = "ondrel-probe/1";
inline constexpr char kSpeedTestFormat[] = "ondrel-speedtest/1";
inline constexpr char kHistoryFormat[] = "ondrel-history/1";
// "--shot PATH --json": the file written and what its window gives a screen
// reader; unlike the others, its texts are the window's, in its language.
inline constexpr char kShotFormat[] = "ondrel-shot/1";

// `object` as indented UTF-8 JSON ending in a line feed, every string valid
// Unicode (a name's bytes that are not UTF-8 as U+FFFD). Besides JSON's own
// escapes, every character that terminalSafe() would escape (DEL, C1
// controls, bidirectional controls, line and paragraph separators) and every
// invisible format character is written as \uXXXX, so that the text shows on
// a terminal as it is and nothing in a name acts or hides there; a JSON
// reader gets the same strings back.
QByteArray jsonText(const QJsonObject& object);
// Writes jsonText(object) to `stream`; false when the write failed.
bool writeJson(const QJsonObject& object, FILE* stream = stdout);

// "2.4GHz", "5GHz", "6GHz" or "unknown".
QString bandToken(Band band);
// The case name: "open", "owe", "wep", "wpaPersonal", "wpa2Personal",
// "wpa2wpa3Personal", "wpa3Personal", "enterprise" or "unknown".
QString securityToken(Security security);
// "excellent", "good", "fair" or "poor".
QString responsivenessToken(Responsiveness grade);
// "networkManager", "iwd", "simulation", "scanDump", "station", "survey" or
// "elements"; null for a figure that is not reported.
QJsonValue sourceToken(FigureSource source);
// The text, or null when absent.
QJsonValue textOrNull(const std::optional<QString>& text);

// One scanned access point with the saved and current marks. "ssid" is the
// name as text, bytes that are not UTF-8 as U+FFFD (null for a hidden
// network); "ssidHex" the name's bytes in lower-case hexadecimal when the text
// may not give them back exactly (bytes that are not UTF-8, a leading
// byte-order mark, which many readers drop), otherwise null. "stationCount"
// and "utilization" come from the access point's BSS Load (null without
// it); "sources" says where each radio figure came from.
QJsonObject networkJson(const ScannedNetwork& network, bool saved, bool current);
// A stored speed measurement; the band as bandToken() of its code, and the
// latencies under load ("downloadLatencyMs", "downloadJitterMs",
// "uploadLatencyMs", "uploadJitterMs", null where not measured) with what
// they imply ("addedLatencyMs", "responsiveness" as responsivenessToken(),
// null without either phase's figure).
QJsonObject entryJson(const SpeedEntry& entry);
// {"domain", "code", "description"}.
QJsonObject errorJson(const SystemError& error);
// The whole history, newest first: {"format", "entries"}.
QJsonObject historyJson(const QList<SpeedEntry>& entries);
// The status's current network {"ssid", "bssid", "rssi", "noise", "channel",
// "band", "sources": {"rssi", "noise"}}, or null when there is none.
QJsonValue currentNetworkJson(const WiFiEngine::Status& status);
// The report of "--speedtest --json": the network at the start, how the test
// ended ("done", "failed" with the error, or "timedOut" when the time limit
// passed first), its figures (with those under load, as in entryJson), and
// the entry added to the history (null when none) with whether the history
// file was written.
QJsonObject speedTestJson(const WiFiEngine::Status& status, const SpeedTest& test,
                          const std::optional<SpeedEntry>& entry, bool saved);

} // namespace ondrel
