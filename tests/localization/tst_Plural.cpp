#include "localization/LocaleSettings.h"
#include "localization/Plural.h"

#include <QTest>

using namespace ondrel;

class TestPlural : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void categoriesAndFormats()
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
                    QVERIFY2(category == parts[1],
                             qPrintable(code + u' ' + pair + QStringLiteral(" became ") + category));
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
            LocaleSettings::isJapaneseCache = japanese;
            LocaleSettings::table = table;
            LocaleSettings::activeCode.reset();
            if (*code)
                LocaleSettings::activeCode = QString::fromLatin1(code);
            QCOMPARE(pluralFormat("%d台", "%d AP", "%d APs", count), QString::fromUtf8(expected));
        }
    }
};

QTEST_GUILESS_MAIN(TestPlural)
#include "tst_Plural.moc"
