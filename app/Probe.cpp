// "--probe": lists the nearby networks as a table and optionally joins one
// by name ("--connect NAME", "--password PASSWORD" or "--password -" to read
// it from standard input); with "--hidden" ("--security KIND") the name is
// joined as a network that hides it, without looking for it in the table.
// Enterprise (802.1X) networks are never joined. Its texts are fixed;
// "--lang" does not apply. With "--json" the table and the join lines give
// way to one JSON report.

#include "app/Modes.h"
#include "app/ProbeReport.h"
#include "app/TerminalText.h"
#include "localization/Lookup.h"
#include "wifi/LocationProvider.h"
#include "wifi/SsidText.h"
#include "wifi/WiFiEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace ondrel {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kPermissionWait = 60s;
constexpr std::chrono::milliseconds kScanWait = 30s;
constexpr std::chrono::milliseconds kJoinWait = 45s;
constexpr std::chrono::milliseconds kSlice = 200ms;

// Turns the main loop in slices of at most 0.2 s until `done` holds or the
// time limit has passed; wake() ends the current slice early.
class MainLoopWait {
public:
    bool until(const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            const auto left = limit - std::chrono::milliseconds(clock.elapsed());
            if (left <= 0ms)
                return false;
            QEventLoop loop;
            loop_ = &loop;
            QTimer::singleShot(std::min(left, kSlice), &loop, &QEventLoop::quit);
            loop.exec();
            loop_ = nullptr;
        }
        return true;
    }

    void wake()
    {
        if (loop_)
            loop_->quit();
    }

private:
    QPointer<QEventLoop> loop_;
};

