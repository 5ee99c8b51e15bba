// The JSON text every --json mode prints: valid Unicode whatever a name's
// bytes were, and nothing in a string that a terminal would act on.
#include "app/JsonOutput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace ondrel;

class TestJsonOutput : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A pair of surrogates is one character and stays; a half of one (a byte that was not UTF-8)
    // becomes U+FFFD wherever it stands, also right after a pair and at the end. Bidirectional
    // controls and other format characters are written as \uXXXX, four digits each; a combining
    // mark stays as it is.
    void surrogatesAndFormatCharacters()
    {
        const QString face = QString::fromUcs4(U"\U0001F600");
        const QString text = face + QChar(0xdc80) + face + QStringLiteral("a") + QChar(0xd800);
        const QByteArray json = jsonText({{"s", text}, {"f", QStringLiteral("a\u202eb\u00adc\u0301")}});
        QCOMPARE(QJsonDocument::fromJson(json).object().value("s").toString(),
                 face + QChar(0xfffd) + face + QStringLiteral("a") + QChar(0xfffd));
        QVERIFY2(json.contains(R"("a\u202eb\u00adc)"
                               "\xcc\x81"
                               R"(")"),
                 json.constData());
    }
};

QTEST_GUILESS_MAIN(TestJsonOutput)
#include "tst_JsonOutput.moc"
