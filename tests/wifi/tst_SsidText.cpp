// The display rule for network names and the escaping of terminal text.

#include "wifi/SsidText.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <unicode/uchar.h>

using namespace ondrel;

namespace {

QByteArray utf8(const char16_t* text)
{
    return QStringView(text).toUtf8();
}

// Nothing in `shown` acts or hides: only characters a reader sees, spaces between them, and the isolates
// screenName adds.
bool onlyVisible(const QString& shown)
{
    for (const uint c : shown.toUcs4()) {
        const int type = u_charType(UChar32(c));
        if (c < 0x20 || type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_SURROGATE ||
            type == U_UNASSIGNED || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR ||
            u_hasBinaryProperty(UChar32(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            return false;
    }
    return true;
}

} // namespace

class tst_SsidText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Bytes, what the name shows as, and whether only names escape it (spaces, normal form, lookalikes:
    // visibleText leaves such text as it is). A name is plain when it shows as its own bytes, and keeps its
    // bytes.
    void rule()
    {
        const QList<std::tuple<QByteArray, const char16_t*, bool>> rows{
            {"Ondrel-Home", u"Ondrel-Home", false},
            {utf8(u"カフェ مقهى ☕"), u"カフェ مقهى ☕", false},
            {utf8(u"Дача Σοφία"), u"Дача Σοφία", false},
            {utf8(u"evil\u202eTXT\u2066\u2069\u200e\u200f\u061c"),
             u"evil\\u202eTXT\\u2066\\u2069\\u200e\\u200f\\u061c", false},
            {QByteArray("a\x07\x1b[2J\t\n\r\0b", 11), u"a\\x07\\x1b[2J\\x09\\x0a\\x0d\\x00b", false},
            {utf8(u"a\u007f\u0080\u0085\u009bb"), u"a\\x7f\\u0080\\u0085\\u009bb", false},
            {utf8(u"H\u200bo\u200dm\ufeffe\u00ad\u2764\ufe0f\U000E0041\u3164"),
             u"H\\u200bo\\u200dm\\ufeffe\\u00ad\u2764\\ufe0f\\U000e0041\\u3164", false},
            {utf8(u"\ufeffCaf\u00e9"), u"\\ufeffCaf\u00e9", false},
            {utf8(u"a\u2028b\u2029\ue000\u0378\uffff"), u"a\\u2028b\\u2029\\ue000\\u0378\\uffff", false},
            {"\\x1b", u"\\\\x1b", false},
            {utf8(u"a\u0363\u0363\u0363\u0363"), u"a\u0363\u0363\\u0363\\u0363", false},
            {utf8(u"\u0301a \u0301 Z\u0334\u20d2"), u"\\u0301a \\u0301 Z\\u0334\\u20d2", false},
            {"\xc0\xaf-\xed\xa0\x80\xff-\xe3\x81", u"\\xc0\\xaf-\\xed\\xa0\\x80\\xff-\\xe3\\x81", false},
            {utf8(u" A  B\u00a0C\u3000D\u2800 "), u"\\x20A\\x20\\x20B\\u00a0C\\u3000D\\u2800\\x20", true},
            {utf8(u"Cafe\u0301 Caf\u00e9 \u212b \u1100\u1161"),
             u"Cafe\\u0301 Caf\u00e9 \\u212b \u1100\\u1161", true},
            {utf8(u"\u041endrel-Home"), u"\\u041endrel-Home", true},
            {utf8(u"\u0440\u0430\u0443\u0440\u0430"), u"\\u0440\\u0430\\u0443\\u0440\\u0430", true},
            {utf8(u"Ondrel\u2010Home\u2013W\u0131fi"), u"Ondrel\\u2010Home\\u2013W\\u0131fi", true},
        };
        for (const auto& [bytes, shownText, nameOnly] : rows) {
            const QString name = ssidFromBytes(bytes);
            const QString shown = QString::fromUtf16(shownText);
            QCOMPARE(visibleName(name), shown);
            QCOMPARE(visibleText(name), nameOnly ? name : shown);
            QCOMPARE(isPlainName(name), QString::fromLatin1(bytes) == shown && bytes.size() == shown.size());
            QCOMPARE(ssidToBytes(name), bytes);
        }
    }

    void bytesRoundTripAndStayApart()
    {
        // Random names, half of them any bytes, half of them text made of characters that read alike or could
        // forge an escape: each keeps its bytes, and no two show alike.
        static const char32_t pool[] = {
            'a',    ' ',    '\\',  'x',    'u',    '0',    '2',    0x07,   0x1b,   0xa0,    0xe9,
            0xc5,   0x301,  0x363, 0x41e,  0x43e,  'O',    'o',    0x200b, 0x202e, 0x2010,  0x212b,
            0x3000, 0x30ab, 0x645, 0xfe0f, 0x1100, 0x1161, 0xac00, 0x85,   0x2066, 0x1f600, 0xfeff};
        QRandomGenerator random(13);
        QHash<QString, QByteArray> seen;
        for (int i = 0; i < 4000; ++i) {
            QByteArray bytes;
            while (bytes.size() < 32 && random.bounded(12) != 0) {
                if (i % 2) {
                    bytes += char(random.bounded(256));
                } else {
                    const char32_t c = pool[random.bounded(int(std::size(pool)))];
                    bytes += QStringView(QChar::fromUcs4(c)).toUtf8();
                }
            }
            bytes.truncate(32);
            const QString name = ssidFromBytes(bytes);
            QCOMPARE(ssidToBytes(name), bytes);
            const QString shown = visibleName(name);
            QVERIFY(onlyVisible(shown));
            QVERIFY2(seen.value(shown, bytes) == bytes, qPrintable(shown));
            seen.insert(shown, bytes);
        }
        QCOMPARE(nameBytesHex(ssidFromBytes("\xe2\x80\xae-\xff")), QStringLiteral("E2 80 AE 2D FF"));
        // On a screen the name is a first-strong isolate; escapes run left to right inside it.
        QCOMPARE(screenName(QString::fromUtf16(u"\u0645\u0642\u0647\u0649\u0007")),
                 QString::fromUtf16(u"\u2068\u0645\u0642\u0647\u0649\u2066\\x07\u2069\u2069"));
        QCOMPARE(screenName(QStringLiteral("Home")), QString::fromUtf16(u"\u2068Home\u2069"));
    }
};

QTEST_GUILESS_MAIN(tst_SsidText)
#include "tst_SsidText.moc"
