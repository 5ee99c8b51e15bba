// Translation tables with the lookups that read them. The first byte picks
// the language (plural rules, right to left), the rest is a table file. Every
// text of the table is then looked up and formatted as L, Lf and
// pluralFormat would, with arguments of both kinds: a translation may hold
// any specifiers, and none may read an argument that is not there.

#include "FuzzCheck.h"

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "localization/Lookup.h"
#include "localization/Plural.h"

#include <limits>

using namespace ondrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QList<AppLanguage> languages = allAppLanguages();
    const AppLanguage language = languages[data[0] % languages.size()];
    std::optional<QHash<QString, QString>> table =
        LocaleSettings::parseTable(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    if (!table)
        return 0;
    LocaleSettings::isJapaneseCache = false;
    LocaleSettings::isRightToLeftCache = data[0] & 0x80;
    LocaleSettings::activeCode = rawValue(language);
    LocaleSettings::table = *table;

    const QString name = QStringLiteral("Café\u202e\u0301");
    int looked = 0;
    for (auto it = table->cbegin(); it != table->cend() && looked < 64; ++it, ++looked) {
        // The English text is the key (without a plural category's suffix).
        const QString english = it.key().section(QStringLiteral("##"), 0, 0);
        FUZZ_CHECK(L(english, english) == it.value() || it.key().contains(QStringLiteral("##")));
        Lf(english, english, {7, name});
        Lf(english, english, {name, -3, name});
        for (const qint64 count : std::initializer_list<qint64>{0, 1, 2, 5, 11, 101, 1000000})
            formatText(pluralFormat(english, english, english, count), {count});
        formatText(it.value(), {std::numeric_limits<qint64>::min(), name});
        formatSignature(it.value());
        graphemeCount(it.value());
    }
    LocaleSettings::table.clear();
    return 0;
}
