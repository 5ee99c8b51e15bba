// The iwd backend, in this process and in "ondrel --probe", against python-dbusmock's iwd
// (tests/wifi/iwd/iwd_template.py, modelled on iwd 2.3 in the lab) on a private bus that this test starts
// itself.

#include "tests/wifi/iwd/MockIwd.h"
#include "wifi/ScannedNetwork.h"
#include "wifi/iwd/IwdBackend.h"
#include "wifi/iwd/IwdNames.h"
#include "wifi/iwd/IwdRules.h"

#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

using namespace ondrel;
using namespace ondrel::iwd::dbus;
using namespace std::chrono_literals;
using test::MockIwd;
using Error = std::optional<SystemError>;

namespace {

const QString kRight = QStringLiteral("right pass");

IwdBackend::Limits limits(std::chrono::milliseconds join = 5s)
{
    return {.call = 1500ms,
            .scan = 500ms,
            .join = join,
            .settle = 1500ms,
            .retry = 100ms,
            .diagnostics = 100ms,
            .nextScan = 40ms};
}

// A join of "Home" (passphrase kRight): known to iwd with `stored`, or not; the error code (0: joined) and
// the passphrase iwd has on disk afterwards (empty: no file).
struct Join {
    QString name = QStringLiteral("Home");
    QString type = QStringLiteral("psk");
    std::optional<QString> stored{};
    QString typed{};
    QString outcome = QStringLiteral("ok");
    QStringList denied{};
    QVariantMap behaviour{};
    qint64 code = 0;
    uint agentRequests = 0;
    std::optional<QString> kept{};
};

QString fileOf(const QString& name, const QString& type)
{
    const QByteArray bytes = name.toUtf8();
    const bool plain = std::ranges::all_of(bytes, [](char c) {
        return (uchar(c) < 0x80 && QChar::fromLatin1(c).isLetterOrNumber()) || c == ' ' || c == '-' ||
               c == '_';
    });
    return (plain ? name : QLatin1Char('=') + QString::fromLatin1(bytes.toHex())) + QLatin1Char('.') + type;
}

} // namespace

Q_DECLARE_METATYPE(Join)

class tst_IwdBackend : public QObject {
    Q_OBJECT

    std::unique_ptr<MockIwd> iwd_;
    QString station_;

    static AccessPoint find(const ScanResult& result, const QByteArray& ssid)
    {
        const auto found = std::ranges::find(result.accessPoints, ssid, &AccessPoint::ssidBytes);
        return found == result.accessPoints.end() ? AccessPoint() : *found;
    }
    QString state()
    {
        const QDBusMessage reply = iwd_->call(station_, kProperties, "Get", {kStation, "State"});
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        iwd_ = std::make_unique<MockIwd>();
        QVERIFY(iwd_->start({{"ScanMs", 30}, {"StepMs", 10}, {"FailMs", 60}}));
    }
    void init()
    {
        QVERIFY(iwd_->reset());
        station_ = iwd_->addDevice();
    }

