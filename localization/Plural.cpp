#include "localization/Plural.h"

#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"

#include <cstdlib>

namespace ondrel {

QString keyWord(PluralCategory category)
{
    switch (category) {
    case PluralCategory::zero:
        return QStringLiteral("zero");
    case PluralCategory::one:
        return QStringLiteral("one");
    case PluralCategory::two:
        return QStringLiteral("two");
    case PluralCategory::few:
        return QStringLiteral("few");
    case PluralCategory::many:
        return QStringLiteral("many");
    case PluralCategory::other:
        break;
    }
    return QStringLiteral("other");
}

PluralCategory pluralCategory(qint64 count, const QString& code)
{
    using enum PluralCategory;
    // Magnitude as unsigned so that the most negative value stays defined.
    const quint64 n = count < 0 ? quint64(0) - quint64(count) : quint64(count);
    const quint64 i = n % 10;
    const quint64 h = n % 100;
    auto in = [&code](std::initializer_list<const char*> codes) {
        for (const char* c : codes) {
            if (code == QLatin1String(c))
                return true;
        }
        return false;
    };

    if (in({"ja", "ko", "th", "vi", "id", "ms", "zh-Hans", "zh-Hant"}))
        return other;
    if (in({"en", "de", "nl", "sv", "da", "fi", "nb", "el", "hu", "tr"}))
        return n == 1 ? one : other;
    if (in({"hi"}))
        return n <= 1 ? one : other;
    if (in({"fr", "pt", "pt-BR"})) {
        if (n <= 1)
            return one;
        return n % 1000000 == 0 ? many : other;
    }
    if (in({"es", "it"})) {
        if (n == 0)
            return other;
        if (n == 1)
            return one;
        return n % 1000000 == 0 ? many : other;
    }
    if (in({"ru", "uk"})) {
        if (i == 1 && h != 11)
            return one;
        if (i >= 2 && i <= 4 && !(h >= 12 && h <= 14))
            return few;
        return many;
    }
    if (in({"pl"})) {
        if (n == 1)
            return one;
        if (i >= 2 && i <= 4 && !(h >= 12 && h <= 14))
            return few;
        return many;
    }
    if (in({"cs", "sk"})) {
        if (n == 1)
            return one;
        return (n >= 2 && n <= 4) ? few : other;
    }
    if (in({"ro"})) {
        if (n == 0)
            return few;
        if (n == 1)
            return one;
        return (h >= 1 && h <= 19) ? few : other;
    }
    if (in({"he"})) {
        if (n == 1)
            return one;
        return n == 2 ? two : other;
    }
    if (in({"ar"})) {
        if (n == 0)
            return zero;
        if (n == 1)
            return one;
        if (n == 2)
            return two;
        if (h >= 3 && h <= 10)
            return few;
        if (h >= 11 && h <= 99)
            return many;
        return other;
    }
    return n == 1 ? one : other;
}

QString pluralFormat(const QString& ja, const QString& one, const QString& other, qint64 count)
{
    if (LocaleSettings::isJapaneseCache)
        return ja;
    const QString english = count == 1 ? one : other;
    if (!LocaleSettings::activeCode)
        return english;
    // A translation that would consume different arguments than the English
    // text is not used: formatting it could read a missing argument.
    const std::optional<QString> expected = formatSignature(other);
    auto usable = [&expected](const QString& candidate) { return formatSignature(candidate) == expected; };
    const PluralCategory category = pluralCategory(count, *LocaleSettings::activeCode);
    const auto& table = LocaleSettings::table;
    const auto byCategory = table.constFind(other + QStringLiteral("##") + keyWord(category));
    if (byCategory != table.constEnd() && usable(byCategory.value()))
        return byCategory.value();
    const auto plain = table.constFind(other);
    if (plain != table.constEnd() && usable(plain.value()))
        return plain.value();
    return english;
}

} // namespace ondrel
