// The preferences: the file as found and as written, favourites, a language change, picker labels.

#include "localization/LocaleSettings.h"
#include "localization/UserDefaults.h"
#include "store/Prefs.h"
#include "wifi/SsidText.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace ondrel;

class tst_Prefs : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path_;

    // A settings file name not used before.
    QString newPath() const { return dir_.filePath(QUuid::createUuid().toString(QUuid::Id128) + ".conf"); }
    // A fresh settings file holding `text`.
    QString fileWith(const QByteArray& text = {})
    {
        path_ = newPath();
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write the settings file");
        return path_;
    }
    // The settings file as written, under a new name (QSettings keeps what a process wrote and would
    // give it back unread from the same path), which is then the file.
    QString rereadable()
    {
        const QString copy = newPath();
        if (!QFile::copy(path_, copy))
            qFatal("cannot copy the settings file");
        return path_ = copy;
    }
    // "sortKey unit refresh group hidden ascending details onTop only favourites"
    static QString values(const Prefs& p)
    {
        QStringList bits{rawValue(p.sortKey()), rawValue(p.strengthUnit()),
                         QString::number(p.autoRefreshSeconds())};
        for (bool on : {p.groupBySSID(), p.showHidden(), p.ascending(), p.showDetails(), p.favoritesOnTop(),
                        p.favoritesOnly()})
            bits.append(QString::number(on));
        return (bits + p.favorites()).join(' ');
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path())); }

    void readsTheFile()
    {
        const QString fallback = QStringLiteral("signal dbm 0 1 0 0 1 1 0");
        const std::pair<QByteArray, QString> rows[] = {
            {"", fallback},                                    // no file: the defaults, not written
            {"[General]\nspeedResults=\"[1,2]\"\n", fallback}, // a retired key goes
            {"[General]\nsortKey=Name\nstrengthUnit=Percent\n", fallback}, // unknown values: the defaults
            {"[General]\nsortKey=band\nstrengthUnit=percent\nautoRefreshSeconds=30\ngroupBySSID=false\n"
             "favorites=A, B\n",
             "band percent 30 0 0 0 1 1 0 A B"},
            // Truth as people write it by hand, a count that is not one, and a
            // favourites list holding a number: no favourites rather than a guess.
            {"[General]\ngroupBySSID=No\nshowHidden=YES\nascending=\" 2 \"\n"
             "showDetails=0\nfavoritesOnTop=TRUE\nfavoritesOnly=x\n"
             "autoRefreshSeconds=15s\nfavorites=\"[\\\"A\\\",1]\"\n",
             "signal dbm 0 0 1 1 0 1 0"},
            {"[General]\nfavorites=\"[\\\"A,B\\\",\\\"\\\"]\"\n", "signal dbm 0 1 0 0 1 1 0 A,B "},
        };
        for (const auto& [text, expected] : rows) {
            UserDefaults defaults(fileWith(text));
            QCOMPARE(values(Prefs(defaults)), expected);
            defaults.sync();
            const QSettings file(path_, QSettings::NativeFormat);
            QCOMPARE(std::pair(file.contains("speedResults"), file.allKeys().isEmpty()),
                     std::pair(false, text.isEmpty() || text.contains("speedResults")));
        }
    }

    void assignmentsAnnounceFirstAndWriteThrough()
    {
        // Hostile names, one with a byte-order mark and a byte that is not UTF-8, survive the file.
        const QStringList names{
            "a,b",         "\"quoted\"", "x=y;z",        "\\back\\slash",
            "\x1b[31mred", "@Invalid()", "日本語 Wi-Fi", ssidFromBytes(QByteArray::fromHex("efbbbf41ff"))};
        UserDefaults defaults(fileWith("[General]\nfavorites=Dup, Dup\n"));
        {
            Prefs prefs(defaults);
            QStringList seen; // the values each announcement sees
            connect(&prefs, &Prefs::willChange, this, [&] { seen.append(values(prefs)); });
            prefs.setSortKey(SortKey::security);
            prefs.setStrengthUnit(StrengthUnit::percent);
            prefs.setAutoRefreshSeconds(60);
            prefs.setGroupBySSID(false);
            prefs.setShowHidden(true);
            prefs.setAscending(true);
            prefs.setShowDetails(false);
            prefs.setFavoritesOnTop(false);
            prefs.setFavoritesOnly(true);
            prefs.setFavoritesOnly(true); // equal values are announced and written all the same
            LocaleSettings::shared().setLanguage(AppLanguage::ja);
            prefs.setLanguage(AppLanguage::en);          // announced again once the texts have switched
            prefs.toggleFavorite(QString());             // an empty name is never a favourite, not announced
            prefs.toggleFavorite(QStringLiteral("Dup")); // the first copy goes
            QVERIFY(prefs.favoriteSet().contains("Dup"));
            prefs.removeFavorite(QStringLiteral("Dup")); // every copy goes
            for (const QString& name : names)
                prefs.toggleFavorite(name);
            QCOMPARE(std::pair(seen.size(), seen.first()),
                     std::pair(qsizetype(22), QStringLiteral("signal dbm 0 1 0 0 1 1 0 Dup Dup")));
        }
        defaults.sync();
        UserDefaults reread(rereadable());
        Prefs prefs(reread);
        QCOMPARE(values(prefs), "security percent 60 0 1 1 0 0 1 " + names.join(' '));
        QCOMPARE(std::pair(prefs.language(), LocaleSettings::shared().language()),
                 std::pair(AppLanguage::en, AppLanguage::en));
        prefs.toggleFavorite(QStringLiteral("a,b"));
        QCOMPARE(std::tuple(prefs.favorites().first(), prefs.favoriteSet().contains("a,b"),
                            prefs.favoriteSet().contains("x=y;z"), prefs.favoriteSet().contains("X=Y;Z")),
                 std::tuple(QStringLiteral("\"quoted\""), false, true, false));
        // A single favourite, a comma in it, reads back as a list of one, not as a text or as two names.
        for (const QString& name : QStringList(prefs.favorites()))
            prefs.removeFavorite(name);
        prefs.toggleFavorite(QStringLiteral("Solo, Cafe"));
        reread.sync();
        UserDefaults single(rereadable());
        QCOMPARE(Prefs(single).favorites(), QStringList{QStringLiteral("Solo, Cafe")});
    }

    void pickerLabels()
    {
        LocaleSettings::apply(AppLanguage::en);
        QCOMPARE(QStringList({Prefs::refreshLabel(0), Prefs::refreshLabel(1), Prefs::refreshLabel(5),
                              Prefs::refreshLabel(300)}),
                 QStringList({"Off", "Every 1 second", "Every 5 seconds", "Every 5 minutes"}));
        // The pickers' other choices: each its own label and its own stored value.
        QStringList choices;
        for (SortKey key : allSortKeys())
            choices << label(key) + '=' + rawValue(key);
        for (StrengthUnit unit : allStrengthUnits())
            choices << label(unit) + '=' + rawValue(unit);
        QCOMPARE(choices, QStringList({"Signal strength=signal", "Name=name", "Band=band",
                                       "Security=security", "dBm=dbm", "Percentage=percent"}));
    }
};

QTEST_GUILESS_MAIN(tst_Prefs)
#include "tst_Prefs.moc"
