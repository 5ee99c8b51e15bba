#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "store/Prefs.h"
#include "store/UserDefaults.h"
#include "wifi/SsidText.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace ondrel;

class tst_Prefs : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QTemporaryDir dir_;
    int files_ = 0;
    QString path_;

    // A fresh settings file, optionally seeded with raw values.
    std::unique_ptr<UserDefaults> freshDefaults(const QVariantMap& seed = {})
    {
        path_ = dir_.filePath(QStringLiteral("prefs-%1.conf").arg(++files_));
        {
            QSettings raw(path_, QSettings::NativeFormat);
            for (auto it = seed.begin(); it != seed.end(); ++it)
                raw.setValue(it.key(), it.value());
        }
        return std::make_unique<UserDefaults>(path_);
    }

    QVariant rawValue(const QString& key) const
    {
        return QSettings(path_, QSettings::NativeFormat).value(key);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        qputenv("LANGUAGE", "en");
    }

    void defaultsAreRegisteredNotStored()
    {
        auto defaults = freshDefaults({{QStringLiteral("speedResults"), QStringLiteral("[1,2]")}});
        Prefs prefs(*defaults);
        QCOMPARE(prefs.autoRefreshSeconds(), 0);
        QCOMPARE(prefs.groupBySSID(), true);
        QCOMPARE(prefs.showHidden(), false);
        QCOMPARE(prefs.sortKey(), SortKey::signal);
        QCOMPARE(prefs.ascending(), false);
        QCOMPARE(prefs.strengthUnit(), StrengthUnit::dbm);
        QCOMPARE(prefs.showDetails(), true);
        QCOMPARE(prefs.favorites(), QStringList());
        QCOMPARE(prefs.favoritesOnTop(), true);
        QCOMPARE(prefs.favoritesOnly(), false);
        defaults->sync();
        // Nothing but the removal of the retired key reached the file.
        QCOMPARE(QSettings(path_, QSettings::NativeFormat).allKeys(), QStringList());
    }

    void storedValuesAndFallbacks_data()
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

    void storedValuesAndFallbacks()
    {
        QFETCH(QString, sortKey);
        QFETCH(QString, unit);
        QFETCH(SortKey, expectedKey);
        QFETCH(StrengthUnit, expectedUnit);
        auto defaults = freshDefaults({{QStringLiteral("sortKey"), sortKey},
                                       {QStringLiteral("strengthUnit"), unit},
                                       {QStringLiteral("autoRefreshSeconds"), QStringLiteral("30")},
                                       {QStringLiteral("groupBySSID"), QStringLiteral("false")}});
        Prefs prefs(*defaults);
        QCOMPARE(prefs.sortKey(), expectedKey);
        QCOMPARE(prefs.strengthUnit(), expectedUnit);
        QCOMPARE(prefs.autoRefreshSeconds(), 30);
        QCOMPARE(prefs.groupBySSID(), false);
    }

    void unreadableSettingsFileFallsBack()
    {
        path_ = dir_.filePath(QStringLiteral("garbage.conf"));
        QFile file(path_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x00\xff[[[=\n=favorites\nsortKey=@Variant(\\0\\0\\0\\x7f)\nfavorites=@Invalid()\n", 60);
        file.close();
        UserDefaults defaults(path_);
        Prefs prefs(defaults);
        QCOMPARE(prefs.sortKey(), SortKey::signal);
        QCOMPARE(prefs.favorites(), QStringList());
    }

    void assignmentsWriteThroughAndAnnounceFirst()
    {
        auto defaults = freshDefaults();
        Prefs prefs(*defaults);
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
        defaults->sync();
        QCOMPARE(rawValue(QStringLiteral("sortKey")).toString(), QStringLiteral("security"));
        QCOMPARE(rawValue(QStringLiteral("strengthUnit")).toString(), QStringLiteral("percent"));

        UserDefaults reread(path_);
        Prefs again(reread);
        QCOMPARE(again.sortKey(), SortKey::security);
        QCOMPARE(again.autoRefreshSeconds(), 60);
        QCOMPARE(again.ascending(), true);
        QCOMPARE(again.showHidden(), true);
        QCOMPARE(again.strengthUnit(), StrengthUnit::percent);
    }

    void favourites()
    {
        auto defaults = freshDefaults();
        Prefs prefs(*defaults);
        QSignalSpy announced(&prefs, &Prefs::willChange);
        prefs.toggleFavorite(QString());
        QCOMPARE(announced.count(), 0);
        defaults->sync();
        QVERIFY(!rawValue(QStringLiteral("favorites")).isValid());

        prefs.toggleFavorite(QStringLiteral("Home"));
        prefs.toggleFavorite(QStringLiteral("Office"));
        QCOMPARE(prefs.favorites(), (QStringList{QStringLiteral("Home"), QStringLiteral("Office")}));
        QVERIFY(prefs.favoriteSet().contains(QStringLiteral("Home")));
        prefs.toggleFavorite(QStringLiteral("Home"));
        QCOMPARE(prefs.favorites(), QStringList{QStringLiteral("Office")});
        QVERIFY(!prefs.favoriteSet().contains(QStringLiteral("Home")));
        QVERIFY(prefs.favoriteSet().contains(QStringLiteral("Office")));
        QVERIFY(!prefs.favoriteSet().contains(QStringLiteral("office")));
    }

    void duplicatesAndHostileNamesSurviveTheFile()
    {
        QStringList hostile{
            QStringLiteral("a,b"),           QStringLiteral("\"quoted\""),  QStringLiteral("x=y;z"),
            QStringLiteral("\\back\\slash"), QStringLiteral("\x1b[31mred"), QStringLiteral("@Invalid()"),
            QStringLiteral("日本語 Wi-Fi"),  QStringLiteral("Dup"),         QStringLiteral("Dup")};
        // A name with a byte-order mark and a byte that is not UTF-8.
        hostile.insert(7, ssidFromBytes(QByteArray::fromHex("efbbbf41ff")));
        auto defaults = freshDefaults();
        {
            Prefs prefs(*defaults);
            for (const QString& name : hostile)
                prefs.toggleFavorite(name);
        }
        defaults->sync();
        UserDefaults reread(path_);
        Prefs prefs(reread);
        // Toggling "Dup" twice added then removed it.
        QCOMPARE(prefs.favorites(), hostile.mid(0, 8));

        prefs.toggleFavorite(QStringLiteral("a,b"));
        QCOMPARE(prefs.favorites().first(), QStringLiteral("\"quoted\""));
    }

    void duplicateFavourites()
    {
        UserDefaults seeded(dir_.filePath(QStringLiteral("dup.conf")));
        seeded.setStringList(QStringLiteral("favorites"),
                             {QStringLiteral("Dup"), QStringLiteral("X"), QStringLiteral("Dup")});
        Prefs prefs(seeded);
        prefs.toggleFavorite(QStringLiteral("Dup")); // removes only the first copy
        QCOMPARE(prefs.favorites(), (QStringList{QStringLiteral("X"), QStringLiteral("Dup")}));
        QVERIFY(prefs.favoriteSet().contains(QStringLiteral("Dup")));
        prefs.toggleFavorite(QStringLiteral("Dup"));
        prefs.toggleFavorite(QStringLiteral("Dup"));
        prefs.removeFavorite(QStringLiteral("Dup")); // removes every copy
        QCOMPARE(prefs.favorites(), QStringList{QStringLiteral("X")});
        QVERIFY(!prefs.favoriteSet().contains(QStringLiteral("Dup")));
    }

    void refreshLabels()
    {
        LocaleSettings::apply(AppLanguage::en);
        QCOMPARE(Prefs::refreshLabel(300), QStringLiteral("Every 5 minutes"));
        QCOMPARE(Prefs::refreshLabel(0), QStringLiteral("Off"));
        QCOMPARE(Prefs::refreshLabel(1), QStringLiteral("Every 1 second"));
        QCOMPARE(Prefs::refreshLabel(5), QStringLiteral("Every 5 seconds"));
        LocaleSettings::apply(AppLanguage::ja);
        QCOMPARE(Prefs::refreshLabel(10), QStringLiteral("10秒ごと"));
        QCOMPARE(Prefs::refreshLabel(300), QStringLiteral("5分ごと"));
    }

    void languageChangeAnnouncesTwice()
    {
        auto defaults = freshDefaults();
        Prefs prefs(*defaults);
        QSignalSpy announced(&prefs, &Prefs::willChange);
        QStringList seen;
        connect(&prefs, &Prefs::willChange, this, [&] { seen.append(L("不明", "Unknown")); });
        LocaleSettings::shared().setLanguage(AppLanguage::ja);
        LocaleSettings::apply(AppLanguage::ja);
        prefs.setLanguage(AppLanguage::en);
        QCOMPARE(announced.count(), 2);
        // The second announcement comes after the texts have switched.
        QCOMPARE(seen, (QStringList{QStringLiteral("不明"), QStringLiteral("Unknown")}));
        QCOMPARE(prefs.language(), AppLanguage::en);
        QCOMPARE(LocaleSettings::shared().language(), AppLanguage::en);
    }
};

QTEST_GUILESS_MAIN(tst_Prefs)
#include "tst_Prefs.moc"
