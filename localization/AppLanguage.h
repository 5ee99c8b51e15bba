#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace ondrel {

// The interface language a user can choose: "system" or one of 32 codes.
// Declaration order is the order of every picker.
enum class AppLanguage {
    system,
    ja,
    en,
    de,
    fr,
    es,
    it,
    nl,
    pt,
    ptBR,
    ru,
    pl,
    tr,
    sv,
    da,
    fi,
    nb,
    cs,
    el,
    hu,
    ro,
    sk,
    uk,
    zhHans,
    zhHant,
    ko,
    th,
    vi,
    id,
    ms,
    hi,
    ar,
    he,
};

// Every case in declaration order.
const QList<AppLanguage>& allAppLanguages();

// The language code ("pt-BR", "zh-Hans", "system").
QString rawValue(AppLanguage language);

// Exact, case-sensitive match of a raw value.
std::optional<AppLanguage> appLanguageFromRawValue(const QString& raw);

// The language's name in itself; only `system` is translated.
QString label(AppLanguage language);

} // namespace ondrel
