#pragma once

#include "speed/SpeedTest.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace ondrel {

class OndrelApp;

// The modes the program entry hands over to. Each runs on the main thread
// with the application object already created and returns the process's
// exit status.

// Network table and join by name ("--probe", "--connect", "--password",
// "--hidden", "--security"), or with "--json" the same as one JSON report.
int runProbe(const QStringList& args);
// Writes the speed history as CSV to `path` ("--export-csv").
int runExportCsv(const QString& path);
// Writes the speed history as JSON to `path`, or to standard output for "-"
// ("--export-json").
int runExportJson(const QString& path);
// One speed test from the command line ("--speedtest"); with `json` the
// result is one JSON report on standard output.
int runSpeedTestProbe(bool json = false);
// The factor by which ONDREL_SPEEDTEST_DURATION's value, whole seconds from
// 1 to 17, shortens the download and upload phases of "--speedtest" (17
// seconds together, warm-ups included); nothing for any other value.
std::optional<double> speedTestScale(const QByteArray& seconds);
// The program's lengths of a speed test, shortened as ONDREL_SPEEDTEST_DURATION
// asks; the speed test window measures with them too.
SpeedTest::Options speedTestOptions();
// Renders a window to a PNG file ("--shot"); `args` for "--history" etc.
int runShot(const QString& path, bool settings, const QStringList& args);
// The windowed application's own windows: the history, the settings and the
// speed test's lengths.
void installWindows(OndrelApp& app);
// The windowed application; needs a QApplication.
int runWindowedApp();

} // namespace ondrel
