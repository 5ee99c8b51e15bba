#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"

#include <QTest>

using namespace ondrel;

class TestLookup : public QObject {
    Q_OBJECT

    static void useTable(const QHash<QString, QString>& table)
    {
        LocaleSettings::isJapaneseCache = false;
        LocaleSettings::table = table;
        LocaleSettings::activeCode = QStringLiteral("fr");
    }

private Q_SLOTS:
    void init()
    {
        LocaleSettings::isJapaneseCache = false;
        LocaleSettings::table.clear();
        LocaleSettings::activeCode.reset();
    }

    void japaneseUntilALanguageIsApplied()
    {
        // The first thing this process does with the lookup state is read it.
        LocaleSettings::isJapaneseCache = true;
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("不明"));
        QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {QStringLiteral("5 GHz"), 36}),
                 QStringLiteral("5 GHz ・ チャンネル 36"));
    }

    void tablesAndFallback()
    {
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("Unknown"));
        useTable({{QStringLiteral("Unknown"), QStringLiteral("Inconnu")}});
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("Inconnu"));
        QCOMPARE(L("もう一度スキャン", "Scan again"), QStringLiteral("Scan again"));
    }

    void formatting_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "%@ has %d APs"
                               << "Café has 3 APs";
        QTest::newRow("percent") << "100%% of %@ %d"
                                 << "100% of Café 3";
        QTest::newRow("left width") << "[%-6@]"
                                    << "[Café  ]";
        QTest::newRow("right width") << "[%6@]"
                                     << "[  Café]";
        QTest::newRow("number width") << "%@[%4d]"
                                      << "Café[   3]";
        QTest::newRow("left number") << "[%2$-4d]"
                                     << "[3   ]";
        QTest::newRow("text where a number belongs") << "%d"
                                                     << "0";
        QTest::newRow("narrower than text") << "[%2@]"
                                            << "[Café]";
        QTest::newRow("positional reorder") << "%2$d × %1$@"
                                            << "3 × Café";
        QTest::newRow("missing argument kept") << "%@ %d %@"
                                               << "Café 3 %@";
        QTest::newRow("unknown conversion") << "%s and %@"
                                            << "%s and Café";
        QTest::newRow("trailing percent") << "%@ 5%"
                                          << "Café 5%";
        QTest::newRow("absurd width is literal") << "%99999999999@"
                                                 << "%99999999999@";
    }

    void formatting()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        const QString out = formatText(format, {QStringLiteral("Café"), 3});
        QCOMPARE(out, expected);
    }

    void widthsCountUserPerceivedCharacters()
    {
        // A flag emoji is two code points, four UTF-16 units, one character;
        // "é" as e + combining accent is one character.
        const QString flag = QString::fromUtf8("\U0001F1EF\U0001F1F5");
        const QString decomposed = QString::fromUtf8("e\u0301");
        QCOMPARE(formatText(QStringLiteral("%-3@|"), {flag}), flag + QStringLiteral("  |"));
        QCOMPARE(formatText(QStringLiteral("%3@|"), {decomposed}), QStringLiteral("  ") + decomposed + u'|');
        QCOMPARE(graphemeCount(QStringLiteral("日本語")), 3);
        QCOMPARE(graphemeCount(QStringLiteral("a\r\nb")), 3);
    }

    void translationWithOtherSpecifiersFallsBackToEnglish_data()
    {
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("expected");
        QTest::newRow("same") << "Canal %2$d de %1$@"
                              << "Canal 36 de Box";
        QTest::newRow("extra argument") << "%@ canal %d %@"
                                        << "Box · Channel 36";
        QTest::newRow("swapped types") << "%d canal %@"
                                       << "Box · Channel 36";
        QTest::newRow("missing one") << "canal %d"
                                     << "Box · Channel 36";
        QTest::newRow("mixed forms") << "%1$@ canal %d"
                                     << "Box · Channel 36";
        QTest::newRow("no specifiers") << "canal"
                                       << "Box · Channel 36";
    }

    void translationWithOtherSpecifiersFallsBackToEnglish()
    {
        QFETCH(QString, translation);
        QFETCH(QString, expected);
        useTable({{QStringLiteral("%@ · Channel %d"), translation}});
        QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {QStringLiteral("Box"), 36}), expected);
    }

    void rightToLeftIsolatesInsertedTexts()
    {
        useTable({});
        LocaleSettings::isRightToLeftCache = true;
        const QString out = Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {QStringLiteral("5 GHz"), 36});
        LocaleSettings::isRightToLeftCache = false;
        QCOMPARE(out, QString(QChar(0x2068)) + QStringLiteral("5 GHz") + QChar(0x2069) +
                          QStringLiteral(" · Channel 36"));
        QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {QStringLiteral("5 GHz"), 36}),
                 QStringLiteral("5 GHz · Channel 36"));
    }

    void signatures()
    {
        QCOMPARE(formatSignature(QStringLiteral("%-32@ %4d %7@ %%")), QStringLiteral("@d@"));
        QCOMPARE(formatSignature(QStringLiteral("%2$d %1$@")), QStringLiteral("@d"));
        QCOMPARE(formatSignature(QStringLiteral("%1$d %1$@")), std::nullopt);
        QCOMPARE(formatSignature(QStringLiteral("%q")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
