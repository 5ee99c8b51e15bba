// iwd's rules on plain values: which device, what a network and the
// connected station become, which network a join uses, which failure a
// D-Bus error stands for.

#include "wifi/ScannedNetwork.h"
#include "wifi/iwd/IwdNames.h"
#include "wifi/iwd/IwdRules.h"

#include <QtTest>

using namespace ondrel;
using namespace ondrel::iwd::dbus;

namespace {

const QString kStationPath = QStringLiteral("/net/connman/iwd/0/17");

iwd::Objects objects(const QString& state, const QString& connected = {})
{
    iwd::Objects o;
    o[QStringLiteral("/net/connman/iwd/0")][kAdapter] = {{"Powered", true}, {"Name", "phy0"}};
    // An access-point-mode device first in path order is no station.
    o[QStringLiteral("/net/connman/iwd/0/9")][kDevice] = {{"Name", "ap0"}, {"Mode", "ap"}, {"Powered", true}};
    o[kStationPath][kDevice] = {
        {"Name", "wlan0"}, {"Mode", "station"}, {"Powered", true}, {"Adapter", "/net/connman/iwd/0"}};
    QVariantMap station{{"State", state}, {"Scanning", false}};
    if (!connected.isEmpty())
        station.insert("ConnectedNetwork", connected);
    o[kStationPath][kStation] = station;
    for (const auto& [name, type] : {std::pair{"Home", "psk"}, {"Home", "open"}, {"Caf\xc3\xa9", "open"}}) {
        const QString path =
            kStationPath + '/' + QString::fromLatin1(QByteArray(name).toHex()) + '_' + QLatin1String(type);
        o[path][kNetwork] = {{"Name", QString::fromUtf8(name)}, {"Type", type}, {"Device", kStationPath}};
    }
    o[QStringLiteral("/net/connman/iwd/486f6d65_psk")][kKnownNetwork] = {{"Name", "Home"}, {"Type", "psk"}};
    return o;
}

const QString kHomePsk = kStationPath + QStringLiteral("/486f6d65_psk");
const QString kHomeOpen = kStationPath + QStringLiteral("/486f6d65_open");

} // namespace

