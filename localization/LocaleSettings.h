#pragma once

#include "localization/AppLanguage.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace ondrel {

class UserDefaults;

// The interface language: the user's choice (stored under "app.language"),
// the tables of the thirty translated languages, and the process-wide lookup
// state that L(), Lf() and pluralFormat() read. Main thread only.
class LocaleSettings : public QObject {
    Q_OBJECT
public:
    // The lookup state. Until a language is applied every lookup answers in
    // Japanese.
    static inline bool isJapaneseCache = true;
    static inline bool isRightToLeftCache = false;
    static inline QHash<QString, QString> table;
    static inline std::optional<QString> activeCode;

    // The shared object; creating it reads the stored choice and applies it.
    static LocaleSettings& shared();

    // An object over `defaults`, which must outlive it; reads the stored
    // choice and applies it. The program uses shared().
    explicit LocaleSettings(UserDefaults& defaults);

    AppLanguage language() const { return language_; }
    // Stores and applies a different language, then emits languageChanged().
    void setLanguage(AppLanguage language);

    // Lenient match of a locale identifier such as "en-US" or "zh-TW".
    static std::optional<AppLanguage> match(const QString& identifier);

    // The language `system` stands for, given the preferred languages in
    // order (QLocale::uiLanguages() when not given); English if none match.
    static AppLanguage resolve(AppLanguage language);
    static AppLanguage resolveSystem(const QStringList& preferred);

    // Makes a language current for this process without storing it.
    static void apply(AppLanguage language);

    // The language chosen by "--lang V": an exact code, else the lenient
    // match; applied for this process only, never stored. Returns whether a
    // language was applied.
    static bool applyCommandLineChoice(const QString& value);

    // A language's translation table without its empty members: the
    // compiled-in resource first, then Resources/Localizations/ under the
    // current folder. Nothing when neither is a JSON object of texts.
    static std::optional<QHash<QString, QString>> loadTable(const QString& code);
    // A table from the bytes of its file: a JSON object of texts (at most
    // 8 MiB), empty members left out; nothing otherwise.
    static std::optional<QHash<QString, QString>> parseTable(const QByteArray& json);

    // Number of members of the source table _source.json (1 if unreadable).
    static int totalStringCount();

Q_SIGNALS:
    // Emitted after a stored change of language has been applied.
    void languageChanged();

private:
    UserDefaults& defaults_;
    AppLanguage language_ = AppLanguage::system;
};

} // namespace ondrel