    // A scan: one Scan, every network once with its name's bytes, type and signal, hidden access points by
    // address; a busy or endless scan serves the current list. The reads follow iwd's signals: known
    // networks, a join made elsewhere (with the connected network's address and rate), the radio, the device.
    void scanAndReads()
    {
        iwd_->addNetwork("Home", "psk", -4550, kRight);
        iwd_->addNetwork(QString::fromUtf8("Caf\xc3\xa9"), "open", -6000, {},
                         {{"address", "02:00:00:00:03:00"}});
        iwd_->addNetwork("Office", "8021x", -7000);
        iwd_->addNetwork("Lab Hidden", "psk", -5000, "hidden pass",
                         {{"hidden", true}, {"address", "02:00:00:00:08:00"}});
        iwd_->addKnownNetwork("Home", "psk", kRight);
        iwd_->addKnownNetwork("Attic", "open");
        IwdBackend backend(limits());
        QVERIFY(backend.isPresent() && backend.isPoweredOn());
        QCOMPARE(backend.interfaceName(), std::optional<QString>("wlan0"));
        QCOMPARE(backend.savedSsids(), (QList<QByteArray>{"Attic", "Home"}));
        const ScanResult result = backend.scan();
        QVERIFY(!result.error);
        QCOMPARE(iwd_->counter("scan_requests"), 1u);
        const QList<std::tuple<QByteArray, Security, int>> expected{{"Home", Security::wpa2Personal, -46},
                                                                    {"Caf\xc3\xa9", Security::open, -60},
                                                                    {"Office", Security::enterprise, -70},
                                                                    {"", Security::wpa2Personal, -50}};
        QCOMPARE(result.accessPoints.size(), expected.size());
        for (const auto& [ssid, security, rssi] : expected) {
            const AccessPoint ap = find(result, ssid);
            const ScannedNetwork record = ScannedNetwork::fromAccessPoint(ap);
            QVERIFY2(record.security == security && record.rssi == rssi, ssid.constData());
            QCOMPARE(ap.bssid, ssid.isEmpty() ? std::optional<QString>("02:00:00:00:08:00") : std::nullopt);
        }
        // A hidden access point is joined only by its name.
        QCOMPARE(backend.join(find(result, ""), kRight)->code(), iwd::kOtherFailure);
        QCOMPARE(iwd_->counter("connects"), 0u);
        // A scan that another follows at once: the list is read after the second one ends.
        iwd_->behave("scan_mode", "twice");
        iwd_->addNetwork("Newcomer", "open", -6500);
        QVERIFY(!find(backend.scan(), "Newcomer").handle.isEmpty());
        iwd_->mock("RemoveNetwork", {"Newcomer", "open"});
        for (const char* mode : {"busy", "never"}) {
            iwd_->behave("scan_mode", mode);
            QCOMPARE(backend.scan().accessPoints.size(), expected.size());
        }
        iwd_->behave("scan_mode", "normal");

        // Joined by another client: the reads and the next scan show it.
        const QString cafe = find(result, "Caf\xc3\xa9").handle;
        QCOMPARE(iwd_->call(cafe, kNetwork, "Connect").type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(backend.currentAssociation().bssid, std::optional<QString>("02:00:00:00:03:00"));
        const Association now = backend.currentAssociation();
        QVERIFY(now.ssid == QString::fromUtf8("Caf\xc3\xa9") && now.rssi == -60 && now.txRate == 54.0);
        QTRY_COMPARE(backend.savedSsids().size(), 3);
        const ScanResult again = backend.scan();
        QCOMPARE(find(again, "Caf\xc3\xa9").bssid, now.bssid);
        QVERIFY(!find(again, "Home").bssid);

        // The radio: off leaves the device without its station; on brings it back.
        QVERIFY(!backend.setPower(false));
        QVERIFY(backend.hasInterface() && !backend.isPoweredOn() && !backend.currentAssociation().ssid);
        QVERIFY(backend.scan().error == SystemError(WiFiError::powerOff));
        QVERIFY(!backend.setPower(true));
        QVERIFY(backend.isPoweredOn());
        QCOMPARE(backend.scan().accessPoints.size(), expected.size());
        iwd_->behave("denied", QStringList{"Powered"}); // a refusal is not reported as done
        QCOMPARE(backend.setPower(false)->code(), iwd::kNotPermitted);
        QVERIFY(backend.isPoweredOn());

        iwd_->mock("RemoveDevice");
        QTRY_VERIFY(!backend.hasInterface());
        QVERIFY(backend.isPresent());
        QCOMPARE(iwd_->addDevice("wlan1"), QStringLiteral("/net/connman/iwd/0/18"));
        QTRY_COMPARE(backend.interfaceName(), std::optional<QString>("wlan1"));
    }

    // The saved-first promises with iwd's storage: nothing typed reaches iwd but through the agent, a stored
    // passphrase changes only by a join that worked, a failed new network leaves nothing known.
    void joins_data()
    {
        QTest::addColumn<Join>("row");
        const QString outdated = QStringLiteral("outdated pass");
        QTest::newRow("new, right") << Join{.typed = kRight, .agentRequests = 1, .kept = kRight};
        QTest::newRow("new, non-ASCII name") << Join{.name = QString::fromUtf8("Caf\xc3\xa9 \xe2\x98\x95"),
                                                     .typed = kRight,
                                                     .agentRequests = 1,
                                                     .kept = kRight};
        QTest::newRow("new, wrong") << Join{.typed = "wrong pass", .code = 7, .agentRequests = 1};
        QTest::newRow("new, wrong, asked again")
            << Join{.typed = "wrong pass", .behaviour = {{"reask", true}}, .code = 7, .agentRequests = 2};
        QTest::newRow("new, agent registered before") << Join{
            .typed = kRight, .behaviour = {{"agent_exists", true}}, .agentRequests = 1, .kept = kRight};
        QTest::newRow("new, nothing typed") << Join{.code = 7, .agentRequests = 1};
        QTest::newRow("known, nothing typed") << Join{.stored = kRight, .kept = kRight};
        QTest::newRow("known, another typed")
            << Join{.stored = kRight, .typed = "other pass", .kept = kRight};
        QTest::newRow("known outdated, nothing typed")
            << Join{.stored = outdated, .code = 7, .kept = outdated};
        QTest::newRow("known outdated, typed right")
            << Join{.stored = outdated, .typed = kRight, .agentRequests = 1, .kept = kRight};
        QTest::newRow("known outdated, typed wrong") << Join{
            .stored = outdated, .typed = "wrong pass", .code = 7, .agentRequests = 1, .kept = outdated};
        QTest::newRow("open") << Join{.type = "open", .kept = QString()};
        QTest::newRow("open, no address ever")
            << Join{.type = "open", .outcome = "noaddress", .code = iwd::kTimedOut};
        QTest::newRow("refused by the network")
            << Join{.type = "open", .outcome = "fail", .code = iwd::kTimedOut};
        QTest::newRow("never ends") << Join{
            .typed = kRight, .outcome = "stall", .code = iwd::kTimedOut, .agentRequests = 1};
        QTest::newRow("agent refused by policy")
            << Join{.typed = kRight, .denied = {"RegisterAgent"}, .code = iwd::kNotPermitted};
    }
    void joins()
    {
        QFETCH(Join, row);
        iwd_->addNetwork(row.name, row.type, -4000, kRight,
                         {{"outcome", row.outcome}, {"address", "02:00:00:00:01:00"}, {"frequency", 5180u}});
        iwd_->addNetwork("Neighbour", "psk", -7000, "theirs");
        if (row.stored)
            iwd_->addKnownNetwork(row.name, row.type, *row.stored);
        iwd_->behave("denied", row.denied);
        for (auto it = row.behaviour.cbegin(); it != row.behaviour.cend(); ++it)
            iwd_->behave(it.key(), it.value());
        iwd_->behave("impostor", true);
        const QVariantMap before = iwd_->files();
        const bool slow = row.outcome == QLatin1String("stall") || row.outcome == QLatin1String("noaddress");
        IwdBackend backend(limits(slow ? 500ms : 5s));
        const AccessPoint ap = find(backend.scan(), row.name.toUtf8());
        QVERIFY(!ap.handle.isEmpty());
        const Error error = backend.join(ap, row.typed.isEmpty() ? std::nullopt : std::optional(row.typed));
        QVERIFY2((error ? error->code() : 0) == row.code,
                 qPrintable(error ? error->description() : QString()));
        QCOMPARE(error ? error->domain() : iwd::kDomain, iwd::kDomain);
        QCOMPARE(iwd_->counter("agent_requests"), row.agentRequests);
        // Another program on the bus that asks the agent first is told nothing.
        if (row.agentRequests)
            QCOMPARE(iwd_->mock("Impostor").toString(),
                     QStringLiteral("net.connman.iwd.Agent.Error.Canceled"));
        const QString file = fileOf(row.name, row.type);
        QTRY_COMPARE(iwd_->files().contains(file), row.kept.has_value());
        if (row.kept)
            QVERIFY2(iwd_->files().value(file).toString().contains(
                         row.type == QLatin1String("psk") ? "Passphrase=" + *row.kept : QString()),
                     qPrintable(iwd_->files().value(file).toString()));
        if (error) {
            // Nothing else stored, nothing connected.
            QCOMPARE(iwd_->files(), before);
            QTRY_VERIFY(!backend.currentAssociation().ssid);
            QCOMPARE(backend.savedSsids().contains(row.name.toUtf8()), row.stored.has_value());
            return;
        }
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>(row.name));
        QTRY_COMPARE(backend.currentAssociation().channel.value_or(ChannelInfo()).number, 36);
        QVERIFY(backend.savedSsids().contains(row.name.toUtf8()));
        backend.disconnect();
        QVERIFY(!backend.currentAssociation().ssid);
        QCOMPARE(state(), QStringLiteral("disconnected"));
    }

