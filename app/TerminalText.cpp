#include "app/TerminalText.h"

namespace ondrel {

namespace {

bool needsEscape(char32_t c)
{
    if (c < 0x20 || (c >= 0x7f && c <= 0x9f))
        return true;
    switch (c) {
    case 0x061c: // Arabic letter mark
    case 0x200e: // left-to-right mark
    case 0x200f: // right-to-left mark
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        break;
    }
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString terminalSafe(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text[i];
        if (unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += unit;
            out += text[++i];
            continue;
        }
        if (unit.isSurrogate()) {
            out += QStringLiteral("\\u%1").arg(unit.unicode(), 4, 16, QLatin1Char('0'));
            continue;
        }
        const char16_t c = unit.unicode();
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c < 0x100 && needsEscape(c))
            out += QStringLiteral("\\x%1").arg(unsigned(c), 2, 16, QLatin1Char('0'));
        else if (needsEscape(c))
            out += QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
        else
            out += unit;
    }
    return out;
}

} // namespace ondrel
