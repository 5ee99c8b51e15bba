#include "localization/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ondrel {

namespace {

// String lists are stored as one JSON array text: QSettings' own list syntax
// splits on commas and cannot tell a one-element list from a plain text, and
// network names may contain any character.
QString encodeList(const QStringList& list)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact));
}

std::optional<QStringList> decodeList(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(value.toString().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue& item : doc.array()) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

} // namespace

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance;
    return instance;
}

UserDefaults::UserDefaults()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Ondrel"), QStringLiteral("Ondrel")))
{
}

UserDefaults::UserDefaults(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::NativeFormat))
{
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        defaults_.insert(it.key(), it.value());
}

QVariant UserDefaults::object(const QString& key) const
{
    const QVariant stored = settings_->value(key);
    if (stored.isValid())
        return stored;
    return defaults_.value(key);
}

bool UserDefaults::contains(const QString& key) const
{
    return settings_->contains(key);
}

qint64 UserDefaults::integer(const QString& key) const
{
    bool ok = false;
    const qint64 value = object(key).toLongLong(&ok);
    return ok ? value : 0;
}

bool UserDefaults::boolean(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes"))
        return true;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok && number != 0;
}

std::optional<QString> UserDefaults::string(const QString& key) const
{
    const QVariant value = object(key);
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
        return value.toString();
    default:
        return std::nullopt;
    }
}

std::optional<QStringList> UserDefaults::stringList(const QString& key) const
{
    const QVariant stored = settings_->value(key);
    if (stored.isValid())
        return decodeList(stored);
    const QVariant fallback = defaults_.value(key);
    if (fallback.isValid())
        return fallback.toStringList();
    return std::nullopt;
}

void UserDefaults::setInteger(const QString& key, qint64 value)
{
    settings_->setValue(key, value);
}

void UserDefaults::setBoolean(const QString& key, bool value)
{
    settings_->setValue(key, value);
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    settings_->setValue(key, value);
}

void UserDefaults::setStringList(const QString& key, const QStringList& value)
{
    settings_->setValue(key, encodeList(value));
}

void UserDefaults::remove(const QString& key)
{
    settings_->remove(key);
}

void UserDefaults::sync()
{
    settings_->sync();
}

} // namespace ondrel
