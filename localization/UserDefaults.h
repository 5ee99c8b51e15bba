#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace ondrel {

// The user's persistent key-value settings. Values live in a QSettings file
// ($XDG_CONFIG_HOME/Ondrel/Ondrel.conf unless a path is given); registered
// defaults are layered in memory and are never written as stored values.
// Main thread only.
class UserDefaults {
public:
    // The standard store of this user; created on first use.
    static UserDefaults& standard();

    // A store backed by the settings file at `path` (tests, tools).
    explicit UserDefaults(const QString& path);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    void registerDefaults(const QVariantMap& defaults);

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant object(const QString& key) const;
    bool contains(const QString& key) const;

    // Typed reads: a missing or unconvertible value reads as 0, false, nullopt.
    qint64 integer(const QString& key) const;
    bool boolean(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<QStringList> stringList(const QString& key) const;

    void setInteger(const QString& key, qint64 value);
    void setBoolean(const QString& key, bool value);
    void setString(const QString& key, const QString& value);
    void setStringList(const QString& key, const QStringList& value);
    void remove(const QString& key);

    // Writes pending changes to disk now (QSettings otherwise does it lazily).
    void sync();

private:
    UserDefaults();
    std::unique_ptr<QSettings> settings_;
    QVariantMap defaults_;
};

} // namespace ondrel
