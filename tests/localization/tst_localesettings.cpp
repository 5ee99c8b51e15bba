#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ondrel;

Q_DECLARE_METATYPE(std::optional<ondrel::AppLanguage>)

class TestLocaleSettings : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QTemporaryDir work_;

    QString storedLanguage() const
    {
        QSettings file(config_.filePath(QStringLiteral("Ondrel/Ondrel.conf")), QSettings::NativeFormat);
        return file.value(QStringLiteral("app.language")).toString();
    }

    void writeTable(const QString& code, const QByteArray& bytes)
    {
        QDir(work_.path()).mkpath(QStringLiteral("Resources/Localizations"));
        QFile file(work_.filePath(QStringLiteral("Resources/Localizations/%1.json").arg(code)));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QDir::setCurrent(work_.path());
        QSettings seed(config_.filePath(QStringLiteral("Ondrel/Ondrel.conf")), QSettings::NativeFormat);
        seed.setValue(QStringLiteral("app.language"), QStringLiteral("ar"));
    }

    void lenientMatch_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<std::optional<AppLanguage>>("expected");
        using L = AppLanguage;
        QTest::newRow("en-US") << "en-US" << std::optional(L::en);
        QTest::newRow("pt-BR") << "pt-BR" << std::optional(L::ptBR);
        QTest::newRow("pt-br-x") << "pt-br-x" << std::optional(L::ptBR);
        QTest::newRow("PT-br") << "PT-br" << std::optional(L::ptBR);
        QTest::newRow("pt-PT") << "pt-PT" << std::optional(L::pt);
        QTest::newRow("zh-TW") << "zh-TW" << std::optional(L::zhHant);
        QTest::newRow("zh-Hant-HK") << "zh-Hant-HK" << std::optional(L::zhHant);
        QTest::newRow("zh") << "zh" << std::optional(L::zhHans);
        QTest::newRow("zh-MO") << "zh-MO" << std::optional(L::zhHans);
        QTest::newRow("no") << "no" << std::optional<L>();
        QTest::newRow("empty") << "" << std::optional<L>();
        QTest::newRow("dashes only") << "--" << std::optional<L>();
        QTest::newRow("he-IL") << "he-IL" << std::optional(L::he);
    }

    void lenientMatch()
    {
        QFETCH(QString, identifier);
        QFETCH(std::optional<AppLanguage>, expected);
        QCOMPARE(LocaleSettings::match(identifier), expected);
    }

    void systemResolution()
    {
        QCOMPARE(LocaleSettings::resolveSystem({QStringLiteral("xx-YY"), QStringLiteral("de-AT")}),
                 AppLanguage::de);
        QCOMPARE(LocaleSettings::resolveSystem({QStringLiteral("xx")}), AppLanguage::en);
        QCOMPARE(LocaleSettings::resolveSystem({}), AppLanguage::en);
        QCOMPARE(LocaleSettings::resolve(AppLanguage::ko), AppLanguage::ko);
    }

    void storedChoiceAppliedAndCommandLineNeverStored()
    {
        LocaleSettings& settings = LocaleSettings::shared();
        QCOMPARE(settings.language(), AppLanguage::ar);
        QVERIFY(LocaleSettings::isRightToLeftCache);
        QVERIFY(!LocaleSettings::isJapaneseCache);

        QVERIFY(LocaleSettings::applyCommandLineChoice(QStringLiteral("ja")));
        QVERIFY(LocaleSettings::isJapaneseCache);
        QVERIFY(!LocaleSettings::isRightToLeftCache);
        QVERIFY(LocaleSettings::applyCommandLineChoice(QStringLiteral("en-GB")));
        QVERIFY(!LocaleSettings::isJapaneseCache);
        QVERIFY(!LocaleSettings::applyCommandLineChoice(QStringLiteral("xx")));
        QVERIFY(!LocaleSettings::isJapaneseCache);
        QCOMPARE(settings.language(), AppLanguage::ar);
        QCOMPARE(storedLanguage(), QStringLiteral("ar"));
    }

    void changingTheLanguageStoresAppliesAndAnnounces()
    {
        LocaleSettings& settings = LocaleSettings::shared();
        QSignalSpy changed(&settings, &LocaleSettings::languageChanged);
        settings.setLanguage(AppLanguage::he);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(storedLanguage(), QStringLiteral("he"));
        QVERIFY(LocaleSettings::isRightToLeftCache);
        settings.setLanguage(AppLanguage::he);
        QCOMPARE(changed.count(), 1);
        settings.setLanguage(AppLanguage::en);
        QVERIFY(!LocaleSettings::isRightToLeftCache);
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("Unknown"));
    }

    void storedValueThatNamesNothingMeansSystem()
    {
        UserDefaults defaults(QDir(work_.path()).filePath(QStringLiteral("other.conf")));
        defaults.setString(QStringLiteral("app.language"), QStringLiteral("EN"));
        LocaleSettings settings(defaults);
        QCOMPARE(settings.language(), AppLanguage::system);
    }

    void englishEmptiesAStaleTable()
    {
        writeTable(QStringLiteral("xx-test"), R"({"Unknown": "Inconnu"})");
        LocaleSettings::table = *LocaleSettings::loadTable(QStringLiteral("xx-test"));
        LocaleSettings::activeCode = QStringLiteral("xx-test");
        LocaleSettings::apply(AppLanguage::en);
        QVERIFY(LocaleSettings::table.isEmpty());
        QCOMPARE(LocaleSettings::activeCode, std::nullopt);
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("Unknown"));
    }

    void tablesFromTheWorkingFolder_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("members"); // -1: no table
        QTest::newRow("good, empty values dropped")
            << QByteArray(R"({"Scan again": "", "Unknown": "Inconnu", "%d APs##few": "x"})") << 2;
        QTest::newRow("empty object") << QByteArray("{}") << 0;
        QTest::newRow("malformed") << QByteArray(R"({"Unknown": "Inconnu")") << -1;
        QTest::newRow("array") << QByteArray(R"(["Unknown"])") << -1;
        QTest::newRow("number member") << QByteArray(R"({"Unknown": 3})") << -1;
        QTest::newRow("null member") << QByteArray(R"({"Unknown": null})") << -1;
        QTest::newRow("not json") << QByteArray("\xff\xfe\x00garbage", 10) << -1;
        QTest::newRow("empty file") << QByteArray() << -1;
        QTest::newRow("huge") << QByteArray(9 * 1024 * 1024, ' ') + "{}" << -1;
    }

    void tablesFromTheWorkingFolder()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, members);
        writeTable(QStringLiteral("xx-test"), bytes);
        const auto table = LocaleSettings::loadTable(QStringLiteral("xx-test"));
        if (members < 0) {
            QVERIFY(!table);
        } else {
            QVERIFY(table);
            QCOMPARE(table->size(), members);
            QVERIFY(!table->contains(QStringLiteral("Scan again")));
        }
        QVERIFY(!LocaleSettings::loadTable(QStringLiteral("no-such-language")));
    }

    void sourceTableIsCompiledIn()
    {
        QFile source(QStringLiteral(":/Localizations/_source.json"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const int members = QJsonDocument::fromJson(source.readAll()).object().size();
        QVERIFY(members > 0);
        QCOMPARE(LocaleSettings::totalStringCount(), members);
    }
};

QTEST_GUILESS_MAIN(TestLocaleSettings)
#include "tst_localesettings.moc"
