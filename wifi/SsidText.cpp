#include "wifi/SsidText.h"

#include <QList>
#include <QSet>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/uspoof.h>

#include <memory>
#include <vector>

namespace ondrel {

namespace {

constexpr char16_t kByteBase = 0xdc00; // an undecodable byte b is kept as U+DC00 + b
constexpr int kMaxStackedMarks = 2;
constexpr QChar kFirstStrongIsolate(0x2068);
constexpr QChar kLeftToRightIsolate(0x2066);
constexpr QChar kPopDirectionalIsolate(0x2069);

struct CodePoint {
    char32_t value = 0;
    qsizetype offset = 0; // in UTF-16 units
    qsizetype length = 1; // 1, or 2 for a surrogate pair
};

std::vector<CodePoint> codePoints(const QString& text)
{
    std::vector<CodePoint> points;
    points.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text[i];
        if (unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points.push_back({QChar::surrogateToUcs4(unit, text[i + 1]), i, 2});
            ++i;
        } else {
            points.push_back({unit.unicode(), i, 1});
        }
    }
    return points;
}

bool isByte(char32_t c)
{
    return c >= kByteBase + 0x80u && c <= kByteBase + 0xffu;
}

QString escape(char32_t c)
{
    if (isByte(c))
        return QStringLiteral("\\x%1").arg(unsigned(c - kByteBase), 2, 16, QLatin1Char('0'));
    if (c < 0x80)
        return QStringLiteral("\\x%1").arg(unsigned(c), 2, 16, QLatin1Char('0'));
    if (c <= 0xffff)
        return QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
    return QStringLiteral("\\U%1").arg(unsigned(c), 8, 16, QLatin1Char('0'));
}

// Characters that act, or that a reader cannot see.
bool isHidden(char32_t c)
{
    switch (u_charType(UChar32(c))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
        return true;
    default:
        return u_hasBinaryProperty(UChar32(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
    }
}

// A space that could go unnoticed or pass for another: at either end, next to
// another space, or any space character but U+0020 (and the blank braille
// pattern, which is drawn as one).
bool isDoubtfulSpace(const std::vector<CodePoint>& points, size_t i)
{
    const char32_t c = points[i].value;
    if (c == U' ')
        return i == 0 || i + 1 == points.size() || points[i - 1].value == U' ' || points[i + 1].value == U' ';
    return c == 0x2800 || u_charType(UChar32(c)) == U_SPACE_SEPARATOR;
}

const USpoofChecker* spoofChecker()
{
    static const std::unique_ptr<USpoofChecker, void (*)(USpoofChecker*)> checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker* opened = uspoof_open(&status);
        if (U_FAILURE(status)) {
            uspoof_close(opened);
            opened = nullptr;
        }
        return std::unique_ptr<USpoofChecker, void (*)(USpoofChecker*)>(opened, &uspoof_close);
    }();
    return checker.get();
}

// A non-ASCII character whose confusable skeleton is plain printable ASCII.
bool looksAscii(char32_t c)
{
    const USpoofChecker* checker = spoofChecker();
    if (c < 0x80 || !checker)
        return false;
    UChar in[2];
    UBool error = false;
    int32_t length = 0;
    U16_APPEND(in, length, 2, UChar32(c), error);
    UChar skeleton[32];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t size = uspoof_getSkeleton(checker, 0, in, length, skeleton, 32, &status);
    if (error || U_FAILURE(status) || size <= 0)
        return false;
    for (int32_t i = 0; i < size; ++i) {
        if (skeleton[i] <= 0x20 || skeleton[i] >= 0x7f)
            return false;
    }
    return true;
}

// Marks the characters after the base of every grapheme cluster that NFC
// would change, and the base too when NFC changes it on its own.
void markUnnormalized(const QString& text, const std::vector<CodePoint>& points, std::vector<bool>& escaped)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    size_t first = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        size_t next = first;
        while (next < points.size() && points[next].offset < end)
            ++next;
        const QString cluster = text.mid(start, end - start);
        if (next > first && cluster.normalized(QString::NormalizationForm_C) != cluster) {
            const QString base = text.mid(points[first].offset, points[first].length);
            escaped[first] = escaped[first] || base.normalized(QString::NormalizationForm_C) != base;
            for (size_t k = first + 1; k < next; ++k)
                escaped[k] = true;
        }
        start = end;
        first = next;
    }
}

// Marks the non-ASCII characters that pass for ASCII (see visibleName).
void markLookalikes(const std::vector<CodePoint>& points, std::vector<bool>& escaped)
{
    bool asciiAlphanumeric = false;
    QSet<int> clearScripts; // scripts with a letter in the name that passes for nothing
    std::vector<bool> lookalike(points.size(), false);
    for (size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i].value;
        if (c < 0x80) {
            asciiAlphanumeric = asciiAlphanumeric || QChar(char16_t(c)).isLetterOrNumber();
            continue;
        }
        lookalike[i] = looksAscii(c);
        UErrorCode status = U_ZERO_ERROR;
        const UScriptCode script = uscript_getScript(UChar32(c), &status);
        if (!lookalike[i] && u_isalpha(UChar32(c)) && script > USCRIPT_INHERITED && script != USCRIPT_LATIN)
            clearScripts.insert(script);
    }
    for (size_t i = 0; i < points.size(); ++i) {
        if (!lookalike[i])
            continue;
        UErrorCode status = U_ZERO_ERROR;
        const int script = uscript_getScript(UChar32(points[i].value), &status);
        if (asciiAlphanumeric || !clearScripts.contains(script))
            escaped[i] = true;
    }
}

