#include "app/Entry.h"

#include "app/DebugLogFile.h"
#include "app/Modes.h"
#include "localization/LocaleSettings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>

#include <cstdio>
#include <memory>

namespace ondrel {

namespace {

// The argument after the first occurrence of `option`, if there is one.
std::optional<QString> valueAfter(const QStringList& args, const QString& option)
{
    const qsizetype index = args.indexOf(option);
    if (index < 0 || index + 1 >= args.size())
        return std::nullopt;
    return args[index + 1];
}

const char kUsage[] = "Usage: ondrel [option…]\n"
                      "Lists nearby Wi-Fi networks, joins them and measures the connection's speed.\n"
                      "Without options the window opens.\n"
                      "\n"
                      "  --probe [--connect NAME [--hidden [--security KIND]] [--password PASSWORD|-]]\n"
                      "          [--json]     print the nearby networks; join NAME (with --password -,\n"
                      "                       the password is read from standard input); enterprise\n"
                      "                       (802.1X) networks are left to the system's settings\n"
                      "  --hidden             with --connect: join NAME by name, as a network that\n"
                      "                       hides it, without looking for it in the table\n"
                      "  --security KIND      with --hidden: open, owe, wep, wpa, wpa2, wpa2wpa3 or\n"
                      "                       wpa3; without it wpa2 with a password (it also joins\n"
                      "                       WPA2/WPA3 networks), open without one\n"
                      "  --speedtest [--json] measure latency, jitter, download and upload\n"
                      "  --json               with --probe, --speedtest or --shot: print one JSON\n"
                      "                       report instead of the text lines\n"
                      "  --export-csv PATH    write the speed history as CSV to PATH\n"
                      "  --export-json PATH   write the speed history as JSON to PATH (- for standard\n"
                      "                       output)\n"
                      "  --shot PATH          render a window to a PNG file: the main window, or with\n"
                      "                       --settings [--tab N], --history or --speed another one;\n"
                      "                       with --json, print what the window gives a screen reader\n"
                      "  --lang CODE          use a language for this run only (ja, en, de, pt-BR, …)\n"
                      "  --help               show this help\n"
                      "  --version            show the version\n"
                      "\n"
                      "Environment: ONDREL_LOG=PATH appends a diagnostic log to PATH;\n"
                      "ONDREL_SPEEDTEST_URL replaces the speed service's address;\n"
                      "ONDREL_SPEEDTEST_TIME_LIMIT=SECONDS replaces --speedtest's 90-second limit;\n"
                      "ONDREL_SPEEDTEST_DURATION=SECONDS (1 to 17) shortens --speedtest's download\n"
                      "and upload, 17 seconds together, to SECONDS for a quicker, lighter test;\n"
                      "ONDREL_WIFI_SIMULATION=FILE plays the simulated radios that FILE describes.\n"
                      "See ondrel(1) for the details and the exit statuses.\n";

// The application icon at every size the build compiled in.
QIcon applicationIcon()
{
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons"));
    for (const QString& name : folder.entryList(QDir::Files))
        icon.addFile(folder.filePath(name));
    return icon;
}

} // namespace

EntryPlan planEntry(const QStringList& args)
{
    using Mode = EntryPlan::Mode;
    EntryPlan plan;
    if (args.contains(QStringLiteral("--probe"))) {
        plan.mode = Mode::probe;
        plan.json = args.contains(QStringLiteral("--json"));
        return plan;
    }
    plan.language = valueAfter(args, QStringLiteral("--lang"));
    if (const std::optional<QString> path = valueAfter(args, QStringLiteral("--export-csv"))) {
        plan.mode = Mode::exportCsv;
        plan.path = *path;
        return plan;
    }
    if (const std::optional<QString> path = valueAfter(args, QStringLiteral("--export-json"))) {
        plan.mode = Mode::exportJson;
        plan.path = *path;
        return plan;
    }
    if (args.contains(QStringLiteral("--speedtest"))) {
        plan.mode = Mode::speedTest;
        plan.json = args.contains(QStringLiteral("--json"));
        return plan;
    }
    if (const std::optional<QString> path = valueAfter(args, QStringLiteral("--shot"))) {
        plan.mode = Mode::shot;
        plan.path = *path;
        plan.settings = args.contains(QStringLiteral("--settings"));
        return plan;
    }
    if (args.contains(QStringLiteral("--help")))
        plan.mode = Mode::help;
    else if (args.contains(QStringLiteral("--version")))
        plan.mode = Mode::version;
    return plan;
}

int runEntry(int argc, char** argv)
{
    using Mode = EntryPlan::Mode;
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const EntryPlan plan = planEntry(args);

    switch (plan.mode) {
    case Mode::help:
        std::fputs(kUsage, stdout);
        return 0;
    case Mode::version:
        std::printf("ondrel %s\n", ONDREL_VERSION);
        return 0;
    default:
        break;
    }

    installDebugLogFile();
    QCoreApplication::setOrganizationName(QStringLiteral("Ondrel"));
    QCoreApplication::setApplicationName(QStringLiteral("Ondrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ONDREL_VERSION));

    // Windows need a QApplication; the shot renders them without a display.
    std::unique_ptr<QCoreApplication> app;
    if (plan.mode == Mode::shot || plan.mode == Mode::windowed) {
        const bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
        if (plan.mode == Mode::shot && !platformChosen)
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (plan.mode == Mode::windowed && !platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            // Qt would abort without a display; say what to do instead.
            std::fputs("ondrel: no graphical display found (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                       "Use --probe for the network table, or see --help.\n",
                       stderr);
            return 1;
        }
        app = std::make_unique<QApplication>(argc, argv);
        // The window manager matches the windows to the installed launcher
        // entry by this name, and shows the same icon for them.
        QGuiApplication::setDesktopFileName(QStringLiteral(ONDREL_APP_ID));
        QApplication::setWindowIcon(applicationIcon());
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    // A JSON report reads the same in every language: the few texts in it
    // for people (error descriptions) are English.
    if (plan.json)
        LocaleSettings::apply(AppLanguage::en);
    if (plan.mode == Mode::probe)
        return runProbe(args);
    if (plan.language && !plan.json)
        LocaleSettings::applyCommandLineChoice(*plan.language);
    switch (plan.mode) {
    case Mode::exportCsv:
        return runExportCsv(plan.path);
    case Mode::exportJson:
        return runExportJson(plan.path);
    case Mode::speedTest:
        return runSpeedTestProbe(plan.json);
    case Mode::shot:
        return runShot(plan.path, plan.settings, args);
    default:
        return runWindowedApp();
    }
}

} // namespace ondrel
