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

    void formattingWidthsAndSignatures()
    {
        // Format and result with the arguments "Café" and 3: text where a number belongs is 0, a missing
        // argument stays, an absurd width is literal.
        const std::pair<const char*, const char*> rows[] = {{"%@ has %d APs", "Café has 3 APs"},
                                                            {"100%% of %@ %d", "100% of Café 3"},
                                                            {"[%-6@]", "[Café  ]"},
                                                            {"[%6@]", "[  Café]"},
                                                            {"%@[%4d]", "Café[   3]"},
                                                            {"[%2$-4d]", "[3   ]"},
                                                            {"%d", "0"},
                                                            {"[%2@]", "[Café]"},
                                                            {"%2$d × %1$@", "3 × Café"},
                                                            {"%@ %d %@", "Café 3 %@"},
                                                            {"%s and %@", "%s and Café"},
                                                            {"%@ 5%", "Café 5%"},
                                                            {"%99999999999@", "%99999999999@"}};
        for (const auto& [format, expected] : rows)
            QCOMPARE(formatText(QString::fromUtf8(format), {"Café", 3}), QString::fromUtf8(expected));
        // A translation may reorder; one that consumes other arguments is not used.
        useTable({{QStringLiteral("%@ · Channel %d"), QStringLiteral("Canal %2$d de %1$@")}});
        QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {"Café", 3}),
                 QStringLiteral("Canal 3 de Café"));
        for (const char* other : {"%@ canal %d %@", "%d canal %@", "canal %d", "%1$@ canal %d", "canal"}) {
            useTable({{QStringLiteral("%@ · Channel %d"), QString::fromUtf8(other)}});
            QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {"Café", 3}),
                     QStringLiteral("Café · Channel 3"));
        }
        // A flag emoji is two code points, four UTF-16 units, one character;
        // "é" as e + combining accent is one character.
        const QString flag = QString::fromUtf8("\U0001F1EF\U0001F1F5");
        const QString decomposed = QString::fromUtf8("e\u0301");
        QCOMPARE(formatText(QStringLiteral("%-3@|"), {flag}), flag + QStringLiteral("  |"));
        QCOMPARE(formatText(QStringLiteral("%3@|"), {decomposed}), QStringLiteral("  ") + decomposed + u'|');
        QCOMPARE(graphemeCount(QStringLiteral("a\r\nb")), 3);
        // The arguments a format consumes (widths and "%%" aside); nothing when they conflict.
        QCOMPARE(formatSignature(QStringLiteral("%-32@ %4d %7@ %%")), QStringLiteral("@d@"));
        QCOMPARE(formatSignature(QStringLiteral("%1$d %1$@")), std::nullopt);
        QCOMPARE(formatSignature(QStringLiteral("%q")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_Lookup.moc"
