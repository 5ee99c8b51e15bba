#pragma once

// For the store and window tests: simulated radios, an engine playing them, preferences of the test's own.

#include "localization/LocaleSettings.h"
#include "localization/UserDefaults.h"
#include "store/Prefs.h"
#include "wifi/simulation/SimulatedBackend.h"
#include "wifi/simulation/SimulationScenario.h"
#include "wifi/WiFiEngine.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace ondrel::testing {

// One access point written as "name|bssid|rssi|channel|security", optionally followed by "|band": an
// empty name is a hidden network, an empty bssid leaves the address out.
inline QJsonObject accessPoint(const QString& entry)
{
    const QStringList parts = entry.split(QLatin1Char('|'));
    QJsonObject ap{{"rssi", parts.value(2, "-60").toInt()},
                   {"channel", parts.value(3, "6").toInt()},
                   {"security", parts.value(4, "open")}};
    for (const auto& [index, key] : {std::pair{0, "ssid"}, {1, "bssid"}, {5, "band"}})
        if (!parts.value(index).isEmpty())
            ap[QLatin1String(key)] = index == 5 ? QJsonValue(parts[5].toInt()) : QJsonValue(parts[index]);
    return ap;
}

inline QJsonArray accessPoints(const QStringList& entries)
{
    QJsonArray list;
    for (const QString& entry : entries)
        list.append(accessPoint(entry));
    return list;
}

// A radio environment with an interface, powered on, playing `scenario`'s members over those defaults.
class SimulatedRadios {
public:
    explicit SimulatedRadios(QJsonObject scenario)
    {
        if (!scenario.contains(QStringLiteral("interface")))
            scenario[QStringLiteral("interface")] = QStringLiteral("wlan0");
        QString problem;
        std::optional<SimulationScenario> read =
            SimulationScenario::fromJson(QJsonDocument(scenario).toJson(), &problem);
        if (!read)
            qFatal("scenario rejected: %s", qPrintable(problem));
        engine_ = std::make_unique<WiFiEngine>(std::make_unique<SimulatedBackend>(std::move(*read)));
    }

    WiFiEngine& engine() { return *engine_; }

    // Returns once every job submitted to the engine so far has run and its completion has been delivered.
    void drain()
    {
        QEventLoop loop;
        engine_->scan([&loop](QList<ScannedNetwork>, std::optional<SystemError>) { loop.quit(); });
        QTimer::singleShot(10000, &loop, [] { qFatal("the engine's queue did not drain"); });
        loop.exec();
    }

private:
    std::unique_ptr<WiFiEngine> engine_;
};

// Preferences of the test's own, in a fresh settings file.
struct TestPrefs {
    Prefs& operator*() { return prefs; }
    Prefs* operator->() { return &prefs; }
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("Ondrel.conf"))};
    Prefs prefs{defaults};
};

// English texts for the assertions; settings and data in a folder of the test's own.
inline void useEnglish()
{
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    LocaleSettings::apply(AppLanguage::en);
}

} // namespace ondrel::testing
