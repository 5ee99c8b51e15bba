#include "wifi/NoInterfaceBackend.h"
#include "wifi/WiFiBackend.h"
#include "wifi/WiFiEngine.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <mutex>

using namespace ondrel;
using Error = std::optional<SystemError>;

namespace {

AccessPoint accessPoint(const char* ssid, const char* bssid, int channel)
{
    const auto name = ssid ? std::optional(QString::fromUtf8(ssid)) : std::nullopt;
    return {ssid,
            name,
            bssid,
            -50,
            0,
            ChannelInfo{channel, channel <= 14 ? 1 : 2, 1},
            {SecurityCode::wpa2Personal},
            std::nullopt,
            bssid};
}

// A backend that does what the test says and records what the engine asked,
// in order, with the threads that asked. When gated, every slow operation
// waits for a permit first.
class ScriptedBackend : public WiFiBackend {
public:
    std::atomic<bool> interface = true, power = true, gated = false;
    std::atomic<int> waiting{0}; // slow operations waiting at the gate
    QSemaphore gate;
    std::mutex mutex; // of what the worker thread reads and writes
    QList<AccessPoint> accessPoints;
    Error error; // of every slow operation
    Association association;
    QList<QByteArray> saved;
    QStringList calls; // "join <handle> <password>" and the like
    QSet<QThread*> threads;

    bool hasInterface() const override { return interface; }
    std::optional<QString> interfaceName() const override { return QStringLiteral("wlan7"); }
    bool isPoweredOn() const override { return power; }
    Association currentAssociation() const override { return association; }
    QList<QByteArray> savedSsids() const override { return saved; }
    ScanResult scan() override
    {
        enter(QStringLiteral("scan"));
        std::lock_guard lock(mutex);
        return {accessPoints, error};
    }
    Error join(const AccessPoint& ap, const std::optional<QString>& password) override
    {
        enter(QStringLiteral("join %1 %2").arg(ap.handle, password.value_or(QStringLiteral("-"))));
        return error;
    }
    void disconnect() override { enter(QStringLiteral("disconnect")); }
    Error setPower(bool on) override
    {
        enter(on ? QStringLiteral("power on") : QStringLiteral("power off"));
        return error;
    }
    void cancel() override
    {
        gated = false;
        gate.release(1000);
    }

private:
    void enter(const QString& call)
    {
        if (gated) {
            ++waiting;
            gate.acquire();
            --waiting;
        }
        std::lock_guard lock(mutex);
        calls.append(call);
        threads.insert(QThread::currentThread());
    }
};

} // namespace

class tst_WiFiEngine : public QObject {
    Q_OBJECT
    ScriptedBackend* backend_ = nullptr;
    std::unique_ptr<WiFiEngine> engine_;

    std::pair<QList<ScannedNetwork>, Error> scan()
    {
        std::optional<std::pair<QList<ScannedNetwork>, Error>> outcome;
        engine_->scan([&](QList<ScannedNetwork> networks, Error error) { outcome.emplace(networks, error); });
        [&] { QTRY_VERIFY(outcome); }();
        return outcome.value_or(std::pair<QList<ScannedNetwork>, Error>());
    }
    Error join(const QString& id, const std::optional<QString>& ssid,
               const std::optional<QString>& password = std::nullopt)
    {
        std::optional<Error> outcome;
        engine_->connect(id, ssid, password, [&](Error error) { outcome = error; });
        [&] { QTRY_VERIFY(outcome); }();
        return outcome.value_or(Error());
    }
    static std::optional<WiFiError> kind(const Error& error)
    {
        return error ? error->wifiError() : std::nullopt;
    }

private Q_SLOTS:
    void init()
    {
        auto backend = std::make_unique<ScriptedBackend>();
        backend_ = backend.get();
        backend_->accessPoints = {accessPoint("Home", "b1", 36), accessPoint("Home", "b2", 6),
                                  accessPoint(nullptr, "h1", 44), accessPoint("Cafe", "c1", 1)};
        engine_ = std::make_unique<WiFiEngine>(std::move(backend));
    }

