#include "app/TerminalText.h"

#include <QTest>

using namespace ondrel;

class TestTerminalText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void escapes_data();
    void escapes();
};

void TestTerminalText::escapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "Café 日本 👩‍👩‍👧"
                           << "Café 日本 👩‍👩‍👧";
    QTest::newRow("escape sequence") << "a\x1b[2Jb"
                                     << "a\\x1b[2Jb";
    QTest::newRow("NUL") << QString::fromUtf16(u"a\0b", 3) << "a\\x00b";
    QTest::newRow("line breaks and tab") << "a\nb\rc\td"
                                         << "a\\x0ab\\x0dc\\x09d";
    QTest::newRow("DEL and C1") << QString::fromUtf16(u"a\u007f\u009bb") << "a\\x7f\\x9bb";
    QTest::newRow("bidi override") << QString::fromUtf16(u"\u202eabc\u202c") << "\\u202eabc\\u202c";
    QTest::newRow("bidi isolates and marks")
        << QString::fromUtf16(u"\u2066\u2069\u200e\u200f\u061c") << "\\u2066\\u2069\\u200e\\u200f\\u061c";
    QTest::newRow("separators") << QString::fromUtf16(u"a\u2028b\u2029") << "a\\u2028b\\u2029";
    QTest::newRow("backslash cannot fake an escape") << "\\x1b"
                                                     << "\\\\x1b";
    QTest::newRow("replacement character stays")
        << QString::fromUtf16(u"\ufffdA") << QString::fromUtf16(u"\ufffdA");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + "x"
                                    << "\\ud800x";
}

void TestTerminalText::escapes()
{
    QFETCH(QString, text);
    QTEST(terminalSafe(text), "shown");
}

QTEST_GUILESS_MAIN(TestTerminalText)
#include "tst_TerminalText.moc"
