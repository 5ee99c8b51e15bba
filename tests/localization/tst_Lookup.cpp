// The lookups of texts in the applied language: L, Lf, their formats and the plural forms.

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/Plural.h"

#include <QTest>

using namespace ondrel;

class TestLookup : public QObject {
    Q_OBJECT

    // Applies `table` as the language `code`'s (none for "") or, with `japanese`, Japanese.
    static void use(const QHash<QString, QString>& table, const char* code = "fr", bool japanese = false)
    {
        LocaleSettings::isJapaneseCache = japanese;
        LocaleSettings::table = table;
        LocaleSettings::activeCode = *code ? std::optional(QString::fromLatin1(code)) : std::nullopt;
    }

private Q_SLOTS:
    void lookupsAndFormats()
    {
        const auto channel = [] { return Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {"5 GHz", 36}); };
        use({}, "", true);
        QCOMPARE(std::pair(L("不明", "Unknown"), channel()),
                 std::pair(QString("不明"), QString("5 GHz ・ チャンネル 36")));
        use({});
        QCOMPARE(L("不明", "Unknown"), QString("Unknown"));
        // A text the table lacks stays English.
        use({{"Unknown", "Inconnu"}});
        QCOMPARE(std::pair(L("不明", "Unknown"), L("もう一度スキャン", "Scan again")),
                 std::pair(QString("Inconnu"), QString("Scan again")));
        // Right to left, inserted texts are isolated.
        use({});
        LocaleSettings::isRightToLeftCache = true;
        const QString out = channel();
        LocaleSettings::isRightToLeftCache = false;
        QCOMPARE(out, QString("\u20685 GHz\u2069 · Channel 36"));

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
        for (const char* other :
             {"Canal %2$d de %1$@", "%@ canal %d %@", "%d canal %@", "canal %d", "canal"}) {
            use({{"%@ · Channel %d", other}});
            QCOMPARE(Lf("%@ ・ チャンネル %d", "%@ · Channel %d", {"Café", 3}),
                     QString(*other == 'C' ? "Canal 3 de Café" : "Café · Channel 3"));
        }
        // A flag emoji is two code points, four UTF-16 units, one character;
        // "é" as e + combining accent is one character.
        const QString flag = QString::fromUtf8("\U0001F1EF\U0001F1F5"),
                      decomposed = QString::fromUtf8("e\u0301");
        QCOMPARE(std::tuple(formatText("%-3@|", {flag}), formatText("%3@|", {decomposed}),
                            graphemeCount("a\r\nb")),
                 std::tuple(flag + "  |", "  " + decomposed + u'|', 3));
        // The arguments a format consumes (widths and "%%" aside); nothing when they conflict.
        QCOMPARE(std::tuple(formatSignature("%-32@ %4d %7@ %%"), formatSignature("%1$d %1$@"),
                            formatSignature("%q")),
                 std::tuple(QString("@d@"), std::nullopt, std::nullopt));
    }

    void pluralCategoriesAndFormats()
    {
        // Codes, and "count:category …" for each of them.
        const std::pair<const char*, const char*> rows[] = {
            {"ja ko th vi id ms zh-Hans zh-Hant", "1:other 0:other"},
            {"en de nl sv da fi nb el hu tr", "1:one 0:other 2:other -1:one -9223372036854775808:other"},
            {"hi", "0:one 1:one 2:other"},
            {"fr pt pt-BR", "0:one 1:one 2:other 1000000:many 2000000:many 1000001:other"},
            {"es it", "0:other 1:one 5:other 3000000:many"},
            {"ru uk", "1:one 11:many 21:one 22:few 4:few 14:many 112:many 0:many"},
            {"pl", "1:one 21:many 3:few 13:many 24:few 5:many"},
            {"cs sk", "1:one 4:few 5:other 22:other"},
            {"ro", "0:few 1:one 19:few 20:other 101:few 120:other"},
            {"he", "1:one 2:two 3:other"},
            {"ar", "0:zero 1:one 2:two 3:few 10:few 11:many 99:many 100:other 102:other 103:few"},
            {"xx PL", "1:one 7:other 3:other"}, // codes compare case-sensitively
        };
        for (const auto& [codes, counts] : rows) {
            for (const QString& code : QString::fromLatin1(codes).split(u' ')) {
                for (const QString& pair : QString::fromLatin1(counts).split(u' ')) {
                    const QStringList parts = pair.split(u':');
                    const QString category = keyWord(pluralCategory(parts[0].toLongLong(), code));
                    QVERIFY2(category == parts[1], qPrintable(code + u' ' + pair + " became " + category));
                }
            }
        }
        const QHash<QString, QString> polish{{"%d APs##few", "%d punkty"}, {"%d APs", "%d punktów"}};
        // The "two" member forgot its number; the plain member is used instead.
        const QHash<QString, QString> arabic{{"%d APs##two", "نقطتان %@"}, {"%d APs", "%d نقاط"}};
        // Japanese, code (empty: no table applied), table, count, expected.
        const std::tuple<bool, const char*, QHash<QString, QString>, qint64, const char*> formats[] = {
            {true, "", {}, 3, "%d台"},
            {false, "", {}, 1, "%d AP"},
            {false, "pl", polish, 3, "%d punkty"},
            {false, "pl", polish, 5, "%d punktów"}, // many falls to the plain member
            {false, "pl", polish, 1, "%d punktów"}, // so does a missing one
            {false, "de", {}, 1, "%d AP"},          // an empty table falls to English
            {false, "ar", arabic, 2, "%d نقاط"}};
        for (const auto& [japanese, code, table, count, expected] : formats) {
            use(table, code, japanese);
            QCOMPARE(pluralFormat("%d台", "%d AP", "%d APs", count), QString::fromUtf8(expected));
        }
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_Lookup.moc"