void writeLine(FILE* stream, const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString statusWord(int status)
{
    switch (status) {
    case 0:
        return QStringLiteral("未設定");
    case 1:
        return QStringLiteral("制限あり");
    case 2:
        return QStringLiteral("拒否");
    case 3:
        return QStringLiteral("許可済み");
    default:
        return QStringLiteral("不明");
    }
}

QString securityWord(Security security)
{
    switch (security) {
    case Security::open:
        return QStringLiteral("Open");
    case Security::owe:
        return QStringLiteral("OWE");
    case Security::wep:
        return QStringLiteral("WEP");
    case Security::wpaPersonal:
        return QStringLiteral("WPA");
    case Security::wpa2Personal:
        return QStringLiteral("WPA2");
    case Security::wpa2wpa3Personal:
        return QStringLiteral("WPA2/WPA3");
    case Security::wpa3Personal:
        return QStringLiteral("WPA3");
    case Security::enterprise:
        return QStringLiteral("Enterprise");
    case Security::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

std::optional<QString> valueAfter(const QStringList& args, const QString& option)
{
    const qsizetype index = args.indexOf(option);
    if (index < 0 || index + 1 >= args.size())
        return std::nullopt;
    return args[index + 1];
}

// The terminal's settings while echo is off, for the signal handler.
termios savedTerminal{};

// Ctrl-C at the password prompt must not leave the terminal without echo.
void restoreTerminalAndDie(int signal)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// One line from standard input without its line ending; without echo and
// with a prompt on standard error when it is a terminal. Nothing at the end
// of input gives no password.
std::optional<QString> readPasswordFromStdin()
{
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &savedTerminal) == 0;
    if (terminal) {
        std::fputs("パスワード: ", stderr);
        std::fflush(stderr);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(signal, restoreTerminalAndDie);
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(signal, SIG_DFL);
        std::fputs("\n", stderr);
    }
    if (!read && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

QString shownName(const ScannedNetwork& network)
{
    if (!network.ssid || network.ssid->isEmpty())
        return QStringLiteral("(hidden)");
    return visibleName(*network.ssid);
}

// The security kind a "--security" word names.
std::optional<Security> securityFromWord(const QString& word)
{
    static const QList<std::pair<QString, Security>> words{
        {QStringLiteral("open"), Security::open},
        {QStringLiteral("owe"), Security::owe},
        {QStringLiteral("wep"), Security::wep},
        {QStringLiteral("wpa"), Security::wpaPersonal},
        {QStringLiteral("wpa2"), Security::wpa2Personal},
        {QStringLiteral("wpa2wpa3"), Security::wpa2wpa3Personal},
        {QStringLiteral("wpa3"), Security::wpa3Personal},
    };
    for (const auto& [known, security] : words) {
        if (known == word)
            return security;
    }
    return std::nullopt;
}

// The first (strongest) record named exactly `target`; failing that, the
// first whose name as the table shows it is `target`, so that a name with
// escaped characters can be copied from the table.
const ScannedNetwork* findTarget(const QList<ScannedNetwork>& sorted, const QString& target)
{
    for (const ScannedNetwork& network : sorted) {
        if (network.ssid && *network.ssid == target)
            return &network;
    }
    for (const ScannedNetwork& network : sorted) {
        if (network.ssid && !network.ssid->isEmpty() && visibleName(*network.ssid) == target)
            return &network;
    }
    return nullptr;
}

} // namespace

int runProbe(const QStringList& args)
{
    const auto wait = std::make_shared<MainLoopWait>();
    const bool json = args.contains(QStringLiteral("--json"));
    ProbeReport report;

    // A join by name is checked before anything runs: a mistyped option
    // should not cost a scan first.
    const std::optional<QString> target = valueAfter(args, QStringLiteral("--connect"));
    const bool hidden = target && args.contains(QStringLiteral("--hidden"));
    std::optional<Security> chosen;
    if (hidden) {
        const qsizetype bytes = ssidToBytes(*target).size();
        if (bytes < 1 || bytes > 32) {
            writeLine(stderr, QStringLiteral("ネットワーク名は 1〜32 バイトです（%1 バイト）").arg(bytes));
            return 1;
        }
        if (const std::optional<QString> word = valueAfter(args, QStringLiteral("--security"))) {
            chosen = securityFromWord(*word);
            if (!chosen) {
                writeLine(stderr,
                          QStringLiteral("不明なセキュリティ: %1（open、owe、wep、wpa、wpa2、wpa2wpa3、"
                                         "wpa3 のいずれか）")
                              .arg(terminalSafe(*word)));
                return 1;
            }
        }
    }

    // Permission.
    std::unique_ptr<LocationProvider> location = LocationProvider::create();
    bool settled = false;
    QObject::connect(location.get(), &LocationProvider::authorizationChanged, location.get(), [&] {
        if (location->authorizationStatus() != 0) {
            settled = true;
            wait->wake();
        }
    });
    if (location->authorizationStatus() == 0)
        location->requestWhenInUse();
    else
        settled = true;
    wait->until([&] { return settled; }, kPermissionWait);
    writeLine(stderr, QStringLiteral("位置情報: ") + statusWord(location->authorizationStatus()));
    report.setLocation(location->authorizationStatus());

    WiFiEngine& engine = WiFiEngine::shared();
    const WiFiEngine::Status status = engine.currentStatus();
    const std::optional<QString> interface = engine.interfaceName();
    writeLine(stderr,
              QStringLiteral("インターフェース: %1 / 電源: %2 / 接続中: %3")
                  .arg(interface && !interface->isEmpty() ? terminalSafe(*interface) : QStringLiteral("なし"),
                       status.poweredOn ? QStringLiteral("true") : QStringLiteral("false"),
                       status.ssid ? visibleName(*status.ssid) : QStringLiteral("なし")));
    report.setInterface(interface, status, engine.daemonName());

    // Scan. Each wait has its own cells, so that an answer arriving after
    // its wait gave up cannot be taken for the answer of a later one.
    struct ScanCells {
        QList<ScannedNetwork> networks;
        std::optional<SystemError> error;
        bool done = false;
    };
    const auto scanned = std::make_shared<ScanCells>();
    engine.scan([scanned, wait](QList<ScannedNetwork> found, std::optional<SystemError> failure) {
        scanned->networks = std::move(found);
        scanned->error = std::move(failure);
        scanned->done = true;
        wait->wake();
    });
    wait->until([scanned] { return scanned->done; }, kScanWait);
    if (scanned->error) {
        writeLine(stderr, QStringLiteral("失敗: ") + terminalSafe(scanned->error->description()));
        report.setScan(ProbeReport::Outcome::failed, scanned->error);
        return json ? report.finish(1) : 1;
    }
    report.setScan(scanned->done ? ProbeReport::Outcome::ok : ProbeReport::Outcome::timedOut);
    QList<ScannedNetwork> networks = scanned->done ? scanned->networks : QList<ScannedNetwork>();

    const QSet<QByteArray> saved = engine.savedSsids();
    std::stable_sort(networks.begin(), networks.end(),
                     [](const ScannedNetwork& a, const ScannedNetwork& b) { return a.rssi > b.rssi; });

    if (json) {
        report.setNetworks(networks, saved, status);
    } else {
        writeLine(stdout, formatText(QStringLiteral("%-32@ %7@ %5@ %-10@ %-16@ %@"),
                                     {"SSID", "RSSI", "ch", "Band", "Security", "BSSID"}));
        for (const ScannedNetwork& network : std::as_const(networks)) {
            const bool isSaved = saved.contains(network.ssidBytes());
            writeLine(stdout,
                      formatText(QStringLiteral("%@%-31@ %4d dBm %4d %-10@ %-16@ %@"),
                                 {isSaved ? "*" : " ", shownName(network), network.rssi, network.channel,
                                  label(network.band), securityWord(network.security),
                                  terminalSafe(network.bssid.value_or(QString()))}));
        }
        writeLine(stdout, QStringLiteral("計 %1 件（* はシステムに登録済み）").arg(networks.size()));
    }

    // Join.
    if (!target)
        return json ? report.finish(0) : 0;
    const ScannedNetwork* network = nullptr;
    if (!hidden) {
        network = findTarget(networks, *target);
        if (!network && json) {
            report.setJoin(*target, nullptr, ProbeReport::Outcome::notFound);
            return report.finish(1);
        }
        if (!network) {
            writeLine(stdout, QStringLiteral("「%1」は見つかりませんでした").arg(visibleName(*target)));
            return 1;
        }
        // The program never joins an enterprise network: the system's
        // settings do, with the certificates and identities it needs.
        if (network->security == Security::enterprise && json) {
            report.setJoin(*target, network, ProbeReport::Outcome::enterprise,
                           SystemError(WiFiError::enterprise));
            return report.finish(1);
        }
        if (network->security == Security::enterprise) {
            writeLine(stdout, QStringLiteral("「%1」は企業向け（802.1X）のネットワークです。"
                                             "システム設定の Wi-Fi から接続してください")
                                  .arg(shownName(*network)));
            return 1;
        }
    }
    std::optional<QString> password = valueAfter(args, QStringLiteral("--password"));
    if (password && *password == QLatin1String("-"))
        password = readPasswordFromStdin();
    // By name without a kind: WPA2's key management with a password (it
    // joins WPA2/WPA3 transition networks too), else an open network.
    const std::optional<Security> byName =
        hidden ? std::optional(chosen.value_or(password ? Security::wpa2Personal : Security::open))
               : std::nullopt;
    if (!json)
        writeLine(stdout,
                  QStringLiteral("接続します: ") + (network ? shownName(*network) : visibleName(*target)));

    struct JoinCells {
        std::optional<SystemError> error;
        bool done = false;
    };
    const auto joined = std::make_shared<JoinCells>();
    const auto finished = [joined, wait](std::optional<SystemError> failure) {
        joined->error = std::move(failure);
        joined->done = true;
        wait->wake();
    };
    if (byName)
        engine.connectHidden(ssidToBytes(*target), *byName, password, finished);
    else
        engine.connect(network->id(), network->ssid, password, finished);
    password.reset();
    wait->until([joined] { return joined->done; }, kJoinWait);
    if (joined->error && json) {
        report.setJoin(*target, network, ProbeReport::Outcome::failed, joined->error, std::nullopt, byName);
        return report.finish(1);
    }
    if (joined->error) {
        writeLine(stdout, QStringLiteral("失敗: %1（コード %2）")
                              .arg(terminalSafe(joined->error->description()))
                              .arg(joined->error->code()));
        return 1;
    }
    const std::optional<QString> current = engine.currentStatus().ssid;
    if (json) {
        // A join that did not answer in time counts only if its network is
        // now the current one.
        const bool ok = joined->done || (current && current == (network ? network->ssid : target));
        report.setJoin(*target, network, ok ? ProbeReport::Outcome::ok : ProbeReport::Outcome::timedOut,
                       std::nullopt, current, byName);
        return report.finish(ok ? 0 : 1);
    }
    writeLine(stdout, QStringLiteral("成功。現在の接続先: ") +
                          (current ? visibleName(*current) : QStringLiteral("なし")));
    return 0;
}

} // namespace ondrel