    // A join by name: iwd's ConnectHiddenNetwork with the typed passphrase through the agent, stored as
    // hidden only once it worked; a name iwd lists already is joined as a listed network; a name nobody
    // answers to is not found. Refused before iwd is asked: enterprise networks (the system's settings join
    // them) and names iwd cannot name (32 bytes it can).
    void hiddenByName()
    {
        iwd_->addNetwork("Den", "psk", -5000, kRight,
                         {{"hidden", true}, {"address", "02:00:00:00:05:00"}, {"frequency", 5180u}});
        iwd_->addNetwork("Home", "open", -4000, {}, {{"address", "02:00:00:00:01:00"}, {"frequency", 2412u}});
        iwd_->addNetwork("Office", "8021x", -4000);
        iwd_->addNetwork(QString(32, u'h'), "open", -5000, {},
                         {{"hidden", true}, {"address", "02:00:00:00:09:00"}});
        IwdBackend backend(limits());
        QVERIFY(backend.join(find(backend.scan(), "Office"), kRight) == SystemError(WiFiError::enterprise));
        QVERIFY(backend.joinHidden("Office", Security::enterprise, kRight) ==
                SystemError(WiFiError::enterprise));
        QCOMPARE(backend.joinHidden("\xff\xfe", Security::wpa2Personal, kRight)->code(), iwd::kOtherFailure);
        QCOMPARE(backend.joinHidden(QByteArray(33, 'h'), Security::open, std::nullopt)->code(),
                 iwd::kOtherFailure);
        QCOMPARE(iwd_->counter("connects"), 0u);

        const QVariantMap before = iwd_->files();
        QCOMPARE(backend.joinHidden("Den", Security::wpa2Personal, QStringLiteral("wrong pass"))->code(), 7);
        QCOMPARE(iwd_->counter("agent_requests"), 1u);
        QCOMPARE(iwd_->files(), before);
        QCOMPARE(backend.joinHidden("Nobody", Security::wpa2Personal, kRight)->code(), 53);

        QCOMPARE(backend.joinHidden("Den", Security::wpa2Personal, kRight), Error());
        QCOMPARE(iwd_->counter("agent_requests"), 2u);
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>("Den"));
        const QString den = fileOf("Den", "psk");
        QTRY_VERIFY2(iwd_->files().value(den).toString().contains("Hidden=true"),
                     qPrintable(iwd_->files().value(den).toString()));
        QVERIFY(iwd_->files().value(den).toString().contains("Passphrase=" + kRight));
        // Joined, the hidden network is listed by its name with its address; the other hidden access point
        // is still listed by address alone.
        QList<std::optional<QString>> nameless;
        for (const AccessPoint& ap : backend.scan().accessPoints) {
            if (ap.ssidBytes.isEmpty())
                nameless << ap.bssid;
        }
        QCOMPARE(nameless, QList<std::optional<QString>>{QStringLiteral("02:00:00:00:09:00")});
        QCOMPARE(find(backend.scan(), "Den").bssid, std::optional<QString>("02:00:00:00:05:00"));
        backend.disconnect();