// Runs of shown text and of escapes, in order.
struct Piece {
    QString text;
    bool escape = false;
};

void append(QList<Piece>& pieces, const QString& text, bool escape)
{
    if (!pieces.isEmpty() && pieces.last().escape == escape)
        pieces.last().text += text;
    else
        pieces.append({text, escape});
}

// Printable ASCII without a backslash and, in a name, without a doubtful
// space: shown as it is. Most names are; they skip the Unicode work.
bool isPlainAscii(const QString& text, bool asName)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c > 0x7e || c == u'\\')
            return false;
        if (asName && c == u' ' &&
            (i == 0 || i + 1 == text.size() || text[i - 1] == u' ' || text[i + 1] == u' '))
            return false;
    }
    return true;
}

QList<Piece> render(const QString& text, bool asName)
{
    if (isPlainAscii(text, asName))
        return {Piece{text, false}};
    const std::vector<CodePoint> points = codePoints(text);
    std::vector<bool> escaped(points.size(), false);
    if (asName) {
        markUnnormalized(text, points, escaped);
        markLookalikes(points, escaped);
    }
    QList<Piece> pieces;
    bool onShownBase = false; // the last character was shown and can carry marks
    int stacked = 0;          // marks shown on that base so far
    for (size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i].value;
        if (c == U'\\') {
            append(pieces, QStringLiteral("\\\\"), true);
            onShownBase = false;
            continue;
        }
        const int type = u_charType(UChar32(c));
        const bool stacking = type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK;
        const bool mark = stacking || type == U_COMBINING_SPACING_MARK;
        bool show = !escaped[i] && !isHidden(c) && !(asName && isDoubtfulSpace(points, i));
        // Overlay marks (combining class 1) are drawn across the characters
        // beside their base, so they are never shown.
        if (mark)
            show = show && onShownBase && (!stacking || stacked < kMaxStackedMarks) &&
                   u_getCombiningClass(UChar32(c)) != 1;
        if (!show) {
            append(pieces, escape(c), true);
            onShownBase = false;
            continue;
        }
        append(pieces, text.mid(points[i].offset, points[i].length), false);
        if (mark) {
            stacked += stacking ? 1 : 0;
        } else {
            onShownBase = c != U' ';
            stacked = 0;
        }
    }
    return pieces;
}

QString joined(const QList<Piece>& pieces)
{
    QString out;
    for (const Piece& piece : pieces)
        out += piece.text;
    return out;
}

} // namespace

QString ssidFromBytes(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar lead = p[i];
        int length = 0;
        char32_t c = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2;
            c = lead & 0x1f;
            smallest = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3;
            c = lead & 0x0f;
            smallest = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4;
            c = lead & 0x07;
            smallest = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            valid = (p[i + k] & 0xc0) == 0x80;
            c = (c << 6) | (p[i + k] & 0x3f);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        valid = valid && c >= smallest && c <= 0x10ffff && (c < 0xd800 || c > 0xdfff);
        if (valid) {
            out.append(QChar::fromUcs4(c)); // (QString::fromUcs4 would drop a U+FEFF)
            i += length;
        } else {
            out += QChar(char16_t(kByteBase + lead));
            ++i;
        }
    }
    return out;
}

QByteArray ssidToBytes(const QString& ssid)
{
    QByteArray out;
    qsizetype runStart = 0;
    for (const CodePoint& point : codePoints(ssid)) {
        if (!isByte(point.value))
            continue;
        out += QStringView(ssid).mid(runStart, point.offset - runStart).toUtf8();
        out += char(point.value - kByteBase);
        runStart = point.offset + 1;
    }
    out += QStringView(ssid).mid(runStart).toUtf8();
    return out;
}

QString visibleText(const QString& text)
{
    return joined(render(text, false));
}

QString visibleName(const QString& name)
{
    return joined(render(name, true));
}

QString screenName(const QString& name)
{
    QString out = kFirstStrongIsolate;
    for (const Piece& piece : render(name, true)) {
        if (piece.escape)
            out += kLeftToRightIsolate + piece.text + kPopDirectionalIsolate;
        else
            out += piece.text;
    }
    return out + kPopDirectionalIsolate;
}

bool isPlainName(const QString& name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return visibleName(name) == name;
}

QString nameBytesHex(const QString& name)
{
    return QString::fromLatin1(ssidToBytes(name).toHex(' ').toUpper());
}

} // namespace ondrel
