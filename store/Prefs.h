#pragma once

#include "localization/AppLanguage.h"
#include "store/SortKey.h"
#include "store/StrengthUnit.h"

#include <QObject>
#include <QSet>
#include <QStringList>

namespace ondrel {

class UserDefaults;

// The persistent settings of the windowed application. Every assignment is
// written through to the user defaults at once. willChange() is emitted
// before each assignment is stored (observers that need the new value
// connect with a queued connection); a language change emits it once more
// after the translation tables have switched. Main thread only.
class Prefs : public QObject {
    Q_OBJECT
public:
    static Prefs& shared();

    // Settings read from and written to `defaults`, which must outlive this.
    explicit Prefs(UserDefaults& defaults, QObject* parent = nullptr);

    qint64 autoRefreshSeconds() const { return autoRefreshSeconds_; } // 0 means off
    bool groupBySSID() const { return groupBySSID_; }
    bool showHidden() const { return showHidden_; }
    SortKey sortKey() const { return sortKey_; }
    bool ascending() const { return ascending_; }
    StrengthUnit strengthUnit() const { return strengthUnit_; }
    bool showDetails() const { return showDetails_; }
    const QStringList& favorites() const { return favorites_; }
    bool favoritesOnTop() const { return favoritesOnTop_; }
    bool favoritesOnly() const { return favoritesOnly_; }
    AppLanguage language() const { return language_; }
    const QSet<QString>& favoriteSet() const { return favoriteSet_; }

    void setAutoRefreshSeconds(qint64 seconds);
    void setGroupBySSID(bool value);
    void setShowHidden(bool value);
    void setSortKey(SortKey key);
    void setAscending(bool value);
    void setStrengthUnit(StrengthUnit unit);
    void setShowDetails(bool value);
    void setFavoritesOnTop(bool value);
    void setFavoritesOnly(bool value);
    // Applies the language through LocaleSettings (which stores it).
    void setLanguage(AppLanguage language);

    // Adds a non-empty name at the end, or removes its first occurrence.
    void toggleFavorite(const QString& ssid);
    // Removes every occurrence of the name.
    void removeFavorite(const QString& ssid);

    // The automatic-refresh choices offered to the user, in seconds.
    static const QList<qint64>& refreshChoices();
    // The text naming an automatic-refresh interval.
    static QString refreshLabel(qint64 seconds);

Q_SIGNALS:
    void willChange();

private:
    void writeFavorites();

    UserDefaults& store_;
    qint64 autoRefreshSeconds_ = 0;
    bool groupBySSID_ = true;
    bool showHidden_ = false;
    SortKey sortKey_ = SortKey::signal;
    bool ascending_ = false;
    StrengthUnit strengthUnit_ = StrengthUnit::dbm;
    bool showDetails_ = true;
    QStringList favorites_;
    bool favoritesOnTop_ = true;
    bool favoritesOnly_ = false;
    AppLanguage language_ = AppLanguage::system;
    QSet<QString> favoriteSet_;
};

} // namespace ondrel
