#include "wifi/NoInterfaceBackend.h"
#include "wifi/WiFiBackend.h"
#include "wifi/WiFiEngine.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <mutex>

using namespace ondrel;

namespace {

AccessPoint accessPoint(const char* ssid, const char* bssid, int rssi, int channel)
{
    AccessPoint ap;
    if (ssid) {
        ap.ssidBytes = ssid;
        ap.ssid = QString::fromUtf8(ssid);
    }
    ap.bssid = QString::fromUtf8(bssid);
    ap.rssi = rssi;
    ap.channel = ChannelInfo{channel, channel <= 14 ? 1 : 2, 1};
    ap.security = {SecurityCode::wpa2Personal};
    ap.handle = QString::fromUtf8(bssid);
    return ap;
}

// A backend that does what the test says and records what the engine asked,
// in order, with the thread that asked. When gated, every slow operation
// waits for a permit first.
class ScriptedBackend : public WiFiBackend {
public:
    std::atomic<bool> interface = true;
    std::atomic<bool> power{true};
    std::atomic<bool> gated{false};
    std::atomic<int> waiting{0}; // slow operations waiting at the gate
    QSemaphore gate;

    mutable std::mutex mutex;
    QList<AccessPoint> accessPoints;
    std::optional<SystemError> scanError;
    std::optional<SystemError> joinError;
    std::optional<SystemError> powerError;
    Association association;
    QList<QByteArray> saved;
    QStringList calls;
    QList<QThread*> callThreads;
    QString joinedHandle;
    std::optional<QString> joinedPassword;

    bool hasInterface() const override { return interface; }
    std::optional<QString> interfaceName() const override { return QStringLiteral("wlan7"); }
    bool isPoweredOn() const override { return power; }
    Association currentAssociation() const override
    {
        std::lock_guard lock(mutex);
        return association;
    }
    QList<QByteArray> savedSsids() const override
    {
        std::lock_guard lock(mutex);
        return saved;
    }

    ScanResult scan() override
    {
        enter(QStringLiteral("scan"));
        std::lock_guard lock(mutex);
        return {accessPoints, scanError};
    }
    std::optional<SystemError> join(const AccessPoint& ap, const std::optional<QString>& password) override
    {
        enter(QStringLiteral("join ") + ap.handle);
        std::lock_guard lock(mutex);
        joinedHandle = ap.handle;
        joinedPassword = password;
        return joinError;
    }
    void disconnect() override { enter(QStringLiteral("disconnect")); }
    std::optional<SystemError> setPower(bool on) override
    {
        enter(on ? QStringLiteral("power on") : QStringLiteral("power off"));
        std::lock_guard lock(mutex);
        return powerError;
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
        callThreads.append(QThread::currentThread());
    }
};

struct Outcome {
    int calls = 0;
    bool onMainThread = true;
    QList<ScannedNetwork> networks;
    std::optional<SystemError> error;
};

} // namespace

class tst_WiFiEngine : public QObject {
    Q_OBJECT
    ScriptedBackend* backend_ = nullptr;
    std::unique_ptr<WiFiEngine> engine_;

    void scan(Outcome& outcome)
    {
        engine_->scan([&outcome](QList<ScannedNetwork> networks, std::optional<SystemError> error) {
            ++outcome.calls;
            outcome.onMainThread = QThread::currentThread() == qApp->thread();
            outcome.networks = std::move(networks);
            outcome.error = std::move(error);
        });
        QTRY_COMPARE(outcome.calls, 1);
    }

    std::optional<SystemError> join(const QString& id, const std::optional<QString>& ssid,
                                    const std::optional<QString>& password = std::nullopt)
    {
        Outcome outcome;
        engine_->connect(id, ssid, password, [&outcome](std::optional<SystemError> error) {
            ++outcome.calls;
            outcome.error = std::move(error);
        });
        [&] { QTRY_COMPARE(outcome.calls, 1); }();
        return outcome.error;
    }

private Q_SLOTS:
    void init()
    {
        auto backend = std::make_unique<ScriptedBackend>();
        backend_ = backend.get();
        backend_->accessPoints = {accessPoint("Home", "b1", -50, 36), accessPoint("Home", "b2", -70, 6),
                                  accessPoint(nullptr, "h1", -60, 44), accessPoint("Cafe", "c1", -65, 1)};
        engine_ = std::make_unique<WiFiEngine>(std::move(backend));
    }

