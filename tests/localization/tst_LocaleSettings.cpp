#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ondrel;

class TestLocaleSettings : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QTemporaryDir work_;

    QString storedLanguage() const
    {
        QSettings file(config_.filePath("Ondrel/Ondrel.conf"), QSettings::NativeFormat);
        return file.value("app.language").toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QDir::setCurrent(work_.path());
        QSettings seed(config_.filePath("Ondrel/Ondrel.conf"), QSettings::NativeFormat);
        seed.setValue("app.language", "ar");
    }

    void matchResolveStoreAndApply()
    {
        // Identifier and the matching language's code ("-": none).
        const QString rows =
            QStringLiteral("en-US en|pt-BR pt-BR|pt-br-x pt-BR|PT-br pt-BR|pt-PT pt|zh-TW zh-Hant|"
                           "zh-Hant-HK zh-Hant|zh_HK zh-Hant|zh zh-Hans|zh-MO zh-Hans|he-IL he|no -| -|-- -");
        for (const QString& row : rows.split(u'|')) {
            const std::optional<AppLanguage> found = LocaleSettings::match(row.section(u' ', 0, 0));
            QCOMPARE(found ? rawValue(*found) : QString("-"), row.section(u' ', 1));
        }
        QCOMPARE(std::tuple(LocaleSettings::resolveSystem({"xx-YY", "de-AT"}),
                            LocaleSettings::resolveSystem({"xx"}), LocaleSettings::resolveSystem({})),
                 std::tuple(AppLanguage::de, AppLanguage::en, AppLanguage::en));
        LocaleSettings& settings = LocaleSettings::shared();
        QVERIFY(settings.language() == AppLanguage::ar && LocaleSettings::isRightToLeftCache &&
                !LocaleSettings::isJapaneseCache);
        // A language from the command line is applied, never stored.
        QVERIFY(LocaleSettings::applyCommandLineChoice("ja"));
        QVERIFY(LocaleSettings::isJapaneseCache && !LocaleSettings::isRightToLeftCache);
        QVERIFY(LocaleSettings::applyCommandLineChoice("en-GB"));
        QVERIFY(!LocaleSettings::applyCommandLineChoice("xx"));
        QVERIFY(!LocaleSettings::isJapaneseCache);
        QCOMPARE(std::pair(settings.language(), storedLanguage()), std::pair(AppLanguage::ar, QString("ar")));

        QSignalSpy changed(&settings, &LocaleSettings::languageChanged);
        settings.setLanguage(AppLanguage::he);
        settings.setLanguage(AppLanguage::he);
        QVERIFY(changed.count() == 1 && storedLanguage() == "he" && LocaleSettings::isRightToLeftCache);
        settings.setLanguage(AppLanguage::en);
        QVERIFY(!LocaleSettings::isRightToLeftCache);

        // A stored value that names nothing means the system's language.
        UserDefaults defaults(work_.filePath("other.conf"));
        defaults.setString("app.language", "EN");
        QCOMPARE(LocaleSettings(defaults).language(), AppLanguage::system);
    }

    void tablesFromTheWorkingFolder()
    {
        QVERIFY(!LocaleSettings::loadTable("no-such-language"));
        QDir(work_.path()).mkpath("Resources/Localizations");
        // The file's bytes, and the members of the table read from it (-1: no table).
        const std::pair<QByteArray, int> rows[] = {
            {R"({"Scan again": "", "Unknown": "Inconnu", "%d APs##few": "x"})", 2}, // empty values dropped
            {"{}", 0},
            {R"({"Unknown": "Inconnu")", -1},
            {R"(["Unknown"])", -1},
            {R"({"Unknown": 3})", -1},
            {QByteArray("\xff\xfe\x00garbage", 10), -1},
            {QByteArray(9 * 1024 * 1024, ' ') + "{}", -1},
        };
        for (const auto& [bytes, members] : rows) {
            QFile file(work_.filePath("Resources/Localizations/xx-test.json"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            file.close();
            const auto table = LocaleSettings::loadTable("xx-test");
            QCOMPARE(table ? int(table->size()) : -1, members);
            QVERIFY(!table || !table->contains("Scan again"));
        }
        // English empties a stale table.
        LocaleSettings::table = {{"Unknown", "Inconnu"}};
        LocaleSettings::activeCode = "xx-test";
        LocaleSettings::apply(AppLanguage::en);
        QVERIFY(LocaleSettings::table.isEmpty() && !LocaleSettings::activeCode);
        QCOMPARE(L("不明", "Unknown"), QString("Unknown"));
    }
};

QTEST_GUILESS_MAIN(TestLocaleSettings)
#include "tst_LocaleSettings.moc"
