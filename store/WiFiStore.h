#pragma once

#include "store/Clock.h"
#include "store/NetworkListBuilder.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/SystemError.h"
#include "wifi/WiFiEngine.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace ondrel {

class Prefs;

// The state behind the main window: scans, keeps the raw records, rebuilds
// the shown list from them and the preferences, polls the current
// association every two seconds, runs the optional automatic rescan, and
// carries the join flow (password sheet, busy network, error banner).
//
// Every observable field announces a real change with its signal, after the
// new value is stored. `networks` is never edited in place: rebuild()
// recomputes it from scratch.
//
// Main thread only. The engine and the preferences must outlive the store.
// Engine completions and timers hold the store weakly: once it is destroyed,
// work still in flight never touches it.
class WiFiStore : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kStatusPollInterval{2000};

    // A store on the shared engine and preferences.
    explicit WiFiStore(QObject* parent = nullptr);
    // Timers run on `clock`.
    WiFiStore(WiFiEngine& engine, Prefs& prefs, QObject* parent = nullptr, Clock& clock = Clock::system());
    ~WiFiStore() override;

    // Observable state.
    const QList<ScannedNetwork>& networks() const { return networks_; }
    bool isScanning() const { return isScanning_; }
    // When the last scan completed, successfully or not.
    const std::optional<QDateTime>& lastScan() const { return lastScan_; }
    const WiFiEngine::Status& status() const { return status_; }
    // The banner text of the last failure.
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    // The name of the network that banner text names, so that the banner can
    // tell two names that look alike apart; absent when it names none.
    const std::optional<QString>& errorName() const { return errorName_; }
    // Display name of the network being joined.
    const std::optional<QString>& connectingTo() const { return connectingTo_; }
    // The network the password sheet is open for.
    const std::optional<ScannedNetwork>& passwordTarget() const { return passwordTarget_; }
    // Why the sheet opened again: the password typed into it did not join
    // the network. Absent while the sheet is closed or opened afresh.
    const std::optional<QString>& passwordProblem() const { return passwordProblem_; }
    const QString& searchText() const { return searchText_; }

    // While `networks` is empty although the last scan found networks:
    // which of the user's filters hides them all. The search when clearing
    // it would show some (also when the favourites-only filter must go as
    // well), else the favourites-only filter when turning it off would.
    enum class HidingFilter { none, search, favoritesOnly };
    HidingFilter hidingFilter() const { return hidingFilter_; }

    // The search field's text; the list follows on the next turn of the
    // event loop (a burst of keystrokes rebuilds once).
    void setSearchText(const QString& text);
    // The banner's Dismiss.
    void dismissError();

    // Starts a scan unless one is in flight (then nothing happens).
    void scan();
    // Recomputes `networks` now from the raw records, the saved names, the
    // current association, the search text and the preferences as they are.
    void rebuild();
    // Re-reads autoRefreshSeconds and replaces the automatic-rescan timer
    // (none for 0 or less). Changing the preference also does this.
    void restartAutoRefresh();
    // The automatic rescan's interval; absent while it is off.
    std::optional<std::chrono::milliseconds> autoRefreshInterval() const;
    // What the two-second poll does: reads the current association and
    // rebuilds the list when it changed (nothing else the list depends on
    // changes without rebuilding it at once).
    void pollStatus();

    // A row's join button: joins open networks, refuses enterprise ones with
    // a banner, opens the password sheet for unsaved secured ones, and joins
    // saved ones without a password (the sheet opens if that fails). Does
    // nothing for the current network.
    void activate(const ScannedNetwork& network);
    // Joins with the password (absent for none). When the join fails and
    // `fallbackToPassword` is set, the password sheet opens without a
    // message; when a given password was refused, the sheet opens again with
    // the failure as its passwordProblem; otherwise the banner describes the
    // failure.
    void performConnect(const ScannedNetwork& network, const std::optional<QString>& password,
                        bool fallbackToPassword);
    // What an enterprise (802.1X) network's join says: where to join it.
    static QString enterpriseMessage();
    // The banner text for a failed join of `network`.
    QString describe(const ScannedNetwork& network, const SystemError& error) const;

    // Joins the network named `name` (exact, as the store keeps names: see
    // ssidFromBytes) by name, whether or not any scan found it, as for a
    // network that hides its name. `security` is the one the user chose; the
    // password is required as minimumPasswordLength(security) says and
    // ignored for open and Enhanced Open networks.
    // - Refused at once, without a join, when hiddenNameProblem or
    //   hiddenPasswordProblem finds a problem: hiddenJoinFinished carries it
    //   before this returns; an enterprise network also gets the enterprise
    //   banner, as its row does.
    // - Otherwise a join like a row's: connectingTo is the name, the banner
    //   is cleared, and only the latest join's outcome reaches the spinner
    //   and the banner. On failure the banner says why and
    //   hiddenJoinFinished carries the same text; on success the saved
    //   names, the status and the list are refreshed, hiddenJoinFinished
    //   carries no message, and a scan starts. A failure that arrives after
    //   another join started is dropped (no banner, no signal), as a row's.
    void joinHidden(const QString& name, Security security, const std::optional<QString>& password);
    // Why `name` cannot be joined by name (a localized sentence), or nothing
    // when it can: a name has 1 to 32 bytes (UTF-8).
    static std::optional<QString> hiddenNameProblem(const QString& name);
    // Why `password` cannot join a network of `security` by name, or nothing
    // when it can: too short (or absent) for a secured network; enterprise
    // networks are joined from the system's settings (the banner's text).
    static std::optional<QString> hiddenPasswordProblem(Security security,
                                                        const std::optional<QString>& password);

    // The fewest user-perceived characters the password sheet accepts for a
    // network: 5 for WEP, 8 otherwise; 0 for open and Enhanced Open ones,
    // which take none (the sheet never opens for them).
    static qsizetype minimumPasswordLength(Security security);
    static qsizetype minimumPasswordLength(const ScannedNetwork& network)
    {
        return minimumPasswordLength(network.security);
    }
    // The password sheet's join: closes the sheet and joins its network with
    // the password. Refused (false, nothing changes) while no sheet is open
    // or the password is too short.
    bool submitPassword(const QString& password);
    // The password sheet's Cancel.
    void cancelPassword();

    // Leaves the current network; no message in any case.
    void disconnect();
    // Turns the radio on, then scans; a failure becomes the banner.
    void powerOn();
    // Turns the radio off; the list empties, as no network can be seen. A
    // failure becomes the banner.
    void powerOff();

