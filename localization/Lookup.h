#pragma once

#include <QString>

#include <initializer_list>
#include <optional>
#include <variant>
#include <vector>

namespace ondrel {

// One argument of a format text: a whole number for %d, a text for %@.
class FormatArg {
public:
    FormatArg(int value) : value_(qint64(value)) {}
    FormatArg(unsigned value) : value_(qint64(value)) {}
    FormatArg(long value) : value_(qint64(value)) {}
    FormatArg(long long value) : value_(qint64(value)) {}
    FormatArg(unsigned long value) : value_(qint64(value)) {}
    FormatArg(const QString& value) : value_(value) {}
    FormatArg(const char* value) : value_(QString::fromUtf8(value)) {}

    bool isNumber() const { return std::holds_alternative<qint64>(value_); }
    qint64 number() const;
    // The argument as text: numbers in plain decimal digits.
    QString text() const;

private:
    std::variant<qint64, QString> value_;
};

// The text in the applied language: Japanese, else the table's translation
// of `en`, else `en` itself. Main thread only.
QString L(const QString& ja, const QString& en);

// L() used as a C-style format: %d (whole number), %@ (text), %%, an
// optional '-' flag and width on %d and %@, and positional forms such as
// %2$@. A translation whose specifiers differ from the English text's is
// ignored in favour of the English text. In a right-to-left language each
// text argument is inserted as a directional isolate (U+2068 ... U+2069).
QString Lf(const QString& ja, const QString& en, std::initializer_list<FormatArg> args);

// Formats `format` with `args` using the specifiers above. Never reads a
// missing argument: a specifier without one is written out as it stands.
// Widths count user-perceived characters (grapheme clusters).
QString formatText(const QString& format, std::initializer_list<FormatArg> args);
QString formatText(const QString& format, const std::vector<FormatArg>& args);

// The argument types a format text consumes, one letter per argument
// position ('d' or '@'), e.g. "@d"; an empty optional when the text's
// specifiers are malformed or contradict each other.
std::optional<QString> formatSignature(const QString& format);

// Number of user-perceived characters (grapheme clusters) in `text`.
qsizetype graphemeCount(const QString& text);

} // namespace ondrel
