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

    static void row(const char* name, const char* format, const char* expected, bool translation = false)
    {
        QTest::newRow(name) << QString::fromUtf8(format) << QString::fromUtf8(expected) << translation;
    }

private Q_SLOTS:
    void japaneseEnglishTablesAndRightToLeft()
    {
        LocaleSettings::isJapaneseCache = true; // until a language is applied
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("不明"));
        QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {QStringLiteral("5 GHz"), 36}),
                 QStringLiteral("5 GHz ・ チャンネル 36"));
        useTable({});
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("Unknown"));
        useTable({{QStringLiteral("Unknown"), QStringLiteral("Inconnu")}});
        QCOMPARE(L("不明", "Unknown"), QStringLiteral("Inconnu"));
        QCOMPARE(L("もう一度スキャン", "Scan again"), QStringLiteral("Scan again"));
        // Right to left, inserted texts are isolated.
        useTable({});
        LocaleSettings::isRightToLeftCache = true;
        const QString out = Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {QStringLiteral("5 GHz"), 36});
        LocaleSettings::isRightToLeftCache = false;
        QCOMPARE(out, QString(QChar(0x2068)) + QStringLiteral("5 GHz") + QChar(0x2069) +
                          QStringLiteral(" · Channel 36"));
    }

    void formatting_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("translation"); // of "%@ · Channel %d"
        row("plain", "%@ has %d APs", "Café has 3 APs");
        row("percent", "100%% of %@ %d", "100% of Café 3");
        row("left width", "[%-6@]", "[Café  ]");
        row("right width", "[%6@]", "[  Café]");
        row("number width", "%@[%4d]", "Café[   3]");
        row("left number", "[%2$-4d]", "[3   ]");
        row("text where a number belongs", "%d", "0");
        row("narrower than text", "[%2@]", "[Café]");
        row("positional reorder", "%2$d × %1$@", "3 × Café");
        row("missing argument kept", "%@ %d %@", "Café 3 %@");
        row("unknown conversion", "%s and %@", "%s and Café");
        row("trailing percent", "%@ 5%", "Café 5%");
        row("absurd width is literal", "%99999999999@", "%99999999999@");
        row("translation", "Canal %2$d de %1$@", "Canal 3 de Café", true);
        // A translation that consumes other arguments is not used.
        for (const char* other : {"%@ canal %d %@", "%d canal %@", "canal %d", "%1$@ canal %d", "canal"})
            row(other, other, "Café · Channel 3", true);
    }

    void formatting()
    {
        QFETCH(QString, format);
        QFETCH(bool, translation);
        if (translation)
            useTable({{QStringLiteral("%@ · Channel %d"), format}});
        QTEST(translation ? Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {"Café", 3})
                          : formatText(format, {"Café", 3}),
              "expected");
    }

    void widthsAndSignatures()
    {
        // A flag emoji is two code points, four UTF-16 units, one character;
        // "é" as e + combining accent is one character.
        const QString flag = QString::fromUtf8("\U0001F1EF\U0001F1F5");
        const QString decomposed = QString::fromUtf8("e\u0301");
        QCOMPARE(formatText(QStringLiteral("%-3@|"), {flag}), flag + QStringLiteral("  |"));
        QCOMPARE(formatText(QStringLiteral("%3@|"), {decomposed}), QStringLiteral("  ") + decomposed + u'|');
        QCOMPARE(graphemeCount(QStringLiteral("日本語")), 3);
        QCOMPARE(graphemeCount(QStringLiteral("a\r\nb")), 3);
        // The arguments a format consumes; nothing when they conflict.
        QCOMPARE(formatSignature(QStringLiteral("%-32@ %4d %7@ %%")), QStringLiteral("@d@"));
        QCOMPARE(formatSignature(QStringLiteral("%2$d %1$@")), QStringLiteral("@d"));
        QCOMPARE(formatSignature(QStringLiteral("%1$d %1$@")), std::nullopt);
        QCOMPARE(formatSignature(QStringLiteral("%q")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_Lookup.moc"