Q_SIGNALS:
    void networksChanged();
    void isScanningChanged(bool scanning);
    void lastScanChanged();
    void statusChanged();
    void errorMessageChanged();
    void connectingToChanged();
    void passwordTargetChanged(); // also for passwordProblem
    void searchTextChanged(const QString& text);
    void hidingFilterChanged();
    // A scan's completion has been handled (after the fields above changed).
    void scanFinished();
    // A joinHidden of `name` has ended: refused or failed with the message
    // the user is shown, or joined (no message). See joinHidden.
    void hiddenJoinFinished(const QString& name, const std::optional<QString>& errorMessage);

private:
    void scheduleRebuild();
    void preferencesChanged();
    void finishScan(QList<ScannedNetwork> records, const std::optional<SystemError>& error);
    // Starts a join of `network` that `start` hands to the engine with the
    // completion; `withPassword` when a password was given, `byName` for
    // joinHidden.
    void startJoin(const ScannedNetwork& network, bool fallbackToPassword, bool withPassword, bool byName,
                   const std::function<void(WiFiEngine::ResultCompletion)>& start);
    void finishJoin(const ScannedNetwork& network, const std::optional<SystemError>& error,
                    bool fallbackToPassword, bool withPassword, bool byName, quint64 join);

    void setNetworks(QList<ScannedNetwork> networks);
    void setIsScanning(bool scanning);
    void setStatus(const WiFiEngine::Status& status);
    void setErrorMessage(const std::optional<QString>& message, const std::optional<QString>& name = {});
    // The banner for a failed join of `network`, naming it when its text does.
    void setJoinError(const ScannedNetwork& network, const QString& message);
    void setConnectingTo(const std::optional<QString>& name);
    void setPasswordTarget(const std::optional<ScannedNetwork>& network,
                           const std::optional<QString>& problem = std::nullopt);

    WiFiEngine& engine_;
    Prefs& prefs_;

    QList<ScannedNetwork> networks_;
    bool isScanning_ = false;
    std::optional<QDateTime> lastScan_;
    WiFiEngine::Status status_;
    std::optional<QString> errorMessage_;
    std::optional<QString> errorName_;
    std::optional<QString> connectingTo_;
    // Counts the joins started; only the latest one's outcome reaches the spinner, banner and sheet.
    quint64 joins_ = 0;
    std::optional<ScannedNetwork> passwordTarget_;
    std::optional<QString> passwordProblem_;
    QString searchText_;
    HidingFilter hidingFilter_ = HidingFilter::none;

    // Records of the last successful scan, one per access point, prepared
    // for rebuilding.
    NetworkListBuilder raw_;
    // Names the system remembers, read at the start of each scan and after
    // each successful join.
    QSet<QByteArray> savedSsids_;
    Clock& clock_;
    std::unique_ptr<Clock::Timer> statusTimer_;
    std::unique_ptr<Clock::Timer> refreshTimer_; // absent while the automatic rescan is off
    std::optional<std::chrono::milliseconds> refreshInterval_;
    bool rebuildPending_ = false;
};

} // namespace ondrel
