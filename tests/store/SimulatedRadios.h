#pragma once

// Shared by the store tests: a simulated radio environment written to a
// scenario file in a temporary folder, an engine playing it, and
// preferences of the test's own.

#include "localization/AppLanguage.h"
#include "localization/LocaleSettings.h"
#include "store/Prefs.h"
#include "localization/UserDefaults.h"
#include "wifi/SimulatedBackend.h"
#include "wifi/SimulationScenario.h"
#include "wifi/WiFiEngine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace ondrel::testing {

// Settings and data go to a folder of the test's own; call before anything
// reads the user's settings.
inline QTemporaryDir& isolatedHome()
{
    static QTemporaryDir home;
    static const bool once = [] {
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        return true;
    }();
    Q_UNUSED(once);
    return home;
}

// One access point written compactly as "name|bssid|rssi|channel|security",
// optionally followed by "|band": an empty name is a hidden network, an
// empty bssid leaves the address out.
inline QJsonObject accessPoint(const QString& entry)
{
    const QStringList parts = entry.split(QLatin1Char('|'));
    QJsonObject ap;
    if (!parts.value(0).isEmpty())
        ap[QStringLiteral("ssid")] = parts.value(0);
    if (!parts.value(1).isEmpty())
        ap[QStringLiteral("bssid")] = parts.value(1);
    ap[QStringLiteral("rssi")] = parts.value(2, QStringLiteral("-60")).toInt();
    ap[QStringLiteral("channel")] = parts.value(3, QStringLiteral("6")).toInt();
    ap[QStringLiteral("security")] = parts.value(4, QStringLiteral("open"));
    if (parts.size() > 5)
        ap[QStringLiteral("band")] = parts.value(5).toInt();
    return ap;
}

inline QJsonArray accessPoints(const QStringList& entries)
{
    QJsonArray list;
    for (const QString& entry : entries)
        list.append(accessPoint(entry));
    return list;
}

// A radio environment with an interface, powered on, playing `scenario`'s
// members over those defaults.
class SimulatedRadios {
public:
    explicit SimulatedRadios(QJsonObject scenario)
    {
        if (!scenario.contains(QStringLiteral("interface")))
            scenario[QStringLiteral("interface")] = QStringLiteral("wlan0");
        const QString path = dir_.filePath(QStringLiteral("scenario.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(scenario).toJson()) < 0)
            qFatal("cannot write the scenario file");
        file.close();
        QString problem;
        std::optional<SimulationScenario> read = SimulationScenario::fromFile(path, &problem);
        if (!read)
            qFatal("scenario rejected: %s", qPrintable(problem));
        engine_ = std::make_unique<WiFiEngine>(std::make_unique<SimulatedBackend>(std::move(*read)));
    }

    WiFiEngine& engine() { return *engine_; }

    // Returns once every job submitted to the engine so far has run and its
    // completion has been delivered (the queue is strictly ordered).
    void drain()
    {
        bool done = false;
        engine_->scan([&done](QList<ScannedNetwork>, std::optional<SystemError>) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<WiFiEngine> engine_;
};

// Preferences of the test's own, in a fresh settings file.
class TestPrefs {
public:
    TestPrefs() : defaults_(dir_.filePath(QStringLiteral("Ondrel.conf"))), prefs_(defaults_) {}
    Prefs& operator*() { return prefs_; }
    Prefs* operator->() { return &prefs_; }

private:
    QTemporaryDir dir_;
    UserDefaults defaults_;
    Prefs prefs_;
};

// English texts for the assertions.
inline void useEnglish()
{
    isolatedHome();
    LocaleSettings::apply(AppLanguage::en);
}

} // namespace ondrel::testing