    void completionsArePostedOnceOnTheMainThread()
    {
        // Also when the answer is known at once (no interface).
        for (bool interface : {true, false}) {
            backend_->interface = interface;
            QList<int> counts(4, 0);
            QList<Error> errors;
            const auto note = [&](int index, Error error = {}) {
                counts[index] += QThread::currentThread() == qApp->thread() ? 1 : 100;
                errors << error;
            };
            engine_->scan([&](QList<ScannedNetwork>, Error e) { note(0, e); });
            engine_->connect("x", QStringLiteral("Home"), std::nullopt, [&](Error e) { note(1, e); });
            engine_->disconnect([&] { note(2); });
            engine_->setPower(true, [&](Error e) { note(3, e); });
            QCOMPARE(counts, QList<int>(4, 0)); // never inside the call
            // A marker submitted last proves every earlier completion has
            // been delivered; none of them may come a second time.
            bool marker = false;
            engine_->disconnect([&] { marker = true; });
            QTRY_VERIFY(marker);
            QCOMPARE(counts, QList<int>(4, 1));
            // Without an interface nothing reaches the backend; all but the disconnect fail.
            const Error none = SystemError(WiFiError::noInterface);
            QVERIFY(interface || (errors == QList<Error>{none, none, {}, none} && backend_->calls.isEmpty()));
            QVERIFY(interface ||
                    (!engine_->interfaceName() && engine_->currentStatus() == WiFiEngine::Status()));
            backend_->calls.clear();
        }
        QCOMPARE(backend_->threads.size(), 1); // one worker thread, not the main one
        QVERIFY(!backend_->threads.contains(qApp->thread()));
    }

    void jobsRunInSubmissionOrder()
    {
        const QString id = scan().first[1].id();
        backend_->calls.clear();
        backend_->gated = true;
        QStringList completed;
        engine_->scan([&](QList<ScannedNetwork>, Error) { completed << "scan"; });
        engine_->connect(id, std::nullopt, std::nullopt, [&](Error) { completed << "join"; });
        engine_->setPower(false, [&](Error) { completed << "power"; });
        engine_->disconnect([&] { completed << "disconnect"; });
        engine_->setPower(true, [&](Error) { completed << "power"; });
        // The scan is stuck in the backend; the quick reads answer all the same.
        backend_->saved = {"Home", QByteArray(), "Work"};
        backend_->association.ssid = QStringLiteral("Home");
        QCOMPARE(engine_->currentStatus().ssid, std::optional<QString>(QStringLiteral("Home")));
        QCOMPARE(engine_->savedSsids(), QSet<QByteArray>({"Home", "Work"}));
        QCOMPARE(engine_->interfaceName(), std::optional<QString>(QStringLiteral("wlan7")));
        QVERIFY(completed.isEmpty());
        backend_->gate.release(5);
        QTRY_COMPARE(completed.size(), 5);
        QCOMPARE(completed, QStringList({"scan", "join", "power", "disconnect", "power"}));
        QCOMPARE(backend_->calls, QStringList({"scan", "join b2 -", "power off", "disconnect", "power on"}));
    }

