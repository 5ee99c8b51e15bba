// NetworkManager's values and rules without D-Bus: strengths, channels and
// security flags at their edges; which profiles count, which one and which
// access point a join uses, what it keeps and which failure it reports.

#include "wifi/NetworkManagerBackend.h"
#include "wifi/NetworkManagerMapping.h"
#include "wifi/NetworkManagerProfiles.h"
#include "wifi/NetworkManagerRules.h"

#include <QtTest>

using namespace ondrel;
using C = SecurityCode;
using Steps = nm::JoinSteps;
using B = NetworkManagerBackend;
using OptUint = std::optional<uint>;

namespace {

QVariantMap profile(const char* type, const char* mode, const QByteArray& ssid, const char* keyMgmt = "",
                    uint flags = 0, qint64 stamp = 0)
{
    QVariantMap wifi{{QStringLiteral("ssid"), ssid}};
    if (*mode)
        wifi.insert(QStringLiteral("mode"), QString::fromLatin1(mode));
    const bool wep = QByteArray(keyMgmt) == "none";
    return {{QStringLiteral("connection"), QVariantMap{{QStringLiteral("type"), QString::fromLatin1(type)},
                                                       {QStringLiteral("uuid"), QString::fromLatin1(ssid)},
                                                       {QStringLiteral("timestamp"), stamp}}},
            {QStringLiteral("802-11-wireless"), wifi},
            {nm::kSecuritySetting,
             QVariantMap{{QStringLiteral("key-mgmt"), QString::fromLatin1(keyMgmt)},
                         {wep ? QStringLiteral("wep-key-flags") : QStringLiteral("psk-flags"), flags}}}};
}

} // namespace

