// iwd's rules on plain values: which device, what a network and the connected station become, which network a
// join uses, which failure a D-Bus error stands for.

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
    void records()
    {
        const QList<std::tuple<QString, int, Security, int>> rows{
            {"psk", -4550, Security::wpa2Personal, -46},
            {"open", -6049, Security::open, -60}, // also OWE
            {"wep", -7000, Security::wep, -70},
            {"8021x", 0, Security::enterprise, 0},
            {"sae-ext", -100, Security::unknown, -1}};
        for (const auto& [type, signal, security, rssi] : rows) {
            const AccessPoint ap = iwd::accessPointFromNetwork(
                "/n", {{"Name", QString::fromUtf8("Caf\xc3\xa9")}, {"Type", type}}, signal);
            const ScannedNetwork record = ScannedNetwork::fromAccessPoint(ap);
            QCOMPARE(std::tuple(ap.ssidBytes, record.ssid, record.security, record.rssi, ap.handle),
                     std::tuple(QByteArray("Caf\xc3\xa9"),
                                std::optional<QString>(QString::fromUtf8("Caf\xc3\xa9")), security, rssi,
                                QStringLiteral("/n")));
            const AccessPoint hidden = iwd::hiddenAccessPoint("02:00:00:0A:08:00", signal, type);
            QVERIFY(hidden.ssidBytes.isEmpty() && !hidden.ssid && hidden.handle.isEmpty());
            QCOMPARE(hidden.bssid, std::optional<QString>("02:00:00:0a:08:00"));
            QCOMPARE(ScannedNetwork::fromAccessPoint(hidden).rssi, rssi);
            // A network without a name is hidden, not one named "".
            QVERIFY(!iwd::accessPointFromNetwork("/h", {{"Name", QString()}, {"Type", type}}, signal).ssid);
        }
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

    // The D-Bus error, whether the network is secured and whether the agent refused; the failure.
    void failures()
    {
        const qint64 none = qint64(WiFiError::noInterface);
        const QList<std::tuple<const char*, bool, bool, qint64>> rows{
            {"net.connman.iwd.Failed", true, false, iwd::kSecretsFailed}, // a rejected passphrase
            {"net.connman.iwd.Failed", false, false, iwd::kTimedOut},     // an open network refused
            {"net.connman.iwd.NoAgent", true, false, iwd::kSecretsFailed},
            {"net.connman.iwd.Aborted", true, true, iwd::kSecretsFailed}, // the agent had nothing
            {"net.connman.iwd.Aborted", true, false, iwd::kOtherFailure},
            {"net.connman.iwd.InvalidFormat", true, false, iwd::kSecretsFailed}, // passphrase too short
            {"net.connman.iwd.NotFound", true, false, iwd::kNotFound},
            {"net.connman.iwd.Timeout", false, false, iwd::kTimedOut},
            {"org.freedesktop.DBus.Error.NoReply", false, false, iwd::kTimedOut},
            {"org.freedesktop.DBus.Error.AccessDenied", false, false, iwd::kNotPermitted}, // bus policy
            {"net.connman.iwd.NotConfigured", true, false, iwd::kOtherFailure},            // enterprise
            {"org.freedesktop.DBus.Error.ServiceUnknown", true, false, none},              // iwd gone
            {"org.freedesktop.DBus.Error.UnknownObject", true, false, none},               // station gone
        };
        for (const auto& [error, secured, agentRefused, code] : rows) {
            const SystemError failure =
                iwd::failureFromError(QString::fromLatin1(error), "iwd's words", {secured, agentRefused});
            QVERIFY2(failure.code() == code, error);
            QCOMPARE(failure.domain(), code == none ? SystemError::kWiFiErrorDomain : iwd::kDomain);
            QVERIFY(!failure.description().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_IwdRules)
#include "tst_IwdRules.moc"