        const uint connects = iwd_->counter("connects");
        QCOMPARE(backend.joinHidden("Home", Security::open, std::nullopt), Error());
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>("Home"));
        QCOMPARE(iwd_->counter("connects"), connects + 1);
        QVERIFY(!backend.joinHidden(QByteArray(32, 'h'), Security::open, std::nullopt));
    }

    // iwd leaving and coming back (with a new station, as it recreates the interface): a join waiting for it
    // ends, no interface meanwhile, then the same network joined by name. A join in flight also ends when the
    // engine goes away.
    void leavingAndComingBack()
    {
        iwd_->addNetwork("Home", "open", -4000);
        IwdBackend backend(limits(600s));
        const AccessPoint ap = find(backend.scan(), "Home");
        iwd_->addNetwork("Home", "open", -4000, {}, {{"outcome", "stall"}});
        Error result;
        std::unique_ptr<QThread> worker(QThread::create([&] { result = backend.join(ap, std::nullopt); }));
        worker->start();
        QTRY_COMPARE(iwd_->counter("connects"), 1u);
        iwd_->stop();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 10000);
        QVERIFY(result == SystemError(WiFiError::noInterface));
        QVERIFY(!backend.isPresent() && !backend.hasInterface());
        QVERIFY(backend.scan().error == SystemError(WiFiError::noInterface));

        QVERIFY(iwd_->reset());
        iwd_->addDevice();
        iwd_->mock("RemoveDevice");
        station_ = iwd_->addDevice();
        iwd_->addNetwork("Home", "open", -4000);
        QTRY_VERIFY(backend.isPoweredOn());
        QVERIFY(!backend.scan().error);
        QVERIFY(!backend.join(ap, std::nullopt)); // the old station's network, found by name
        QCOMPARE(backend.currentAssociation().ssid, std::optional<QString>("Home"));
        // While iwd roams to another access point, the network and the figures of the access point it leaves
        // stay. (The known network added after it shows that its announcement was read.)
        QTRY_VERIFY(backend.currentAssociation().bssid);
        const Association before = backend.currentAssociation();
        iwd_->mock("SetStationState", {"roaming"});
        iwd_->addKnownNetwork("After roaming", "open");
        QTRY_VERIFY(backend.savedSsids().contains("After roaming"));
        const Association roaming = backend.currentAssociation();
        QCOMPARE(std::tuple(roaming.ssid, roaming.bssid, roaming.rssi),
                 std::tuple(std::optional<QString>("Home"), before.bssid, before.rssi));
        iwd_->mock("SetStationState", {"connected"});

        backend.disconnect();
        iwd_->addNetwork("Home", "open", -4000, {}, {{"outcome", "stall"}});
        worker.reset(QThread::create([&] { result = backend.join(ap, std::nullopt); }));
        worker->start();
        QTRY_COMPARE(iwd_->counter("connects"), 2u);
        backend.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 3000);
        QCOMPARE(result->code(), iwd::kTimedOut);
    }

    // "ondrel --probe --json" names iwd and lists its networks; a join with the password from standard input,
    // or killed at a random moment once iwd asked for it: iwd keeps the network exactly when the join worked.
    void probe_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status"); // -1: killed
        QTest::newRow("right password") << kRight << 0;
        QTest::newRow("wrong password") << "wrong pass" << 1;
        QTest::newRow("killed, right password") << kRight << -1;
        QTest::newRow("killed, wrong password") << "wrong pass" << -1;
    }
    void probe()
    {
        QFETCH(QString, password);
        QFETCH(int, status);
        iwd_->addNetwork("Home", "psk", -4000, kRight, {{"address", "02:00:00:00:01:00"}});
        iwd_->addNetwork("Attic", "open", -6000);
        iwd_->addKnownNetwork("Attic", "open");
        iwd_->behave("autoconnect", false); // the state below is the join's alone
        QProcess process;
        QVERIFY(test::startProbe(process, iwd_->busAddress(),
                                 {"--json", "--connect", "Home", "--password", "-"}));
        process.write(password.toUtf8() + '\n');
        process.closeWriteChannel();
        const int moment = QRandomGenerator::global()->bounded(60);
        if (status < 0) {
            QTRY_VERIFY_WITH_TIMEOUT(iwd_->counter("agent_requests") == 1, 20000);
            if (!process.waitForFinished(moment))
                process.kill();
        }
        // (A join quicker than the moment has ended already.)
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(60000));
        const QByteArray context = "killed " + QByteArray::number(moment) + " ms after iwd asked";
        // Once the join has ended: stored if and only if it is connected.
        QTRY_VERIFY(state() == QLatin1String("connected") || state() == QLatin1String("disconnected"));
        QVERIFY2(iwd_->files().contains("Home.psk") == (state() == QLatin1String("connected")),
                 context.constData());
        QVERIFY(password == kRight || !iwd_->files().contains("Home.psk"));
        if (status < 0)
            return;
        const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(report.value("backend").toString(), QStringLiteral("iwd"));
        QCOMPARE(report.value("interface").toObject().value("name").toString(), QStringLiteral("wlan0"));
        const QJsonArray networks = report.value("networks").toArray();
        QCOMPARE(networks.size(), 2);
        QCOMPARE(networks[0].toObject().value("ssid").toString(), QStringLiteral("Home"));
        QCOMPARE(networks[1].toObject().value("saved").toBool(), true);
        const QJsonObject join = report.value("join").toObject();
        QCOMPARE(join.value("outcome").toString(), QLatin1String(status == 0 ? "ok" : "failed"));
        QCOMPARE(join.value("error").toObject().value("code").toInt(), status == 0 ? 0 : 7);
        QCOMPARE(join.value("current").toString(), status == 0 ? QStringLiteral("Home") : QString());
    }

    // Where iwd is not running, nothing Ondrel does starts it (iwd's service file would, beside another
    // supplicant). Last: it stops the mock.
    void neverStartsIwd()
    {
        iwd_->stop();
        {
            IwdBackend backend(limits());
            QVERIFY(!backend.isPresent() && !backend.hasInterface());
            QVERIFY(backend.scan().error == SystemError(WiFiError::noInterface));
            QVERIFY(backend.join(iwd::accessPointFromNetwork("/n", {{"Name", "Home"}}, 0), std::nullopt) ==
                    SystemError(WiFiError::noInterface));
            QVERIFY(backend.setPower(true) == SystemError(WiFiError::noInterface));
            backend.disconnect();
        }
        QTest::qWait(300);
        QVERIFY(!iwd_->activated());
        // The bus does start it for a call that lets it.
        iwd_->connection().asyncCall(
            QDBusMessage::createMethodCall(MockIwd::service, "/", kObjectManager, "GetManagedObjects"));
        QTRY_VERIFY(iwd_->activated());
    }
};

QTEST_GUILESS_MAIN(tst_IwdBackend)
#include "tst_IwdBackend.moc"