    void cleanup()
    {
        engine_.reset();
        backend_ = nullptr;
    }

    void completionsArePostedOnceOnTheMainThread()
    {
        // Also when the answer is known at once (no interface).
        for (bool interface : {true, false}) {
            backend_->interface = interface;
            QList<int> counts(4, 0);
            QList<bool> mainThread(4, false);
            const auto note = [&](int index) {
                ++counts[index];
                mainThread[index] = QThread::currentThread() == qApp->thread();
            };
            engine_->scan([&](QList<ScannedNetwork>, std::optional<SystemError>) { note(0); });
            QCOMPARE(counts[0], 0);
            engine_->connect(QStringLiteral("x"), QStringLiteral("Home"), std::nullopt,
                             [&](std::optional<SystemError>) { note(1); });
            QCOMPARE(counts[1], 0);
            engine_->disconnect([&] { note(2); });
            QCOMPARE(counts[2], 0);
            engine_->setPower(true, [&](std::optional<SystemError>) { note(3); });
            QCOMPARE(counts[3], 0);
            QTRY_COMPARE(counts, QList<int>({1, 1, 1, 1}));
            QCOMPARE(mainThread, QList<bool>({true, true, true, true}));
            // A marker submitted last proves every earlier completion has been
            // delivered; none of them may come a second time.
            bool marker = false;
            engine_->disconnect([&] { marker = true; });
            QTRY_VERIFY(marker);
            QCOMPARE(counts, QList<int>({1, 1, 1, 1}));
        }
        for (QThread* thread : std::as_const(backend_->callThreads)) {
            QVERIFY(thread != qApp->thread());
            QCOMPARE(thread, backend_->callThreads.first());
        }
    }

    void jobsRunInSubmissionOrder()
    {
        Outcome first;
        scan(first);
        backend_->calls.clear();
        backend_->gated = true;
        QStringList completed;
        engine_->scan([&](QList<ScannedNetwork>, std::optional<SystemError>) { completed << "scan"; });
        engine_->connect(first.networks[1].id(), std::nullopt, std::nullopt,
                         [&](std::optional<SystemError>) { completed << "join"; });
        engine_->setPower(false, [&](std::optional<SystemError>) { completed << "power"; });
        engine_->disconnect([&] { completed << "disconnect"; });
        engine_->setPower(true, [&](std::optional<SystemError>) { completed << "power"; });
        engine_->scan([&](QList<ScannedNetwork>, std::optional<SystemError>) { completed << "scan"; });
        backend_->gate.release(6);
        QTRY_COMPARE(completed.size(), 6);
        QCOMPARE(completed, QStringList({"scan", "join", "power", "disconnect", "power", "scan"}));
        QCOMPARE(backend_->calls,
                 QStringList({"scan", "join b2", "power off", "disconnect", "power on", "scan"}));
    }

    void quickReadsDoNotWaitForTheQueue()
    {
        backend_->saved = {"Home", QByteArray(), "Work"};
        backend_->association.ssid = QStringLiteral("Home");
        backend_->gated = true;
        bool scanned = false;
        engine_->scan([&](QList<ScannedNetwork>, std::optional<SystemError>) { scanned = true; });
        // The scan is stuck in the backend; the reads answer all the same.
        QCOMPARE(engine_->currentStatus().ssid, std::optional<QString>(QStringLiteral("Home")));
        QCOMPARE(engine_->savedSsids(), QSet<QByteArray>({"Home", "Work"}));
        QCOMPARE(engine_->interfaceName(), std::optional<QString>(QStringLiteral("wlan7")));
        QVERIFY(!scanned);
        backend_->gate.release();
        QTRY_VERIFY(scanned);
    }

    void scanBuildsRecordsAndRemembersAccessPoints()
    {
        Outcome outcome;
        scan(outcome);
        QVERIFY(outcome.onMainThread);
        QVERIFY(!outcome.error);
        // One record per access point, in the backend's order, unmerged, unmarked.
        QCOMPARE(outcome.networks.size(), 4);
        QCOMPARE(outcome.networks[0].bssid, std::optional<QString>("b1"));
        QCOMPARE(outcome.networks[1].bssid, std::optional<QString>("b2"));
        QCOMPARE(outcome.networks[2].ssid, std::optional<QString>());
        for (const ScannedNetwork& network : std::as_const(outcome.networks)) {
            QCOMPARE(network.apCount, 1);
            QCOMPARE(network.security, Security::wpa2Personal);
            QVERIFY(!network.isCurrent && !network.isSaved && !network.isFavorite);
        }
    }

