#include "localization/Lookup.h"

#include "localization/LocaleSettings.h"

#include <QTextBoundaryFinder>

#include <vector>

namespace ondrel {

qint64 FormatArg::number() const
{
    if (const qint64* n = std::get_if<qint64>(&value_))
        return *n;
    bool ok = false;
    const qint64 n = std::get<QString>(value_).trimmed().toLongLong(&ok);
    return ok ? n : 0;
}

QString FormatArg::text() const
{
    if (const qint64* n = std::get_if<qint64>(&value_))
        return QString::number(*n);
    return std::get<QString>(value_);
}

namespace {

struct Spec {
    qsizetype start = 0;  // index of '%'
    qsizetype length = 0; // characters the specifier occupies
    int position = -1;    // explicit 1-based argument position, or -1
    bool leftAlign = false;
    int width = 0;
    QChar conversion; // 'd', '@' or '%'
};

// Parses the specifier that starts at format[i] == '%'. Returns false for
// anything that is not one of the forms this program uses.
bool parseSpec(const QString& format, qsizetype i, Spec& spec)
{
    spec = Spec{};
    spec.start = i;
    qsizetype j = i + 1;
    const qsizetype n = format.size();
    if (j < n && format[j] == u'%') {
        spec.conversion = u'%';
        spec.length = 2;
        return true;
    }
    // Optional positional index "N$".
    qsizetype k = j;
    int number = 0;
    while (k < n && format[k].isDigit() && number < 100)
        number = number * 10 + format[k++].digitValue();
    if (k > j && k < n && format[k] == u'$') {
        if (number == 0)
            return false;
        spec.position = number;
        j = k + 1;
    }
    if (j < n && format[j] == u'-') {
        spec.leftAlign = true;
        ++j;
    }
    int width = 0;
    while (j < n && format[j].isDigit() && width < 1000)
        width = width * 10 + format[j++].digitValue();
    spec.width = width;
    if (j < n && format[j] == u'l')
        ++j;
    if (j < n && format[j] == u'l')
        ++j;
    if (j >= n)
        return false;
    const QChar c = format[j];
    if (c == u'd' || c == u'i')
        spec.conversion = u'd';
    else if (c == u'@')
        spec.conversion = u'@';
    else
        return false;
    spec.length = j + 1 - i;
    return true;
}

QString pad(const QString& text, int width, bool leftAlign)
{
    const qsizetype count = graphemeCount(text);
    if (count >= width)
        return text;
    const QString fill(width - count, u' ');
    return leftAlign ? text + fill : fill + text;
}

} // namespace

qsizetype graphemeCount(const QString& text)
{
    if (text.isEmpty())
        return 0;
    bool simple = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x300) {
            simple = false;
            break;
        }
    }
    if (simple) {
        // Only CR LF forms a cluster of two below U+0300.
        return text.size() - text.count(QLatin1String("\r\n"));
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

std::optional<QString> formatSignature(const QString& format)
{
    QString signature;
    int sequential = 0;
    bool usedPositional = false;
    bool usedSequential = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%')
            continue;
        Spec spec;
        if (!parseSpec(format, i, spec))
            return std::nullopt;
        i += spec.length - 1;
        if (spec.conversion == u'%')
            continue;
        int index;
        if (spec.position > 0) {
            usedPositional = true;
            index = spec.position - 1;
        } else {
            usedSequential = true;
            index = sequential++;
        }
        if (index >= signature.size())
            signature.resize(index + 1, u'?');
        if (signature[index] != u'?' && signature[index] != spec.conversion)
            return std::nullopt;
        signature[index] = spec.conversion;
    }
    if (usedPositional && usedSequential)
        return std::nullopt;
    return signature;
}

QString formatText(const QString& format, std::initializer_list<FormatArg> args)
{
    return formatText(format, std::vector<FormatArg>(args));
}

QString formatText(const QString& format, const std::vector<FormatArg>& list)
{
    QString out;
    out.reserve(format.size() + 16);
    int sequential = 0;
    qsizetype i = 0;
    while (i < format.size()) {
        const qsizetype percent = format.indexOf(u'%', i);
        if (percent < 0) {
            out.append(QStringView(format).mid(i));
            break;
        }
        out.append(QStringView(format).mid(i, percent - i));
        Spec spec;
        if (!parseSpec(format, percent, spec)) {
            out.append(u'%');
            i = percent + 1;
            continue;
        }
        i = percent + spec.length;
        if (spec.conversion == u'%') {
            out.append(u'%');
            continue;
        }
        const int index = spec.position > 0 ? spec.position - 1 : sequential++;
        if (index < 0 || index >= int(list.size())) {
            out.append(QStringView(format).mid(spec.start, spec.length));
            continue;
        }
        const FormatArg& arg = list[size_t(index)];
        const QString text = spec.conversion == u'd' ? QString::number(arg.number()) : arg.text();
        out.append(spec.width > 0 ? pad(text, spec.width, spec.leftAlign) : text);
    }
    return out;
}

QString L(const QString& ja, const QString& en)
{
    if (LocaleSettings::isJapaneseCache)
        return ja;
    const auto it = LocaleSettings::table.constFind(en);
    return it != LocaleSettings::table.constEnd() ? it.value() : en;
}

namespace {

// In a right-to-left language every inserted text is a directional isolate,
// so that "5 GHz" or a Latin network name keeps its own order inside the
// sentence and a name's own bidi controls cannot reorder the sentence.
QString formatIsolated(const QString& format, std::initializer_list<FormatArg> args)
{
    if (!LocaleSettings::isRightToLeftCache)
        return formatText(format, args);
    std::vector<FormatArg> isolated;
    isolated.reserve(args.size());
    for (const FormatArg& arg : args) {
        if (arg.isNumber())
            isolated.push_back(arg);
        else
            isolated.push_back(QChar(0x2068) + arg.text() + QChar(0x2069));
    }
    return formatText(format, isolated);
}

} // namespace

QString Lf(const QString& ja, const QString& en, std::initializer_list<FormatArg> args)
{
    if (LocaleSettings::isJapaneseCache)
        return formatText(ja, args);
    const auto it = LocaleSettings::table.constFind(en);
    if (it != LocaleSettings::table.constEnd()) {
        const std::optional<QString> theirs = formatSignature(it.value());
        if (theirs && *theirs == formatSignature(en))
            return formatIsolated(it.value(), args);
    }
    return formatIsolated(en, args);
}

} // namespace ondrel
