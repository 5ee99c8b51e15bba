#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/Plural.h"

#include <QTest>

using namespace ondrel;

Q_DECLARE_METATYPE(ondrel::PluralCategory)

class TestPlural : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void categories_data()
    {
        using enum PluralCategory;
        QTest::addColumn<QString>("code");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<PluralCategory>("expected");
        auto row = [](const char* code, qint64 n, PluralCategory c) {
            QTest::addRow("%s %lld", code, static_cast<long long>(n)) << QString::fromLatin1(code) << n << c;
        };
        for (const char* code : {"ja", "ko", "th", "vi", "id", "ms", "zh-Hans", "zh-Hant"})
            row(code, 1, other);
        for (const char* code : {"en", "de", "nl", "sv", "da", "fi", "nb", "el", "hu", "tr"}) {
            row(code, 1, one);
            row(code, 0, other);
            row(code, 2, other);
        }
        row("en", -1, one);
        row("hi", 0, one);
        row("hi", 1, one);
        row("hi", 2, other);
        for (const char* code : {"fr", "pt", "pt-BR"}) {
            row(code, 0, one);
            row(code, 1, one);
            row(code, 2, other);
            row(code, 1000000, many);
            row(code, 2000000, many);
            row(code, 1000001, other);
        }
        for (const char* code : {"es", "it"}) {
            row(code, 0, other);
            row(code, 1, one);
            row(code, 5, other);
            row(code, 3000000, many);
        }
        row("ru", 1, one);
        row("ru", 11, many);
        row("ru", 21, one);
        row("ru", 22, few);
        row("ru", 112, many);
        row("ru", 0, many);
        row("uk", 4, few);
        row("uk", 14, many);
        row("pl", 1, one);
        row("pl", 21, many);
        row("pl", 3, few);
        row("pl", 13, many);
        row("pl", 24, few);
        row("pl", 5, many);
        row("cs", 1, one);
        row("cs", 4, few);
        row("cs", 5, other);
        row("sk", 22, other);
        row("ro", 0, few);
        row("ro", 1, one);
        row("ro", 19, few);
        row("ro", 20, other);
        row("ro", 101, few);
        row("ro", 120, other);
        row("he", 1, one);
        row("he", 2, two);
        row("he", 3, other);
        row("ar", 0, zero);
        row("ar", 1, one);
        row("ar", 2, two);
        row("ar", 3, few);
        row("ar", 10, few);
        row("ar", 11, many);
        row("ar", 99, many);
        row("ar", 100, other);
        row("ar", 102, other);
        row("ar", 103, few);
        row("xx", 1, one);
        row("xx", 7, other);
        row("PL", 3, other); // codes compare case-sensitively
        row("en", std::numeric_limits<qint64>::min(), other);
    }

    void categories()
    {
        QFETCH(QString, code);
        QFETCH(qint64, count);
        QFETCH(PluralCategory, expected);
        QCOMPARE(pluralCategory(count, code), expected);
    }

    void formats_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("code"); // empty: no table applied
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("expected");
        QTest::newRow("japanese") << true << "" << qint64(3) << "%d台";
        QTest::newRow("english one") << false << "" << qint64(1) << "%d AP";
        QTest::newRow("english other") << false << "" << qint64(0) << "%d APs";
        QTest::newRow("polish few") << false << "pl" << qint64(3) << "%d punkty";
        QTest::newRow("polish many falls to other member") << false << "pl" << qint64(5) << "%d punktów";
        QTest::newRow("polish one missing falls to other member")
            << false << "pl" << qint64(1) << "%d punktów";
        QTest::newRow("empty table falls to english") << false << "de" << qint64(1) << "%d AP";
        QTest::newRow("mismatched member skipped") << false << "ar" << qint64(2) << "%d نقاط";
    }

    void formats()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, code);
        QFETCH(qint64, count);
        QFETCH(QString, expected);
        LocaleSettings::isJapaneseCache = japanese;
        LocaleSettings::table.clear();
        LocaleSettings::activeCode.reset();
        if (code == QLatin1String("pl")) {
            LocaleSettings::table = {{QStringLiteral("%d APs##few"), QStringLiteral("%d punkty")},
                                     {QStringLiteral("%d APs"), QStringLiteral("%d punktów")}};
        } else if (code == QLatin1String("ar")) {
            // The "two" member forgot its number; the plain member is used instead.
            LocaleSettings::table = {{QStringLiteral("%d APs##two"), QStringLiteral("نقطتان %@")},
                                     {QStringLiteral("%d APs"), QStringLiteral("%d نقاط")}};
        }
        if (!code.isEmpty())
            LocaleSettings::activeCode = code;
        QCOMPARE(pluralFormat("%d台", "%d AP", "%d APs", count), expected);
    }
};

QTEST_GUILESS_MAIN(TestPlural)
#include "tst_plural.moc"
