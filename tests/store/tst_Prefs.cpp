// The preferences: defaults, the settings file as written and as found, and
// the favourites.

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "store/Prefs.h"
#include "localization/UserDefaults.h"
#include "wifi/SsidText.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ondrel;

class tst_Prefs : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path_;

    // A fresh settings file seeded with raw values.
    QString seeded(const QVariantMap& seed = {})
    {
        path_ = dir_.filePath(QUuid::createUuid().toString(QUuid::Id128) + ".conf");
        QSettings raw(path_, QSettings::NativeFormat);
        for (auto it = seed.begin(); it != seed.end(); ++it)
            raw.setValue(it.key(), it.value());
        return path_;
    }
    QSettings file() const { return {path_, QSettings::NativeFormat}; }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path())); }

    void defaultsAreNotStored()
    {
        UserDefaults defaults(seeded({{"speedResults", "[1,2]"}}));
        Prefs prefs(defaults);
        QCOMPARE(std::tuple(prefs.autoRefreshSeconds(), prefs.groupBySSID(), prefs.showHidden(),
                            prefs.sortKey(), prefs.ascending(), prefs.strengthUnit(), prefs.showDetails()),
                 std::tuple(qint64(0), true, false, SortKey::signal, false, StrengthUnit::dbm, true));
        QCOMPARE(std::tuple(prefs.favorites(), prefs.favoritesOnTop(), prefs.favoritesOnly()),
                 std::tuple(QStringList(), true, false));
        defaults.sync();
        QCOMPARE(file().allKeys(), QStringList()); // the retired key went, nothing came
    }

    void storedValues_data()
    {
        QTest::addColumn<QString>("sortKey");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<SortKey>("expectedKey");
        QTest::addColumn<StrengthUnit>("expectedUnit");
        QTest::newRow("valid") << "band"
                               << "percent" << SortKey::band << StrengthUnit::percent;
        QTest::newRow("capitalised") << "Name"
                                     << "Percent" << SortKey::signal << StrengthUnit::dbm;
        QTest::newRow("unknown") << "speed"
                                 << "bars" << SortKey::signal << StrengthUnit::dbm;
        QTest::newRow("empty") << ""
                               << "" << SortKey::signal << StrengthUnit::dbm;
    }
    void storedValues()
    {
        QFETCH(QString, sortKey);
        QFETCH(QString, unit);
        QFETCH(SortKey, expectedKey);
        QFETCH(StrengthUnit, expectedUnit);
        UserDefaults defaults(seeded({{"sortKey", sortKey},
                                      {"strengthUnit", unit},
                                      {"autoRefreshSeconds", "30"},
                                      {"groupBySSID", "false"}}));
        Prefs prefs(defaults);
        QCOMPARE(std::tuple(prefs.sortKey(), prefs.strengthUnit(), prefs.autoRefreshSeconds(),
                            prefs.groupBySSID()),
                 std::tuple(expectedKey, expectedUnit, qint64(30), false));
    }

    void unreadableFileFallsBack()
    {
        QFile garbage(seeded());
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("\x00\xff[[[=\n=favorites\nsortKey=@Variant(\\0\\0\\0\\x7f)\nfavorites=@Invalid()\n",
                      60);
        garbage.close();
        UserDefaults defaults(path_);
        Prefs prefs(defaults);
        QCOMPARE(std::tuple(prefs.sortKey(), prefs.favorites()), std::tuple(SortKey::signal, QStringList()));
    }

    void assignmentsAnnounceFirstAndWriteThrough()
    {
        UserDefaults defaults(seeded());
        Prefs prefs(defaults);
        QSignalSpy announced(&prefs, &Prefs::willChange);
        bool sawOldValue = false;
        connect(&prefs, &Prefs::willChange, this, [&] { sawOldValue = prefs.sortKey() == SortKey::signal; });
        prefs.setSortKey(SortKey::security);
        QVERIFY(sawOldValue);
        prefs.setAutoRefreshSeconds(60);
        prefs.setAscending(true);
        prefs.setStrengthUnit(StrengthUnit::percent);
        prefs.setShowHidden(true);
        prefs.setShowHidden(true); // equal values are announced and written all the same
        QCOMPARE(announced.count(), 6);
        defaults.sync();
        QCOMPARE(std::pair(file().value("sortKey").toString(), file().value("strengthUnit").toString()),
                 std::pair(QStringLiteral("security"), QStringLiteral("percent")));
        UserDefaults reread(path_);
        Prefs again(reread);
        QCOMPARE(std::tuple(again.sortKey(), again.autoRefreshSeconds(), again.ascending(),
                            again.showHidden(), again.strengthUnit()),
                 std::tuple(SortKey::security, qint64(60), true, true, StrengthUnit::percent));
    }

    void favourites()
    {
        // Hostile names, one with a byte-order mark and a byte that is not UTF-8, survive the file.
        QStringList names{
            "a,b",         "\"quoted\"", "x=y;z",        "\\back\\slash",
            "\x1b[31mred", "@Invalid()", "日本語 Wi-Fi", ssidFromBytes(QByteArray::fromHex("efbbbf41ff")),
            "Dup",         "Dup"};
        UserDefaults defaults(seeded());
        {
            Prefs prefs(defaults);
            QSignalSpy announced(&prefs, &Prefs::willChange);
            prefs.toggleFavorite(QString()); // an empty name is never a favourite
            QCOMPARE(announced.count(), 0);
            for (const QString& name : names)
                prefs.toggleFavorite(name); // "Dup" twice: added, then removed
        }
        defaults.sync();
        UserDefaults reread(path_);
        Prefs prefs(reread);
        QCOMPARE(prefs.favorites(), names.mid(0, 8));
        prefs.toggleFavorite(QStringLiteral("a,b"));
        QCOMPARE(prefs.favorites().first(), QStringLiteral("\"quoted\""));
        QVERIFY(!prefs.favoriteSet().contains("a,b") && prefs.favoriteSet().contains("x=y;z"));
        QVERIFY(!prefs.favoriteSet().contains("X=Y;Z"));

        // A file with a name twice: toggling removes the first copy, removing every copy.
        UserDefaults twice(seeded());
        twice.setStringList(QStringLiteral("favorites"), {"Dup", "X", "Dup"});
        Prefs dup(twice);
        dup.toggleFavorite(QStringLiteral("Dup"));
        QCOMPARE(std::pair(dup.favorites(), dup.favoriteSet().contains("Dup")),
                 std::pair(QStringList{"X", "Dup"}, true));
        dup.toggleFavorite(QStringLiteral("Dup"));
        dup.toggleFavorite(QStringLiteral("Dup"));
        dup.removeFavorite(QStringLiteral("Dup"));
        QCOMPARE(std::pair(dup.favorites(), dup.favoriteSet().contains("Dup")),
                 std::pair(QStringList{"X"}, false));
    }

    void refreshLabels()
    {
        LocaleSettings::apply(AppLanguage::en);
        QCOMPARE(QStringList({Prefs::refreshLabel(0), Prefs::refreshLabel(1), Prefs::refreshLabel(5),
                              Prefs::refreshLabel(300)}),
                 QStringList({"Off", "Every 1 second", "Every 5 seconds", "Every 5 minutes"}));
        LocaleSettings::apply(AppLanguage::ja);
        QCOMPARE(Prefs::refreshLabel(10), QStringLiteral("10秒ごと"));
        QCOMPARE(Prefs::refreshLabel(300), QStringLiteral("5分ごと"));
    }

    void languageChangeAnnouncesTwice()
    {
        UserDefaults defaults(seeded());
        Prefs prefs(defaults);
        QStringList seen;
        connect(&prefs, &Prefs::willChange, this, [&] { seen.append(L("不明", "Unknown")); });
        LocaleSettings::shared().setLanguage(AppLanguage::ja);
        LocaleSettings::apply(AppLanguage::ja);
        prefs.setLanguage(AppLanguage::en);
        // The second announcement comes after the texts have switched.
        QCOMPARE(seen, (QStringList{"不明", "Unknown"}));
        QCOMPARE(std::pair(prefs.language(), LocaleSettings::shared().language()),
                 std::pair(AppLanguage::en, AppLanguage::en));
    }
};

QTEST_GUILESS_MAIN(tst_Prefs)
#include "tst_Prefs.moc"
