#pragma once

#include <QString>

namespace ondrel {

enum class PluralCategory { zero, one, two, few, many, other };

// The category's key word as used in table member names ("few").
QString keyWord(PluralCategory category);

// The plural category of `count` in the language `code` (exact code match;
// unknown codes follow the English rule).
PluralCategory pluralCategory(qint64 count, const QString& code);

// The format text to use for `count` items in the applied language: the
// Japanese text, the English singular or plural, or the table's member for
// the count's category ("<other>##few"), then the table's "<other>" member.
// The caller formats the result with the count. Main thread only.
QString pluralFormat(const QString& ja, const QString& one, const QString& other, qint64 count);

} // namespace ondrel