    void joinFindsTheRememberedAccessPoint_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<std::optional<QString>>("ssid");
        QTest::addColumn<QString>("joined"); // handle, or empty for gone
        const QString sep(QChar(1));
        QTest::newRow("by id, the stronger")
            << "Home" + sep + "b1" + sep + "36" << std::optional<QString>() << "b1";
        QTest::newRow("by id, the weaker")
            << "Home" + sep + "b2" + sep + "6" << std::optional<QString>("Home") << "b2";
        QTest::newRow("unknown id, known name: first seen")
            << "stale" << std::optional<QString>("Home") << "b1";
        QTest::newRow("hidden by id")
            << sep + "hidden" + sep + "h1" + sep + "44" << std::optional<QString>() << "h1";
        QTest::newRow("unknown id, no name") << "stale" << std::optional<QString>() << "";
        QTest::newRow("unknown id, empty name") << "stale" << std::optional<QString>(QString()) << "";
        QTest::newRow("unknown id, unknown name") << "stale" << std::optional<QString>("Elsewhere") << "";
        QTest::newRow("name is case-sensitive") << "stale" << std::optional<QString>("home") << "";
    }

    void joinFindsTheRememberedAccessPoint()
    {
        QFETCH(QString, id);
        QFETCH(std::optional<QString>, ssid);
        QFETCH(QString, joined);
        // Before any scan nothing is known.
        QCOMPARE(join(id, ssid)->wifiError(), std::optional<WiFiError>(WiFiError::gone));
        Outcome outcome;
        scan(outcome);
        const std::optional<SystemError> error = join(id, ssid, QStringLiteral("secret"));
        if (joined.isEmpty()) {
            QVERIFY(error);
            QCOMPARE(error->wifiError(), std::optional<WiFiError>(WiFiError::gone));
            QCOMPARE(backend_->calls.filter(QStringLiteral("join")).size(), 0);
        } else {
            QVERIFY(!error);
            QCOMPARE(backend_->joinedHandle, joined);
            QCOMPARE(backend_->joinedPassword, std::optional<QString>("secret"));
        }
    }

    void failedScanKeepsTheRememberedAccessPoints()
    {
        Outcome first;
        scan(first);
        const QString cafe = first.networks[3].id();

        backend_->power = false;
        Outcome off;
        scan(off);
        QCOMPARE(off.error->wifiError(), std::optional<WiFiError>(WiFiError::powerOff));
        QCOMPARE(backend_->calls.count(QStringLiteral("scan")), 1); // not attempted with the radio off
        QVERIFY(!join(cafe, std::nullopt));

        backend_->power = true;
        backend_->scanError = SystemError(QStringLiteral("test"), -1, QStringLiteral("busy"));
        Outcome failed;
        scan(failed);
        QCOMPARE(failed.error, backend_->scanError);
        QVERIFY(failed.networks.isEmpty());
        QVERIFY(!join(cafe, std::nullopt));

        // A successful scan replaces the whole memory.
        backend_->scanError.reset();
        backend_->accessPoints = {accessPoint("Other", "o1", -40, 11)};
        Outcome second;
        scan(second);
        QCOMPARE(join(cafe, QStringLiteral("Cafe"))->wifiError(), std::optional<WiFiError>(WiFiError::gone));
        QVERIFY(!join(QStringLiteral("stale"), QStringLiteral("Other")));
    }

    void systemErrorsPassUnchanged()
    {
        Outcome outcome;
        scan(outcome);
        const SystemError refused(QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason"), 7,
                                  QStringLiteral("Secrets were required, but not provided."));
        backend_->joinError = refused;
        const std::optional<SystemError> error = join(outcome.networks[0].id(), std::nullopt);
        QCOMPARE(error, std::optional<SystemError>(refused));
        QCOMPARE(error->description(), refused.description());
        QVERIFY(!error->wifiError());

        backend_->powerError =
            SystemError(QStringLiteral("org.freedesktop.DBus.Error"), 3, QStringLiteral("denied"));
        std::optional<SystemError> powerError;
        bool done = false;
        engine_->setPower(true, [&](std::optional<SystemError> e) {
            powerError = e;
            done = true;
        });
        QTRY_VERIFY(done);
        QCOMPARE(powerError, backend_->powerError);
    }

    void withoutInterface()
    {
        for (bool scripted : {true, false}) {
            if (scripted)
                backend_->interface = false;
            else
                engine_ = std::make_unique<WiFiEngine>(std::make_unique<NoInterfaceBackend>());
            Outcome outcome;
            scan(outcome);
            QCOMPARE(outcome.error->wifiError(), std::optional<WiFiError>(WiFiError::noInterface));
            QCOMPARE(outcome.error->code(), 0);
            QCOMPARE(join(QStringLiteral("x"), QStringLiteral("Home"))->wifiError(),
                     std::optional<WiFiError>(WiFiError::noInterface));
            std::optional<SystemError> powerError;
            int powered = 0;
            engine_->setPower(true, [&](std::optional<SystemError> e) {
                powerError = e;
                ++powered;
            });
            bool left = false;
            engine_->disconnect([&] { left = true; });
            QTRY_VERIFY(left);
            QCOMPARE(powered, 1);
            QCOMPARE(powerError->wifiError(), std::optional<WiFiError>(WiFiError::noInterface));
            QCOMPARE(engine_->currentStatus(), WiFiEngine::Status());
            QVERIFY(engine_->savedSsids().isEmpty());
            QCOMPARE(engine_->interfaceName(), std::optional<QString>());
            if (scripted)
                QVERIFY(backend_->calls.isEmpty());
        }
    }

    void statusFromTheAssociation()
    {
        backend_->association.ssid = QStringLiteral("Home");
        backend_->association.bssid = QStringLiteral("b1");
        backend_->association.rssi = -48;
        backend_->association.noise = -95;
        backend_->association.txRate = 1200.5;
        backend_->association.channel = ChannelInfo{37, 3, 4};
        WiFiEngine::Status status = engine_->currentStatus();
        QVERIFY(status.hasInterface && status.poweredOn);
        QCOMPARE(status.ssid, std::optional<QString>("Home"));
        QCOMPARE(status.bssid, std::optional<QString>("b1"));
        QCOMPARE(status.rssi, -48);
        QCOMPARE(status.noise, -95);
        QCOMPARE(status.txRate, 1200.5);
        QCOMPARE(status.channel, 37);
        QCOMPARE(status.band, Band::ghz6);

        backend_->power = false;
        backend_->association = Association();
        status = engine_->currentStatus();
        QVERIFY(status.hasInterface && !status.poweredOn);
        QCOMPARE(status.channel, 0);
        QCOMPARE(status.band, Band::unknown);
        QCOMPARE(status.ssid, std::optional<QString>());
    }

    void destroyedEngineDropsJobsThatHadNotStarted()
    {
        backend_->gated = true;
        int scans = 0, joins = 0, powers = 0, leaves = 0;
        std::optional<SystemError> powerError;
        engine_->scan([&](QList<ScannedNetwork>, std::optional<SystemError>) { ++scans; }); // running
        engine_->scan([&](QList<ScannedNetwork>, std::optional<SystemError>) { ++scans; });
        engine_->connect(QStringLiteral("x"), QStringLiteral("Home"), std::nullopt,
                         [&](std::optional<SystemError>) { ++joins; });
        engine_->setPower(true, [&](std::optional<SystemError> e) {
            ++powers;
            powerError = e;
        });
        engine_->disconnect([&] { ++leaves; });
        QTRY_COMPARE(backend_->waiting.load(), 1); // the first scan runs and waits
        engine_.reset();
        QTRY_COMPARE(leaves, 1);
        QTRY_COMPARE(powers, 1);
        QCOMPARE(powerError->wifiError(), std::optional<WiFiError>(WiFiError::noInterface));
        QTRY_COMPARE(scans, 1); // the scan that was running still completes
        // Nothing more comes: not before a call queued after everything else.
        bool marker = false;
        QMetaObject::invokeMethod(
            this, [&] { marker = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(marker);
        QCOMPARE(scans, 1);
        QCOMPARE(joins, 0);
    }

    void errorCodes()
    {
        for (int code = 0; code <= 3; ++code) {
            const SystemError error(static_cast<WiFiError>(code));
            QCOMPARE(error.code(), code);
            QCOMPARE(error.wifiError(), std::optional<WiFiError>(static_cast<WiFiError>(code)));
        }
        // Another domain with the same code is not the engine's.
        QVERIFY(!SystemError(QStringLiteral("other"), 2, QStringLiteral("x")).wifiError());
    }
};

QTEST_GUILESS_MAIN(tst_WiFiEngine)
#include "tst_WiFiEngine.moc"
