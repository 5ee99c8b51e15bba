#include "store/Prefs.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/Plural.h"
#include "localization/UserDefaults.h"

namespace ondrel {

namespace {

const QString kAutoRefresh = QStringLiteral("autoRefreshSeconds");
const QString kGroupBySSID = QStringLiteral("groupBySSID");
const QString kShowHidden = QStringLiteral("showHidden");
const QString kSortKey = QStringLiteral("sortKey");
const QString kAscending = QStringLiteral("ascending");
const QString kStrengthUnit = QStringLiteral("strengthUnit");
const QString kShowDetails = QStringLiteral("showDetails");
const QString kFavorites = QStringLiteral("favorites");
const QString kFavoritesOnTop = QStringLiteral("favoritesOnTop");
const QString kFavoritesOnly = QStringLiteral("favoritesOnly");

} // namespace

Prefs& Prefs::shared()
{
    static Prefs* instance = new Prefs(UserDefaults::standard());
    return *instance;
}

Prefs::Prefs(UserDefaults& defaults, QObject* parent) : QObject(parent), store_(defaults)
{
    store_.registerDefaults({
        {kAutoRefresh, 0},
        {kGroupBySSID, true},
        {kShowHidden, false},
        {kSortKey, QStringLiteral("signal")},
        {kAscending, false},
        {kStrengthUnit, QStringLiteral("dbm")},
        {kShowDetails, true},
        {kFavorites, QStringList()},
        {kFavoritesOnTop, true},
        {kFavoritesOnly, false},
    });
    autoRefreshSeconds_ = store_.integer(kAutoRefresh);
    groupBySSID_ = store_.boolean(kGroupBySSID);
    showHidden_ = store_.boolean(kShowHidden);
    sortKey_ = sortKeyFromRawValue(store_.string(kSortKey).value_or(QString())).value_or(SortKey::signal);
    ascending_ = store_.boolean(kAscending);
    strengthUnit_ =
        store_.string(kStrengthUnit) == QStringLiteral("percent") ? StrengthUnit::percent : StrengthUnit::dbm;
    showDetails_ = store_.boolean(kShowDetails);
    favorites_ = store_.stringList(kFavorites).value_or(QStringList());
    favoritesOnTop_ = store_.boolean(kFavoritesOnTop);
    favoritesOnly_ = store_.boolean(kFavoritesOnly);
    language_ = LocaleSettings::shared().language();
    favoriteSet_ = QSet<QString>(favorites_.begin(), favorites_.end());
    // The speed history once lived here; it has its own file now.
    store_.remove(QStringLiteral("speedResults"));
    store_.sync();
}

void Prefs::setAutoRefreshSeconds(qint64 seconds)
{
    Q_EMIT willChange();
    autoRefreshSeconds_ = seconds;
    store_.setInteger(kAutoRefresh, seconds);
}

void Prefs::setGroupBySSID(bool value)
{
    Q_EMIT willChange();
    groupBySSID_ = value;
    store_.setBoolean(kGroupBySSID, value);
}

void Prefs::setShowHidden(bool value)
{
    Q_EMIT willChange();
    showHidden_ = value;
    store_.setBoolean(kShowHidden, value);
}

void Prefs::setSortKey(SortKey key)
{
    Q_EMIT willChange();
    sortKey_ = key;
    store_.setString(kSortKey, rawValue(key));
}

void Prefs::setAscending(bool value)
{
    Q_EMIT willChange();
    ascending_ = value;
    store_.setBoolean(kAscending, value);
}

void Prefs::setStrengthUnit(StrengthUnit unit)
{
    Q_EMIT willChange();
    strengthUnit_ = unit;
    store_.setString(kStrengthUnit, rawValue(unit));
}

void Prefs::setShowDetails(bool value)
{
    Q_EMIT willChange();
    showDetails_ = value;
    store_.setBoolean(kShowDetails, value);
}

void Prefs::setFavoritesOnTop(bool value)
{
    Q_EMIT willChange();
    favoritesOnTop_ = value;
    store_.setBoolean(kFavoritesOnTop, value);
}

void Prefs::setFavoritesOnly(bool value)
{
    Q_EMIT willChange();
    favoritesOnly_ = value;
    store_.setBoolean(kFavoritesOnly, value);
}

void Prefs::setLanguage(AppLanguage language)
{
    Q_EMIT willChange();
    language_ = language;
    LocaleSettings::shared().setLanguage(language);
    // Observers redraw once more, now with the new language's texts.
    Q_EMIT willChange();
}

void Prefs::toggleFavorite(const QString& ssid)
{
    if (ssid.isEmpty())
        return;
    Q_EMIT willChange();
    const qsizetype index = favorites_.indexOf(ssid);
    if (index >= 0)
        favorites_.removeAt(index);
    else
        favorites_.append(ssid);
    writeFavorites();
}

void Prefs::removeFavorite(const QString& ssid)
{
    Q_EMIT willChange();
    favorites_.removeAll(ssid);
    writeFavorites();
}

void Prefs::writeFavorites()
{
    store_.setStringList(kFavorites, favorites_);
    favoriteSet_ = QSet<QString>(favorites_.begin(), favorites_.end());
}

const QList<qint64>& Prefs::refreshChoices()
{
    static const QList<qint64> choices{0, 5, 10, 30, 60, 300};
    return choices;
}

QString Prefs::refreshLabel(qint64 seconds)
{
    if (seconds == 300)
        return L("5分ごと", "Every 5 minutes");
    if (seconds == 0)
        return L("しない", "Off");
    return formatText(pluralFormat("%d秒ごと", "Every %d second", "Every %d seconds", seconds), {seconds});
}

} // namespace ondrel
