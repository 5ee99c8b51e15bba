// Terminal escaping of names and server texts, on the input read as UTF-8
// and as raw UTF-16 (lone surrogates included): nothing that acts on a
// terminal or reorders a line is left, and the escaped text decodes back to
// exactly the input, so that two different texts never print alike.

#include "FuzzCheck.h"

#include "app/TerminalText.h"

#include <QList>

#include <cstring>
#include <string>

using namespace ondrel;

namespace {

bool acts(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f ||
           (c >= 0x2028 && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || (c >= 0xd800 && c <= 0xdfff);
}

// The inverse of the escaping: "\\\\", "\\xHH" (from 80 on: a byte that is not
// UTF-8, kept as U+DC00 + HH), "\\uHHHH" and "\\UHHHHHHHH".
QString unescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out += text[i];
            continue;
        }
        FUZZ_CHECK(i + 1 < text.size());
        const QChar kind = text[++i];
        if (kind == u'\\') {
            out += kind;
            continue;
        }
        const int digits = kind == u'x' ? 2 : kind == u'u' ? 4 : 8;
        FUZZ_CHECK((kind == u'x' || kind == u'u' || kind == u'U') && i + digits < text.size());
        bool ok = false;
        const uint value = text.mid(i + 1, digits).toUInt(&ok, 16);
        FUZZ_CHECK(ok);
        if (kind == u'x' && value >= 0x80)
            out += QChar(char16_t(0xdc00 + value));
        else if (kind == u'U')
            out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&value), 1);
        else
            out += QChar(char16_t(value));
        i += digits;
    }
    return out;
}

void check(const QString& text)
{
    const QString safe = terminalSafe(text);
    for (const char32_t c : safe.toUcs4())
        FUZZ_CHECK(!acts(c));
    for (qsizetype i = 0; i < safe.size(); ++i) {
        if (safe[i].isHighSurrogate())
            FUZZ_CHECK(i + 1 < safe.size() && safe[++i].isLowSurrogate());
        else
            FUZZ_CHECK(!safe[i].isSurrogate());
    }
    FUZZ_CHECK(unescape(safe) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    check(QString::fromStdU16String(units));
    return 0;
}