class tst_NetworkManagerRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strength()
    {
        // Edges, rounding, clamping; and NetworkManager's own formula gives
        // every percentage back from the dBm shown.
        const QList<std::pair<int, int>> rows{{100, -40}, {0, -100},  {50, -70}, {67, -60},
                                              {1, -99},   {255, -40}, {-3, -100}};
        for (const auto& [percent, dbm] : rows)
            QCOMPARE(nm::dbmFromStrength(percent), dbm);
        for (int p = 0; p <= 100; ++p)
            QVERIFY(std::abs(100 - 100 * (-40 - nm::dbmFromStrength(p)) / 60 - p) <= 1);
    }

    void channel_data()
    {
        QTest::addColumn<uint>("frequency");
        QTest::addColumn<uint>("bandwidth");
        QTest::addColumn<ChannelInfo>("expected"); // number, band code, width code
        const auto row = [](uint f, uint w, ChannelInfo c) { QTest::addRow("%u MHz", f) << f << w << c; };
        row(2412, 20, {1, 1, 1});
        row(2472, 40, {13, 1, 2});
        row(2484, 20, {14, 1, 1});
        row(5180, 80, {36, 2, 3});
        row(5885, 160, {177, 2, 4});
        row(4940, 20, {188, 2, 1});
        row(5935, 20, {2, 3, 1});
        row(5955, 320, {1, 3, 0});
        row(7115, 0, {233, 3, 0});
        row(60480, 2160, {0, 0, 0});
        row(5925, 20, {0, 3, 1}); // below 6 GHz channel 1
        row(5945, 20, {0, 3, 1}); // between centres
        row(2413, 20, {0, 1, 1});
        row(5182, 20, {0, 2, 1});
    }
    void channel()
    {
        QFETCH(uint, frequency);
        QFETCH(uint, bandwidth);
        QFETCH(ChannelInfo, expected);
        QCOMPARE(nm::channelFromFrequency(frequency, bandwidth), std::optional<ChannelInfo>(expected));
        QVERIFY(!nm::channelFromFrequency(0, 20));
    }

    void security_data()
    {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<uint>("wpa");
        QTest::addColumn<uint>("rsn");
        QTest::addColumn<SecurityCodes>("codes");
        QTest::newRow("open") << 0u << 0u << 0u << SecurityCodes{C::none};
        QTest::newRow("wep") << 1u << 0u << 0u << SecurityCodes{C::wep};
        QTest::newRow("wpa psk") << 1u << 0x144u << 0u << SecurityCodes{C::wpaPersonal};
        QTest::newRow("wpa+wpa2") << 1u << 0x144u << 0x188u << SecurityCodes{C::wpaPersonal, C::wpa2Personal};
        QTest::newRow("transition") << 1u << 0u << 0x588u << SecurityCodes{C::wpa2Personal, C::wpa3Personal};
        QTest::newRow("802.1X") << 1u << 0x200u << 0x200u
                                << SecurityCodes{C::wpaEnterprise, C::wpa2Enterprise};
        QTest::newRow("suite-b") << 1u << 0u << 0x2000u << SecurityCodes{C::wpa3Enterprise};
        QTest::newRow("owe") << 1u << 0u << 0x800u << SecurityCodes{C::owe};
        QTest::newRow("owe transition") << 0u << 0u << 0x1000u << SecurityCodes{C::oweTransition};
        QTest::newRow("ciphers only") << 1u << 0u << 0x88u << SecurityCodes{};
    }
    void security()
    {
        QFETCH(uint, flags);
        QFETCH(uint, wpa);
        QFETCH(uint, rsn);
        QTEST(nm::securityFromFlags(flags, wpa, rsn), "codes");
    }

    // Infrastructure Wi-Fi profiles only, in NetworkManager's order; a join
    // uses the newest of exactly the SSID's bytes.
    void savedProfiles()
    {
        const nm::Profiles profiles{
            {"/s/1", profile("802-11-wireless", "infrastructure", "Home", "wpa-psk", 1, 100)},
            {"/s/2", profile("802-11-wireless", "ap", "Hotspot")},
            {"/s/3", profile("802-11-wireless", "adhoc", "Adhoc")},
            {"/s/4", profile("802-11-wireless", "mesh", "Mesh")},
            {"/s/5", profile("802-3-ethernet", "", "Wired")},
            {"/s/6", profile("802-11-wireless", "", "Caf\xff", "none", 2)},
            {"/s/7", profile("802-11-wireless", "", "Home", "sae", 0, 200)},
            {"/s/8", profile("802-11-wireless", "", "Caf\xc3\xa9")},
        };
        const QList<nm::SavedWifi> saved = nm::savedWifi(profiles, {"/s/8", "/s/6", "/s/5", "/s/1", "/gone"});
        QStringList paths;
        for (const nm::SavedWifi& s : saved)
            paths << s.path;
        QCOMPARE(paths, QStringList({"/s/8", "/s/6", "/s/1", "/s/7"}));
        QCOMPARE(saved[1].secretFlags, 2u); // WEP: wep-key-flags
        QCOMPARE(saved[2].secretFlags, 1u);
        QCOMPARE(saved[3].keyMgmt, QStringLiteral("sae"));
        QCOMPARE(nm::savedProfileFor(saved, "Home")->path, QStringLiteral("/s/7"));
        QCOMPARE(nm::savedProfileFor(saved, "Caf\xff")->path, QStringLiteral("/s/6"));
        QVERIFY(!nm::savedProfileFor(saved, "Caf\xc3\xa9 ")); // bytes, not a decoded name
        QVERIFY(!nm::savedProfileFor(saved + QList{nm::SavedWifi{}}, QByteArray())); // hidden
    }

    void joinSteps_data()
    {
        QTest::addColumn<QString>("keyMgmt"); // "-": no saved profile
        QTest::addColumn<uint>("flags");
        QTest::addColumn<bool>("password");
        QTest::addColumn<Steps::Profile>("profile");
        QTest::addColumn<bool>("agent");
        QTest::addColumn<Steps::Keep>("keep");
        QTest::addColumn<bool>("keepPassword");
        QTest::addColumn<uint>("keepFlags");
        using P = Steps::Profile;
        using K = Steps::Keep;
        QTest::newRow("new network") << "-" << 0u << true << P::added << false << K::added << false << 1u;
        QTest::newRow("new open network")
            << "-" << 0u << false << P::added << false << K::added << false << 1u;
        QTest::newRow("saved, no password")
            << "wpa-psk" << 0u << false << P::saved << false << K::nothing << false << 0u;
        QTest::newRow("own secret, password")
            << "wpa-psk" << 0u << true << P::savedCopy << false << K::saved << true << 1u;
        QTest::newRow("own WEP key, password")
            << "none" << 0u << true << P::savedCopy << false << K::saved << true << 1u;
        QTest::newRow("keyring, password")
            << "sae" << 1u << true << P::saved << true << K::saved << true << 0x40u;
        QTest::newRow("never kept, password")
            << "wpa-psk" << 2u << true << P::saved << true << K::nothing << false << 0u;
        QTest::newRow("owe, stray password")
            << "owe" << 0u << true << P::saved << true << K::nothing << false << 0u;
        QTest::newRow("open, stray password")
            << "" << 0u << true << P::saved << false << K::nothing << false << 0u;
    }
    void joinSteps()
    {
        QFETCH(QString, keyMgmt);
        QFETCH(uint, flags);
        QFETCH(bool, password);
        std::optional<nm::SavedWifi> saved;
        if (keyMgmt != QLatin1String("-"))
            saved = nm::SavedWifi{QStringLiteral("/p"), QStringLiteral("u"), "Home", keyMgmt, flags, 0};
        const Steps steps = nm::joinSteps(saved, password);
        QTEST(steps.profile, "profile");
        QTEST(steps.needsAgent, "agent");
        QTEST(steps.keep, "keep");
        QTEST(steps.keepPassword, "keepPassword");
        QTEST(steps.keepFlags, "keepFlags");
    }

    void failures_data()
    {
        QTest::addColumn<bool>("timedOut");
        QTest::addColumn<uint>("activeReason");
        QTest::addColumn<OptUint>("deviceReason");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        const QString reasons = B::kDeviceStateReasonDomain;
        const QString manager = B::kNetworkManagerDomain;
        QTest::newRow("no answer in time") << true << 0u << OptUint(7) << manager << B::kTimedOut;
        QTest::newRow("device reason wins") << false << 9u << OptUint(53) << reasons << 53ll;
        QTest::newRow("no secrets, device silent") << false << 9u << OptUint() << reasons << 7ll;
        QTest::newRow("connect time-out, device silent")
            << false << 6u << OptUint() << manager << B::kTimedOut;
        QTest::newRow("connect time-out, device said") << false << 6u << OptUint(11) << reasons << 11ll;
        QTest::newRow("nothing said") << false << 1u << OptUint() << reasons << 1ll;
    }
    void failures()
    {
        QFETCH(bool, timedOut);
        QFETCH(uint, activeReason);
        QFETCH(OptUint, deviceReason);
        const SystemError failure = nm::joinFailure({timedOut, activeReason, deviceReason});
        QTEST(failure.domain(), "domain");
        QTEST(failure.code(), "code");
        QVERIFY(!failure.description().isEmpty());
    }

    void errorNames()
    {
        const QString manager = B::kNetworkManagerDomain;
        const QList<std::tuple<const char*, QString, qint64, const char*>> rows{
            {"org.freedesktop.NetworkManager.PermissionDenied", manager, B::kNotPermitted, "Refused."},
            {"org.freedesktop.NetworkManager.Settings.PermissionDenied", manager, B::kNotPermitted,
             "Refused."},
            {"org.freedesktop.NetworkManager.AgentManager.PermissionDenied", manager, B::kNotPermitted,
             "Refused."},
            {"org.freedesktop.DBus.Error.AccessDenied", manager, B::kNotPermitted, "Refused."},
            {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", manager, B::kNotPermitted,
             "Not authorized to control networking."},
            {"org.freedesktop.DBus.Error.NoReply", manager, B::kTimedOut,
             "NetworkManager did not answer in time."},
            {"org.freedesktop.DBus.Error.ServiceUnknown", SystemError::kWiFiErrorDomain,
             qint64(WiFiError::noInterface), nullptr},
            {"org.freedesktop.NetworkManager.Settings.InvalidSetting", manager, B::kOtherFailure, "Refused."},
        };
        for (const auto& [name, domain, code, text] : rows) {
            const bool quiet = QByteArray(text).startsWith("No");
            const SystemError failure = nm::failureFromError(QString::fromLatin1(name),
                                                             quiet ? QString() : QStringLiteral("Refused."));
            QCOMPARE(failure.domain(), domain);
            QCOMPARE(failure.code(), code);
            if (text)
                QCOMPARE(failure.description(), QString::fromLatin1(text));
        }
        QCOMPARE(nm::describeStateReason(42), QStringLiteral("The Wi-Fi supplicant is now available."));
        QCOMPARE(nm::describeStateReason(7),
                 QStringLiteral("The network needs a password, and none was given or it was wrong."));
    }

    void accessPointToJoin()
    {
        const QHash<QString, QByteArray> ssids{{"/ap/1", "Home"}, {"/ap/2", "Cafe"}, {"/ap/3", "Home"}};
        const auto join = [&](const QStringList& listed, const char* handle, const QByteArray& ssid) {
            AccessPoint ap;
            ap.handle = QString::fromLatin1(handle);
            ap.ssidBytes = ssid;
            return nm::accessPointToJoin(listed, ap, [&](const QString& path) { return ssids.value(path); });
        };
        using R = std::optional<QString>;
        QCOMPARE(join({"/ap/1", "/ap/2", "/ap/3"}, "/ap/3", "Home"), R("/ap/3")); // as listed
        QCOMPARE(join({"/ap/2", "/ap/3"}, "/ap/1", "Home"), R("/ap/3"));          // another of its name
        QCOMPARE(join({"/ap/2"}, "/ap/1", "Home"), R("/"));                       // NetworkManager looks
        QCOMPARE(join({"/ap/2"}, "/ap/9", QByteArray()), R());                    // hidden and gone
        QCOMPARE(join({"/ap/9"}, "/ap/9", QByteArray()), R("/ap/9"));
    }

    // The first Wi-Fi device in the manager's order; the hidden network the
    // device is on is named by the profile it was activated with.
    void deviceAndAssociation()
    {
        const QString nm = QStringLiteral("org.freedesktop.NetworkManager");
        const QString device = nm + QStringLiteral(".Device");
        nm::Objects objects{
            {"/org/freedesktop/NetworkManager",
             {{nm, {{"Devices", QStringList{"/d/eth", "/d/wl1", "/d/wl2"}}}}}},
            {"/d/eth", {{device, {{"DeviceType", 1u}}}}},
            {"/d/wl1",
             {{device, {{"DeviceType", 2u}, {"ActiveConnection", "/a/1"}}},
              {device + ".Wireless", {{"ActiveAccessPoint", "/ap/1"}, {"Bitrate", 144000u}}}}},
            {"/d/wl2", {{device, {{"DeviceType", 2u}}}}},
            {"/ap/1",
             {{nm + ".AccessPoint",
               {{"Ssid", QByteArray()},
                {"HwAddress", "02:00:00:00:00:07"},
                {"Strength", 50},
                {"Frequency", 5180u}}}}},
            {"/a/1", {{nm + ".Connection.Active", {{"Connection", "/s/1"}}}}},
        };
        QCOMPARE(nm::wirelessDevice(objects), QStringLiteral("/d/wl1"));
        const Association now = nm::association(objects, {{"/s/1", profile("802-11-wireless", "", "Attic")}});
        QCOMPARE(now.ssid, std::optional<QString>(QStringLiteral("Attic")));
        QCOMPARE(now.bssid, std::optional<QString>(QStringLiteral("02:00:00:00:00:07")));
        QCOMPARE(now.rssi, -70);
        QCOMPARE(now.txRate, 144.0);
        QCOMPARE(now.channel->number, 36);
        objects["/d/wl1"][device + ".Wireless"]["ActiveAccessPoint"] = QStringLiteral("/");
        QVERIFY(!nm::association(objects, {}).ssid);
        objects.remove("/d/wl1");
        QCOMPARE(nm::wirelessDevice(objects), QStringLiteral("/d/wl2"));
    }

    // New profiles keep the exact bytes, are named as the name is shown and
    // take the key management the network offers; a copy changes only its
    // UUID and secret.
    void newProfiles()
    {
        const QString sec = nm::kSecuritySetting;
        const QList<std::tuple<SecurityCodes, const char*, const char*, const char*>> rows{
            {{C::none}, nullptr, "", ""},
            {{C::owe}, nullptr, "owe", ""},
            {{C::wpa2Personal, C::wpa3Personal}, "pass word", "wpa-psk", "pass word"},
            {{C::wpa3Personal}, "pass word", "sae", "pass word"},
            {{C::wep}, "abcde", "none", "abcde"},
            {{}, "guess", "wpa-psk", "guess"},
        };
        for (const auto& [codes, password, keyMgmt, secret] : rows) {
            AccessPoint ap;
            ap.ssidBytes = QByteArray("Evil\x1b[2J\xff");
            ap.ssid = nm::decodeSsid(ap.ssidBytes);
            ap.security = codes;
            const nm::Settings p = nm::newProfile(
                ap, password ? std::optional<QString>(QString::fromUtf8(password)) : std::nullopt, "u");
            QCOMPARE(p["connection"]["id"].toString(), QStringLiteral("Evil\\x1b[2J\\xff"));
            QCOMPARE(p["802-11-wireless"]["ssid"].toByteArray(), ap.ssidBytes);
            QCOMPARE(p[sec]["key-mgmt"].toString(), QString::fromLatin1(keyMgmt));
            const QString key = QByteArray(keyMgmt) == "none" ? "wep-key0" : "psk";
            QCOMPARE(p[sec][key].toString(), QString::fromLatin1(secret));
        }
        QVERIFY(!nm::decodeSsid(QByteArray()));
        nm::Settings saved{{"connection", {{"uuid", "old"}, {"id", "Home"}}},
                           {sec, {{"key-mgmt", "none"}, {"wep-key-type", 1u}}}};
        const nm::Settings copy = nm::profileCopy(saved, QStringLiteral("a long passphrase"), "new");
        QCOMPARE(copy["connection"], (QVariantMap{{"uuid", "new"}, {"id", "Home"}}));
        QCOMPARE(copy[sec]["wep-key0"].toString(), QStringLiteral("a long passphrase"));
        QCOMPARE(copy[sec]["wep-key-type"].toUInt(), 1u); // the profile's own type stays
        saved[sec].remove("wep-key-type");
        QCOMPARE(nm::withSecret(saved, "0123456789")[sec]["wep-key-type"].toUInt(), 1u); // hex key
        QCOMPARE(nm::withSecret(saved, "a passphrase")[sec]["wep-key-type"].toUInt(), 2u);
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerRules)
#include "tst_NetworkManagerRules.moc"
