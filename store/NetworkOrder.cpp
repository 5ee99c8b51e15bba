#include "store/NetworkOrder.h"

#include <algorithm>

namespace ondrel {

namespace {

// Maps a UTF-16 code unit so that code-unit order becomes code-point order:
// surrogates (D800-DFFF) encode code points above FFFF and must sort after
// E000-FFFF.
inline char16_t codePointRank(char16_t unit)
{
    if (unit >= 0xE000)
        return char16_t(unit - 0x800);
    if (unit >= 0xD800)
        return char16_t(unit + 0x2000);
    return unit;
}

} // namespace

int compareCodePoints(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t* pa = reinterpret_cast<const char16_t*>(a.constData());
    const char16_t* pb = reinterpret_cast<const char16_t*>(b.constData());
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] != pb[i])
            return codePointRank(pa[i]) < codePointRank(pb[i]) ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

QString orderName(const QString& displayName)
{
    return displayName.toLower().normalized(QString::NormalizationForm_C);
}

} // namespace ondrel
