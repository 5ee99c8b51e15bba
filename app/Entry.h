#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ondrel {

// What the process runs, decided from the argument list alone.
struct EntryPlan {
    enum class Mode { probe, exportCsv, exportJson, speedTest, shot, help, version, windowed };

    Mode mode = Mode::windowed;
    std::optional<QString> language; // value of "--lang", applied before the mode
    QString path;                    // "--export-csv", "--export-json" or "--shot" target
    bool json = false;               // "--json" anywhere, with "--probe" or "--speedtest"
    bool settings = false;           // "--settings" anywhere (with "--shot")

    bool operator==(const EntryPlan&) const = default;
};

// Tests the options in their fixed order: "--probe", "--lang" V,
// "--export-csv" P, "--export-json" P, "--speedtest", "--shot" P, then
// "--help" and "--version", otherwise the windowed application. "--json"
// is no mode: it changes the output of "--probe" and "--speedtest" and
// means nothing to the others. Options match whole,
// case-sensitive arguments (element 0 included); a value is the argument
// after the option's first occurrence, whatever it is; a value-taking
// option that stands last is passed over.
EntryPlan planEntry(const QStringList& args);

// Runs the plan's mode and returns the process's exit status.
int runEntry(int argc, char** argv);

} // namespace ondrel
