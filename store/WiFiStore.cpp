#include "store/WiFiStore.h"

#include "localization/Lookup.h"
#include "store/DisplayName.h"
#include "store/JoinFailure.h"
#include "store/Prefs.h"
#include "wifi/SsidText.h"

#include <QPointer>

#include <limits>

namespace ondrel {

namespace {

// QTimer counts in int milliseconds; a stored interval beyond that (about
// 24 days) would wrap around into a tiny or negative one.
std::optional<std::chrono::milliseconds> refreshInterval(qint64 seconds)
{
    constexpr qint64 longest = std::numeric_limits<int>::max() / 1000;
    if (seconds <= 0)
        return std::nullopt;
    return std::chrono::seconds(std::min(seconds, longest));
}

} // namespace

WiFiStore::WiFiStore(QObject* parent) : WiFiStore(WiFiEngine::shared(), Prefs::shared(), parent) {}

WiFiStore::WiFiStore(WiFiEngine& engine, Prefs& prefs, QObject* parent, Clock& clock)
    : QObject(parent), engine_(engine), prefs_(prefs), status_(engine.currentStatus()), clock_(clock)
{
    // Prefs announces a change before storing it; the reaction runs on the
    // next turn of the event loop, when the new value is in place.
    connect(&prefs_, &Prefs::willChange, this, &WiFiStore::preferencesChanged);

    statusTimer_ = clock_.repeat(kStatusPollInterval, [this] { pollStatus(); });

    restartAutoRefresh();
}

WiFiStore::~WiFiStore() = default;

void WiFiStore::setSearchText(const QString& text)
{
    if (text == searchText_)
        return;
    searchText_ = text;
    Q_EMIT searchTextChanged(searchText_);
    scheduleRebuild();
}

void WiFiStore::dismissError()
{
    setErrorMessage(std::nullopt);
}

void WiFiStore::scan()
{
    if (isScanning_)
        return;
    setIsScanning(true);
    setErrorMessage(std::nullopt);
    savedSsids_ = engine_.savedSsids();
    engine_.scan(
        [self = QPointer<WiFiStore>(this)](QList<ScannedNetwork> records, std::optional<SystemError> error) {
            if (self)
                self->finishScan(std::move(records), error);
        });
}

void WiFiStore::finishScan(QList<ScannedNetwork> records, const std::optional<SystemError>& error)
{
    setIsScanning(false);
    lastScan_ = clock_.utcNow().toLocalTime();
    Q_EMIT lastScanChanged();
    if (error)
        setErrorMessage(visibleText(error->description()));
    else
        raw_ = NetworkListBuilder(std::move(records));
    setStatus(engine_.currentStatus());
    rebuild();
    Q_EMIT scanFinished();
}

void WiFiStore::rebuild()
{
    rebuildPending_ = false;
    NetworkListInputs inputs;
    inputs.readPreferences(prefs_);
    inputs.savedSsids = savedSsids_;
    inputs.currentSSID = status_.ssid;
    inputs.currentBSSID = status_.bssid;
    inputs.searchText = searchText_;
    QList<ScannedNetwork> networks = raw_.build(inputs);

    HidingFilter hiding = HidingFilter::none;
    if (networks.isEmpty() && !raw_.raw().isEmpty()) {
        const bool searching = !normalizedSearch(inputs.searchText).isEmpty();
        NetworkListInputs unfiltered = inputs;
        unfiltered.favoritesOnly = false;
        NetworkListInputs unsearched = inputs;
        unsearched.searchText.clear();
        if (searching && !raw_.build(unsearched).isEmpty())
            hiding = HidingFilter::search;
        else if (inputs.favoritesOnly && !raw_.build(unfiltered).isEmpty())
            hiding = HidingFilter::favoritesOnly;
        else if (searching && inputs.favoritesOnly) {
            unfiltered.searchText.clear();
            if (!raw_.build(unfiltered).isEmpty())
                hiding = HidingFilter::search;
        }
    }
    if (hiding != hidingFilter_) {
        hidingFilter_ = hiding;
        Q_EMIT hidingFilterChanged();
    }
    setNetworks(std::move(networks));
}

void WiFiStore::scheduleRebuild()
{
    if (rebuildPending_)
        return;
    rebuildPending_ = true;
    // Queued on the store itself: dropped if the store is gone by then, and
    // skipped if a direct rebuild() came first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (rebuildPending_)
                rebuild();
        },
        Qt::QueuedConnection);
}

void WiFiStore::preferencesChanged()
{
    scheduleRebuild();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (autoRefreshInterval() != refreshInterval(prefs_.autoRefreshSeconds()))
                restartAutoRefresh();
        },
        Qt::QueuedConnection);
}

void WiFiStore::pollStatus()
{
    const WiFiEngine::Status status = engine_.currentStatus();
    if (status == status_)
        return;
    setStatus(status);
    rebuild();
}

