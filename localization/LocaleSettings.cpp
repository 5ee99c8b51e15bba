#include "localization/LocaleSettings.h"

#include "localization/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace ondrel {

namespace {

const QString kLanguageKey = QStringLiteral("app.language");

// Tables larger than this are not translation tables of this program.
constexpr qint64 kMaxTableBytes = 8 * 1024 * 1024;

std::optional<QJsonObject> parseObject(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

std::optional<QJsonObject> readObject(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > kMaxTableBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxTableBytes + 1);
    if (bytes.size() > kMaxTableBytes)
        return std::nullopt;
    return parseObject(bytes);
}

QStringList candidates(const QString& fileName)
{
    return {QStringLiteral(":/Localizations/") + fileName,
            QDir::current().filePath(QStringLiteral("Resources/Localizations/") + fileName)};
}

} // namespace

LocaleSettings& LocaleSettings::shared()
{
    static LocaleSettings* instance = new LocaleSettings(UserDefaults::standard());
    return *instance;
}

LocaleSettings::LocaleSettings(UserDefaults& defaults) : defaults_(defaults)
{
    const std::optional<QString> stored = defaults_.string(kLanguageKey);
    language_ = appLanguageFromRawValue(stored.value_or(QString())).value_or(AppLanguage::system);
    apply(language_);
}

void LocaleSettings::setLanguage(AppLanguage language)
{
    if (language == language_)
        return;
    language_ = language;
    defaults_.setString(kLanguageKey, rawValue(language));
    defaults_.sync();
    apply(language);
    Q_EMIT languageChanged();
}

std::optional<AppLanguage> LocaleSettings::match(const QString& identifier)
{
    const QString s = identifier.toLower();
    if (s.startsWith(QLatin1String("zh"))) {
        for (const char* marker : {"hant", "tw", "hk"}) {
            if (s.contains(QLatin1String(marker)))
                return AppLanguage::zhHant;
        }
        return AppLanguage::zhHans;
    }
    for (AppLanguage language : allAppLanguages()) {
        if (language == AppLanguage::system)
            continue;
        const QString code = rawValue(language).toLower();
        if (code.contains(u'-') && s.startsWith(code))
            return language;
    }
    const QStringList pieces = s.split(u'-', Qt::SkipEmptyParts);
    const QString first = pieces.isEmpty() ? s : pieces.first();
    return appLanguageFromRawValue(first);
}

AppLanguage LocaleSettings::resolveSystem(const QStringList& preferred)
{
    for (const QString& identifier : preferred) {
        const std::optional<AppLanguage> language = match(identifier);
        if (language && *language != AppLanguage::system)
            return *language;
    }
    return AppLanguage::en;
}

AppLanguage LocaleSettings::resolve(AppLanguage language)
{
    if (language != AppLanguage::system)
        return language;
    return resolveSystem(QLocale::system().uiLanguages());
}

void LocaleSettings::apply(AppLanguage language)
{
    const AppLanguage resolved = resolve(language);
    isJapaneseCache = resolved == AppLanguage::ja;
    isRightToLeftCache = resolved == AppLanguage::ar || resolved == AppLanguage::he;
    if (resolved != AppLanguage::ja && resolved != AppLanguage::en) {
        if (std::optional<QHash<QString, QString>> loaded = loadTable(rawValue(resolved))) {
            table = std::move(*loaded);
            activeCode = rawValue(resolved);
            return;
        }
    }
    table.clear();
    activeCode.reset();
}

bool LocaleSettings::applyCommandLineChoice(const QString& value)
{
    std::optional<AppLanguage> language = appLanguageFromRawValue(value);
    if (!language)
        language = match(value);
    if (!language)
        return false;
    shared();
    apply(*language);
    return true;
}

std::optional<QHash<QString, QString>> LocaleSettings::loadTable(const QString& code)
{
    for (const QString& path : candidates(code + QStringLiteral(".json"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxTableBytes)
            continue;
        if (std::optional<QHash<QString, QString>> table = parseTable(file.read(kMaxTableBytes + 1)))
            return table;
    }
    return std::nullopt;
}

std::optional<QHash<QString, QString>> LocaleSettings::parseTable(const QByteArray& json)
{
    if (json.size() > kMaxTableBytes)
        return std::nullopt;
    const std::optional<QJsonObject> object = parseObject(json);
    if (!object)
        return std::nullopt;
    QHash<QString, QString> map;
    map.reserve(object->size());
    for (auto it = object->begin(); it != object->end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        const QString value = it.value().toString();
        if (!value.isEmpty())
            map.insert(it.key(), value);
    }
    return map;
}

int LocaleSettings::totalStringCount()
{
    static const int count = [] {
        for (const QString& path : candidates(QStringLiteral("_source.json"))) {
            if (const std::optional<QJsonObject> object = readObject(path))
                return qMax(1, int(object->size())); // a divisor: never 0
        }
        return 1;
    }();
    return count;
}

} // namespace ondrel