    // One record per access point, in the backend's order, unmerged, unmarked;
    // a join finds the access point by record id, else the first of its name.
    void scanAndJoin_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<std::optional<QString>>("ssid");
        QTest::addColumn<QString>("joined"); // handle, or empty for gone
        const QString sep(QChar(1));
        QTest::newRow("by id, the first")
            << "Home" + sep + "b1" + sep + "36" << std::optional<QString>() << "b1";
        QTest::newRow("by id, the second")
            << "Home" + sep + "b2" + sep + "6" << std::optional<QString>("Home") << "b2";
        QTest::newRow("unknown id, known name: first seen")
            << "stale" << std::optional<QString>("Home") << "b1";
        QTest::newRow("hidden by id")
            << sep + "hidden" + sep + "h1" + sep + "44" << std::optional<QString>() << "h1";
        QTest::newRow("unknown id, no name") << "stale" << std::optional<QString>() << "";
        QTest::newRow("unknown id, empty name") << "stale" << std::optional<QString>(QString()) << "";
        QTest::newRow("name is case-sensitive") << "stale" << std::optional<QString>("home") << "";
    }
    void scanAndJoin()
    {
        QFETCH(QString, id);
        QFETCH(std::optional<QString>, ssid);
        QFETCH(QString, joined);
        QCOMPARE(kind(join(id, ssid)), WiFiError::gone); // before any scan nothing is known
        const auto [networks, error] = scan();
        QVERIFY(!error);
        QCOMPARE(networks.size(), 4);
        for (qsizetype i = 0; i < networks.size(); ++i) {
            QCOMPARE(networks[i].bssid, backend_->accessPoints[i].bssid);
            QCOMPARE(networks[i].ssid, backend_->accessPoints[i].ssid);
            QCOMPARE(networks[i].security, Security::wpa2Personal);
            QVERIFY(networks[i].apCount == 1 && !networks[i].isCurrent && !networks[i].isSaved);
        }
        QCOMPARE(kind(join(id, ssid, QStringLiteral("secret"))),
                 joined.isEmpty() ? WiFiError::gone : std::optional<WiFiError>());
        QCOMPARE(backend_->calls.filter("join"),
                 joined.isEmpty() ? QStringList() : QStringList{"join " + joined + " secret"});
    }

    // A failed scan keeps the remembered access points; a successful one replaces them all.
    void failedScanKeepsTheRememberedAccessPoints()
    {
        const QString cafe = scan().first[3].id();
        backend_->power = false;
        QCOMPARE(kind(scan().second), WiFiError::powerOff);
        QCOMPARE(backend_->calls.count("scan"), 1); // not attempted with the radio off
        QVERIFY(!join(cafe, std::nullopt));
        backend_->power = true;
        backend_->error =
            SystemError(QStringLiteral("org.freedesktop.NetworkManager"), 7, QStringLiteral("busy"));
        const auto [networks, error] = scan();
        QVERIFY(networks.isEmpty());
        QCOMPARE(error, backend_->error); // the system's errors pass unchanged
        QCOMPARE(join(cafe, std::nullopt), backend_->error);
        backend_->error.reset();
        backend_->accessPoints = {accessPoint("Other", "o1", 11)};
        scan();
        QCOMPARE(kind(join(cafe, QStringLiteral("Cafe"))), WiFiError::gone);
        QVERIFY(!join("stale", QStringLiteral("Other")));
    }

    void withoutInterface()
    {
        engine_ = std::make_unique<WiFiEngine>(std::make_unique<NoInterfaceBackend>());
        QCOMPARE(kind(scan().second), WiFiError::noInterface);
        QCOMPARE(kind(join("x", QStringLiteral("Home"))), WiFiError::noInterface);
        Error powerError;
        engine_->setPower(true, [&](Error e) { powerError = e; });
        bool left = false;
        engine_->disconnect([&] { left = true; });
        QTRY_VERIFY(left);
        QCOMPARE(kind(powerError), WiFiError::noInterface);
        QCOMPARE(engine_->currentStatus(), WiFiEngine::Status());
        QVERIFY(engine_->savedSsids().isEmpty() && !engine_->interfaceName());
    }

    void statusFromTheAssociation()
    {
        backend_->association = {"Home", "b1", -48, -95, 1200.5, ChannelInfo{37, 3, 4}};
        const WiFiEngine::Status expected{true, true, "Home", "b1", -48, -95, 1200.5, 37, Band::ghz6};
        QCOMPARE(engine_->currentStatus(), expected);
        backend_->power = false;
        backend_->association = Association();
        WiFiEngine::Status off;
        off.hasInterface = true;
        QCOMPARE(engine_->currentStatus(), off);
    }

    void destroyedEngineDropsJobsThatHadNotStarted()
    {
        backend_->gated = true;
        int scans = 0, joins = 0, leaves = 0;
        Error powerError;
        engine_->scan([&](QList<ScannedNetwork>, Error) { ++scans; }); // runs and waits
        engine_->scan([&](QList<ScannedNetwork>, Error) { ++scans; });
        engine_->connect("x", QStringLiteral("Home"), std::nullopt, [&](Error) { ++joins; });
        engine_->setPower(true, [&](Error e) { powerError = e; });
        engine_->disconnect([&] { ++leaves; });
        QTRY_COMPARE(backend_->waiting.load(), 1);
        engine_.reset();
        QTRY_COMPARE(leaves, 1);
        QCOMPARE(kind(powerError), WiFiError::noInterface);
        QTRY_COMPARE(scans, 1); // the scan that was running still completes
        // Nothing more comes: not before a call queued after everything else.
        bool marker = false;
        QMetaObject::invokeMethod(
            this, [&] { marker = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(marker);
        QCOMPARE(scans + joins, 1);
    }
};

QTEST_GUILESS_MAIN(tst_WiFiEngine)
#include "tst_WiFiEngine.moc"