void WiFiStore::restartAutoRefresh()
{
    refreshTimer_.reset();
    refreshInterval_ = refreshInterval(prefs_.autoRefreshSeconds());
    if (refreshInterval_)
        refreshTimer_ = clock_.repeat(*refreshInterval_, [this] { scan(); });
}

std::optional<std::chrono::milliseconds> WiFiStore::autoRefreshInterval() const
{
    return refreshInterval_;
}

void WiFiStore::activate(const ScannedNetwork& network)
{
    if (network.isCurrent)
        return;
    switch (network.security) {
    case Security::open:
    case Security::owe:
    case Security::unknown:
        performConnect(network, std::nullopt, false);
        return;
    case Security::enterprise:
        setErrorMessage(enterpriseMessage());
        return;
    case Security::wep:
    case Security::wpaPersonal:
    case Security::wpa2Personal:
    case Security::wpa2wpa3Personal:
    case Security::wpa3Personal:
        break;
    }
    if (network.isSaved)
        performConnect(network, std::nullopt, true);
    else
        setPasswordTarget(network);
}

void WiFiStore::performConnect(const ScannedNetwork& network, const std::optional<QString>& password,
                               bool fallbackToPassword)
{
    startJoin(network, fallbackToPassword, password.has_value(), false,
              [&](WiFiEngine::ResultCompletion done) {
                  engine_.connect(network.id(), network.ssid, password, std::move(done));
              });
}

void WiFiStore::joinHidden(const QString& name, Security security, const std::optional<QString>& password)
{
    // An enterprise network gets its banner whatever was typed, as its row
    // does; other problems are the dialog's to show.
    if (security == Security::enterprise)
        setErrorMessage(enterpriseMessage());
    std::optional<QString> problem = hiddenPasswordProblem(security, password);
    if (!problem)
        problem = hiddenNameProblem(name);
    if (problem) {
        Q_EMIT hiddenJoinFinished(name, problem);
        return;
    }
    ScannedNetwork network;
    network.ssid = name;
    network.security = security;
    const bool takesPassword = minimumPasswordLength(security) > 0;
    startJoin(network, false, takesPassword && password, true, [&](WiFiEngine::ResultCompletion done) {
        engine_.connectHidden(ssidToBytes(name), security, takesPassword ? password : std::nullopt,
                              std::move(done));
    });
}

void WiFiStore::startJoin(const ScannedNetwork& network, bool fallbackToPassword, bool withPassword,
                          bool byName, const std::function<void(WiFiEngine::ResultCompletion)>& start)
{
    setConnectingTo(displayName(network));
    setErrorMessage(std::nullopt);
    const quint64 join = ++joins_;
    start([self = QPointer<WiFiStore>(this), network, fallbackToPassword, withPassword, byName,
           join](std::optional<SystemError> error) {
        if (self)
            self->finishJoin(network, error, fallbackToPassword, withPassword, byName, join);
    });
}

void WiFiStore::finishJoin(const ScannedNetwork& network, const std::optional<SystemError>& error,
                           bool fallbackToPassword, bool withPassword, bool byName, quint64 join)
{
    // A join the user has since replaced with another one leaves the spinner,
    // the banner and the password sheet to the newer join; its failure is
    // old news, while a success still changed what the system is joined to.
    const bool overtaken = join != joins_;
    if (!overtaken)
        setConnectingTo(std::nullopt);
    if (error) {
        if (overtaken)
            return;
        if (fallbackToPassword) {
            setPasswordTarget(network);
            return;
        }
        if (byName) {
            // The signal carries its own copy: a receiver may dismiss the banner.
            const QString message = describe(network, *error);
            setJoinError(network, message);
            Q_EMIT hiddenJoinFinished(*network.ssid, message);
        } else if (withPassword && classifyJoinFailure(*error) == JoinFailure::checkPassword) {
            // The sheet again, saying why, rather than a banner and an empty sheet.
            setPasswordTarget(network, describe(network, *error));
        } else {
            setJoinError(network, describe(network, *error));
        }
        return;
    }
    savedSsids_ = engine_.savedSsids();
    setStatus(engine_.currentStatus());
    rebuild();
    if (byName) {
        Q_EMIT hiddenJoinFinished(*network.ssid, std::nullopt);
        // The network joined by name may now show its name in the list.
        scan();
    }
}

QString WiFiStore::enterpriseMessage()
{
    return description(WiFiError::enterprise);
}

