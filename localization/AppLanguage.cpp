#include "localization/AppLanguage.h"

#include "localization/Lookup.h"

#include <array>

namespace ondrel {

namespace {

struct LanguageInfo {
    AppLanguage language;
    const char* code;
    const char* name;
};

constexpr std::array<LanguageInfo, 33> kLanguages{{
    {AppLanguage::system, "system", nullptr},
    {AppLanguage::ja, "ja", "日本語"},
    {AppLanguage::en, "en", "English"},
    {AppLanguage::de, "de", "Deutsch"},
    {AppLanguage::fr, "fr", "Français"},
    {AppLanguage::es, "es", "Español"},
    {AppLanguage::it, "it", "Italiano"},
    {AppLanguage::nl, "nl", "Nederlands"},
    {AppLanguage::pt, "pt", "Português"},
    {AppLanguage::ptBR, "pt-BR", "Português (Brasil)"},
    {AppLanguage::ru, "ru", "Русский"},
    {AppLanguage::pl, "pl", "Polski"},
    {AppLanguage::tr, "tr", "Türkçe"},
    {AppLanguage::sv, "sv", "Svenska"},
    {AppLanguage::da, "da", "Dansk"},
    {AppLanguage::fi, "fi", "Suomi"},
    {AppLanguage::nb, "nb", "Norsk bokmål"},
    {AppLanguage::cs, "cs", "Čeština"},
    {AppLanguage::el, "el", "Ελληνικά"},
    {AppLanguage::hu, "hu", "Magyar"},
    {AppLanguage::ro, "ro", "Română"},
    {AppLanguage::sk, "sk", "Slovenčina"},
    {AppLanguage::uk, "uk", "Українська"},
    {AppLanguage::zhHans, "zh-Hans", "简体中文"},
    {AppLanguage::zhHant, "zh-Hant", "繁體中文"},
    {AppLanguage::ko, "ko", "한국어"},
    {AppLanguage::th, "th", "ไทย"},
    {AppLanguage::vi, "vi", "Tiếng Việt"},
    {AppLanguage::id, "id", "Bahasa Indonesia"},
    {AppLanguage::ms, "ms", "Bahasa Melayu"},
    {AppLanguage::hi, "hi", "हिन्दी"},
    {AppLanguage::ar, "ar", "العربية"},
    {AppLanguage::he, "he", "עברית"},
}};

const LanguageInfo& info(AppLanguage language)
{
    return kLanguages[size_t(language)];
}

} // namespace

const QList<AppLanguage>& allAppLanguages()
{
    static const QList<AppLanguage> all = [] {
        QList<AppLanguage> list;
        for (const LanguageInfo& entry : kLanguages)
            list.append(entry.language);
        return list;
    }();
    return all;
}

QString rawValue(AppLanguage language)
{
    return QString::fromLatin1(info(language).code);
}

std::optional<AppLanguage> appLanguageFromRawValue(const QString& raw)
{
    for (const LanguageInfo& entry : kLanguages) {
        if (raw == QLatin1String(entry.code))
            return entry.language;
    }
    return std::nullopt;
}

QString label(AppLanguage language)
{
    if (language == AppLanguage::system)
        return L("システムに従う", "Follow system");
    return QString::fromUtf8(info(language).name);
}

} // namespace ondrel