class tst_IwdRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void device()
    {
        iwd::Objects o = objects("disconnected");
        std::optional<iwd::Device> found = iwd::device(o);
        QVERIFY(found && found->path == kStationPath && found->name == QLatin1String("wlan0"));
        QVERIFY(iwd::isPoweredOn(found));
        // Adapter off: the device stays, without its station; the radio is off.
        o[QStringLiteral("/net/connman/iwd/0")][kAdapter]["Powered"] = false;
        QVERIFY(iwd::device(o) && !iwd::isPoweredOn(iwd::device(o)));
        o = objects("disconnected");
        o[kStationPath].remove(kStation);
        QVERIFY(!iwd::isPoweredOn(iwd::device(o)));
        QCOMPARE(iwd::knownNetworks(o).size(), 1);
    }

    // Types, signals (100 * dBm, rounded), names as bytes; hidden access points by address.
    void records_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("security");
        QTest::addColumn<int>("rssi");
        QTest::newRow("psk") << "psk" << -4550 << int(Security::wpa2Personal) << -46;
        QTest::newRow("open, also OWE") << "open" << -6049 << int(Security::open) << -60;
        QTest::newRow("wep") << "wep" << -7000 << int(Security::wep) << -70;
        QTest::newRow("8021x") << "8021x" << 0 << int(Security::enterprise) << 0;
        QTest::newRow("something newer") << "sae-ext" << -100 << int(Security::unknown) << -1;
    }
    void records()
    {
        QFETCH(QString, type);
        QFETCH(int, signal);
        QFETCH(int, security);
        QFETCH(int, rssi);
        const AccessPoint ap = iwd::accessPointFromNetwork(
            "/n", {{"Name", QString::fromUtf8("Caf\xc3\xa9")}, {"Type", type}}, signal);
        const ScannedNetwork record = ScannedNetwork::fromAccessPoint(ap);
        QCOMPARE(ap.ssidBytes, QByteArray("Caf\xc3\xa9"));
        QCOMPARE(record.ssid, std::optional<QString>(QString::fromUtf8("Caf\xc3\xa9")));
        QCOMPARE(int(record.security), security);
        QCOMPARE(record.rssi, rssi);
        QCOMPARE(ap.handle, QStringLiteral("/n"));
        const AccessPoint hidden = iwd::hiddenAccessPoint("02:00:00:0A:08:00", signal, type);
        QVERIFY(hidden.ssidBytes.isEmpty() && !hidden.ssid && hidden.handle.isEmpty());
        QCOMPARE(hidden.bssid, std::optional<QString>("02:00:00:0a:08:00"));
        QCOMPARE(ScannedNetwork::fromAccessPoint(hidden).rssi, rssi);
        // A network without a name is hidden, not one named "".
        QVERIFY(!iwd::accessPointFromNetwork("/h", {{"Name", QString()}, {"Type", type}}, signal).ssid);
    }

    // Connected only in "connected" and "roaming"; figures from the diagnostics.
    void association()
    {
        const QVariantMap diagnostics{
            {"ConnectedBss", "02:00:00:00:01:00"}, {"Frequency", 5180u}, {"RSSI", -52}, {"TxBitrate", 8667u}};
        for (const char* state : {"connecting", "disconnecting", "disconnected"})
            QVERIFY(!iwd::association(objects(state, kHomePsk), diagnostics).ssid);
        for (const char* state : {"connected", "roaming"}) {
            const Association now = iwd::association(objects(state, kHomePsk), diagnostics);
            QCOMPARE(now.ssid, std::optional<QString>("Home"));
            QCOMPARE(now.bssid, std::optional<QString>("02:00:00:00:01:00"));
            QVERIFY(now.rssi == -52 && now.channel && now.channel->number == 36 &&
                    now.channel->bandCode == 2);
            QCOMPARE(now.txRate, 866.7);
        }
        // Diagnostics not read yet: the name, no figures.
        const Association bare = iwd::association(objects("connected", kHomeOpen), {});
        QVERIFY(bare.ssid == QStringLiteral("Home") && !bare.bssid && !bare.channel && bare.rssi == 0);
    }

    void networkToJoin()
    {
        const iwd::Objects o = objects("disconnected");
        AccessPoint ap = iwd::accessPointFromNetwork(kHomeOpen, o[kHomeOpen][kNetwork], -4000);
        QCOMPARE(iwd::networkToJoin(o, kStationPath, ap), std::optional<QString>(kHomeOpen));
        // The station was recreated (iwd restarted): by name, the same type preferred.
        ap.handle = QStringLiteral("/net/connman/iwd/0/16/486f6d65_open");
        QCOMPARE(iwd::networkToJoin(o, kStationPath, ap), std::optional<QString>(kHomeOpen));
        ap.security = iwd::securityFromType("psk");
        QCOMPARE(iwd::networkToJoin(o, kStationPath, ap), std::optional<QString>(kHomePsk));
        QVERIFY(!iwd::networkToJoin(o, QStringLiteral("/net/connman/iwd/0/9"), ap));
        ap.ssidBytes = "Gone";
        QVERIFY(!iwd::networkToJoin(o, kStationPath, ap));
        QVERIFY(!iwd::networkToJoin(o, kStationPath, iwd::hiddenAccessPoint("02:00:00:00:08:00", 0, "psk")));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("secured");
        QTest::addColumn<bool>("agentRefused");
        QTest::addColumn<qint64>("code");
        const qint64 none = qint64(WiFiError::noInterface);
        QTest::newRow("rejected passphrase")
            << "net.connman.iwd.Failed" << true << false << iwd::kSecretsFailed;
        QTest::newRow("open network refused") << "net.connman.iwd.Failed" << false << false << iwd::kTimedOut;
        QTest::newRow("no agent") << "net.connman.iwd.NoAgent" << true << false << iwd::kSecretsFailed;
        QTest::newRow("agent had nothing")
            << "net.connman.iwd.Aborted" << true << true << iwd::kSecretsFailed;
        QTest::newRow("aborted otherwise")
            << "net.connman.iwd.Aborted" << true << false << iwd::kOtherFailure;
        QTest::newRow("passphrase too short")
            << "net.connman.iwd.InvalidFormat" << true << false << iwd::kSecretsFailed;
        QTest::newRow("not found") << "net.connman.iwd.NotFound" << true << false << iwd::kNotFound;
        QTest::newRow("iwd timed out") << "net.connman.iwd.Timeout" << false << false << iwd::kTimedOut;
        QTest::newRow("no answer") << "org.freedesktop.DBus.Error.NoReply" << false << false
                                   << iwd::kTimedOut;
        QTest::newRow("bus policy") << "org.freedesktop.DBus.Error.AccessDenied" << false << false
                                    << iwd::kNotPermitted;
        QTest::newRow("enterprise") << "net.connman.iwd.NotConfigured" << true << false << iwd::kOtherFailure;
        QTest::newRow("iwd gone") << "org.freedesktop.DBus.Error.ServiceUnknown" << true << false << none;
        QTest::newRow("station gone") << "org.freedesktop.DBus.Error.UnknownObject" << true << false << none;
    }
    void failures()
    {
        QFETCH(QString, error);
        QFETCH(bool, secured);
        QFETCH(bool, agentRefused);
        QFETCH(qint64, code);
        const SystemError failure = iwd::failureFromError(error, "iwd's words", {secured, agentRefused});
        QCOMPARE(failure.code(), code);
        QCOMPARE(failure.domain(),
                 code == qint64(WiFiError::noInterface) ? SystemError::kWiFiErrorDomain : iwd::kDomain);
        QVERIFY(!failure.description().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_IwdRules)
#include "tst_IwdRules.moc"