QString WiFiStore::describe(const ScannedNetwork& network, const SystemError& error) const
{
    if (error.wifiError() == WiFiError::enterprise)
        return error.description();
    const QString name = shownName(network);
    switch (classifyJoinFailure(error)) {
    case JoinFailure::checkPassword:
        return Lf("「%@」に接続できませんでした。パスワードを確認してください。",
                  "Could not connect to “%@”. Check the password.", {name});
    case JoinFailure::refusedOrTimedOut:
        return Lf("「%@」への接続が拒否されたか、時間切れになりました。電波が届いているか確認してください。",
                  "“%@” refused the connection or timed out. Check that you are in range.", {name});
    case JoinFailure::notPermitted:
        return L("この操作は許可されていません。", "This operation is not permitted.");
    case JoinFailure::other:
        break;
    }
    return Lf("「%@」に接続できませんでした。%@", "Could not connect to “%@”. %@",
              {name, visibleText(error.description())});
}

qsizetype WiFiStore::minimumPasswordLength(Security security)
{
    switch (security) {
    case Security::open:
    case Security::owe:
        return 0;
    case Security::wep:
        return 5;
    default:
        return 8;
    }
}

std::optional<QString> WiFiStore::hiddenNameProblem(const QString& name)
{
    const qsizetype bytes = ssidToBytes(name).size();
    if (bytes == 0)
        return L("ネットワーク名を入力してください。", "Enter the network name.");
    if (bytes > 32)
        return L("ネットワーク名が長すぎます（32 バイトまで）。",
                 "The network name is too long (32 bytes at most).");
    return std::nullopt;
}

std::optional<QString> WiFiStore::hiddenPasswordProblem(Security security,
                                                        const std::optional<QString>& password)
{
    if (security == Security::enterprise)
        return description(WiFiError::enterprise);
    const qsizetype minimum = minimumPasswordLength(security);
    if (minimum > 0 && graphemeCount(password.value_or(QString())) < minimum)
        return Lf("パスワードは %d 文字以上にしてください。",
                  "The password must have at least %d characters.", {minimum});
    return std::nullopt;
}

bool WiFiStore::submitPassword(const QString& password)
{
    if (!passwordTarget_ || graphemeCount(password) < minimumPasswordLength(*passwordTarget_))
        return false;
    const ScannedNetwork network = *passwordTarget_;
    setPasswordTarget(std::nullopt);
    performConnect(network, password, false);
    return true;
}

void WiFiStore::cancelPassword()
{
    setPasswordTarget(std::nullopt);
}

void WiFiStore::disconnect()
{
    engine_.disconnect([self = QPointer<WiFiStore>(this)] {
        if (!self)
            return;
        self->setStatus(self->engine_.currentStatus());
        self->rebuild();
    });
}

void WiFiStore::powerOn()
{
    engine_.setPower(true, [self = QPointer<WiFiStore>(this)](std::optional<SystemError> error) {
        if (!self)
            return;
        if (error) {
            self->setErrorMessage(visibleText(error->description()));
            return;
        }
        self->setStatus(self->engine_.currentStatus());
        self->rebuild();
        self->scan();
    });
}

void WiFiStore::powerOff()
{
    engine_.setPower(false, [self = QPointer<WiFiStore>(this)](std::optional<SystemError> error) {
        if (!self)
            return;
        if (error) {
            self->setErrorMessage(visibleText(error->description()));
            return;
        }
        // What the last scan saw is out of reach now.
        self->raw_ = NetworkListBuilder();
        self->setStatus(self->engine_.currentStatus());
        self->rebuild();
    });
}

void WiFiStore::setNetworks(QList<ScannedNetwork> networks)
{
    if (networks == networks_)
        return;
    networks_ = std::move(networks);
    Q_EMIT networksChanged();
}

void WiFiStore::setIsScanning(bool scanning)
{
    if (scanning == isScanning_)
        return;
    isScanning_ = scanning;
    Q_EMIT isScanningChanged(isScanning_);
}

void WiFiStore::setStatus(const WiFiEngine::Status& status)
{
    if (status == status_)
        return;
    status_ = status;
    Q_EMIT statusChanged();
}

void WiFiStore::setErrorMessage(const std::optional<QString>& message, const std::optional<QString>& name)
{
    if (message == errorMessage_ && name == errorName_)
        return;
    errorMessage_ = message;
    errorName_ = message ? name : std::nullopt;
    Q_EMIT errorMessageChanged();
}

void WiFiStore::setJoinError(const ScannedNetwork& network, const QString& message)
{
    const bool named = network.ssid && message.contains(shownName(network));
    setErrorMessage(message, named ? network.ssid : std::nullopt);
}

void WiFiStore::setConnectingTo(const std::optional<QString>& name)
{
    if (name == connectingTo_)
        return;
    connectingTo_ = name;
    Q_EMIT connectingToChanged();
}

void WiFiStore::setPasswordTarget(const std::optional<ScannedNetwork>& network,
                                  const std::optional<QString>& problem)
{
    if (network == passwordTarget_ && problem == passwordProblem_)
        return;
    passwordTarget_ = network;
    passwordProblem_ = problem;
    Q_EMIT passwordTargetChanged();
}

} // namespace ondrel
