// NetworkManager's values and rules without D-Bus: strengths, channels and security flags at their edges;
// which profiles count, which one and which access point a join uses, what it keeps and which failure it
// reports.

#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/networkmanager/NetworkManagerMapping.h"
#include "wifi/networkmanager/NetworkManagerProfiles.h"
#include "wifi/networkmanager/NetworkManagerRules.h"

#include <QtTest>

using namespace ondrel;
using C = SecurityCode;
using Steps = nm::JoinSteps;
using B = NetworkManagerBackend;

namespace {

QVariantMap profile(const char* type, const char* mode, const QByteArray& ssid, const char* keyMgmt = "",
                    uint flags = 0, qint64 stamp = 0)
{
    QVariantMap wifi{{"ssid", ssid}};
    if (*mode)
        wifi.insert("mode", mode);
    const char* flagsKey = QByteArray(keyMgmt) == "none" ? "wep-key-flags" : "psk-flags";
    return {{"connection", QVariantMap{{"type", type}, {"uuid", ssid}, {"timestamp", stamp}}},
            {"802-11-wireless", wifi},
            {nm::kSecuritySetting, QVariantMap{{"key-mgmt", keyMgmt}, {flagsKey, flags}}}};
}

} // namespace

class tst_NetworkManagerRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mapping()
    {
        // NetworkManager's own formula gives every percentage back from the dBm shown, rounded; beyond 0..100
        // clamped.
        for (int p = 0; p <= 100; ++p)
            QVERIFY(std::abs(100 - 100 * (-40 - nm::dbmFromStrength(p)) / 60 - p) <= 1);
        QVERIFY(nm::dbmFromStrength(255) == -40 && nm::dbmFromStrength(-3) == -100);
        // Frequency, width -> channel number, band code, width code.
        const QList<std::tuple<uint, uint, ChannelInfo>> channels{
            {2412, 20, {1, 1, 1}},    {2472, 40, {13, 1, 2}},   {2484, 20, {14, 1, 1}},
            {5180, 80, {36, 2, 3}},   {5885, 160, {177, 2, 4}}, {4940, 20, {188, 2, 1}},
            {5935, 20, {2, 3, 1}},    {5955, 320, {1, 3, 0}},   {7115, 0, {233, 3, 0}},
            {60480, 2160, {0, 0, 0}}, {5925, 20, {0, 3, 1}},    {5945, 20, {0, 3, 1}},
            {2413, 20, {0, 1, 1}},    {5182, 20, {0, 2, 1}}, // off the channels' centres
        };
        for (auto [frequency, width, expected] : channels) {
            expected.frequencyMHz = int(frequency); // kept for the kernel's figures of that channel
            QVERIFY2(nm::channelFromFrequency(frequency, width) == expected,
                     qPrintable(QString::number(frequency)));
        }
        QVERIFY(!nm::channelFromFrequency(0, 20));
        // Flags, WPA flags, RSN flags -> the codes the detection rules ask about.
        const QList<std::tuple<uint, uint, uint, SecurityCodes>> securities{
            {0, 0, 0, {C::none}},
            {1, 0, 0, {C::wep}},
            {1, 0x144, 0, {C::wpaPersonal}},
            {1, 0x144, 0x188, {C::wpaPersonal, C::wpa2Personal}},
            {1, 0, 0x588, {C::wpa2Personal, C::wpa3Personal}},
            {1, 0x200, 0, {C::wpaEnterprise}},
            {1, 0, 0x200, {C::wpa2Enterprise}},
            {1, 0x200, 0x200, {C::wpaEnterprise, C::wpa2Enterprise}},
            {1, 0, 0x2000, {C::wpa3Enterprise}},
            {1, 0, 0x800, {C::owe}},
            {0, 0, 0x1000, {C::oweTransition}},
            {1, 0, 0x88, {}}, // ciphers without key management
        };
        for (const auto& [flags, wpa, rsn, codes] : securities)
            QVERIFY2(nm::securityFromFlags(flags, wpa, rsn) == codes, qPrintable(QString::number(rsn, 16)));

        // A hidden access point after a join by name: its beacons (nameless, or named once a profile saw the
        // BSSID) and the probe's answer, listed apart; one stands for it. Other BSSIDs, another frequency of
        // the same BSSID and another name on it are kept, in their order.
        const auto ap = [](const char* ssid, const char* bssid, int frequency, const char* handle) {
            AccessPoint a;
            a.ssidBytes = ssid;
            a.bssid = QString::fromLatin1(bssid);
            a.channel = ChannelInfo{1, 1, 1, frequency};
            a.handle = QString::fromLatin1(handle);
            return a;
        };
        QList<AccessPoint> listed{ap("", "02:00:00:00:07:00", 2412, "beacons"),
                                  ap("Den", "02:00:00:00:07:00", 2412, "answer"),
                                  ap("Den", "02:00:00:00:07:00", 2412, "beacons named"),
                                  ap("", "02:00:00:00:08:00", 2412, "other hidden"),
                                  ap("Den", "02:00:00:00:07:00", 5180, "other band"),
                                  ap("Cafe", "02:00:00:00:07:00", 2412, "other name"),
                                  ap("", "02:00:00:00:07:00", 2412, "zeros")};
        listed.last().ssidBytes = QByteArray(2, '\0'); // a name of zero bytes is nameless too
        nm::dropNamelessTwins(listed);
        QStringList handles;
        for (const AccessPoint& a : listed)
            handles << a.handle;
        QCOMPARE(handles, (QStringList{"answer", "other hidden", "other band", "other name"}));
    }

    // Infrastructure Wi-Fi profiles only, in NetworkManager's order; a join uses the newest of exactly the
    // SSID's bytes, and the access point listed, else another of its name, else any.
    void profileAndAccessPoint()
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
        QList<std::tuple<QString, uint, QString>> read;
        for (const nm::SavedWifi& s : saved)
            read << std::tuple(s.path, s.secretFlags, s.keyMgmt);
        QCOMPARE(read,
                 (QList<std::tuple<QString, uint, QString>>{
                     {"/s/8", 0, ""}, {"/s/6", 2, "none"}, {"/s/1", 1, "wpa-psk"}, {"/s/7", 0, "sae"}}));
        QCOMPARE(nm::savedProfileFor(saved, "Home")->path, QStringLiteral("/s/7"));
        QCOMPARE(nm::savedProfileFor(saved, "Caf\xff")->path, QStringLiteral("/s/6"));
        QVERIFY(!nm::savedProfileFor(saved, "Caf\xc3\xa9 ")); // bytes, not a decoded name
        QVERIFY(!nm::savedProfileFor(saved + QList{nm::SavedWifi{}}, QByteArray())); // hidden
    }

    // What a join does with its profiles, and the failures it reports.
    void joins()
    {
        using P = Steps::Profile;
        using K = Steps::Keep;
        // Saved profile's key management ("-": none saved), its secret's flags, a password typed.
        const QList<std::tuple<const char*, uint, bool, Steps>> rows{
            {"-", 0, true, {P::added, false, K::added, false, 1}},
            {"wpa-psk", 0, false, {P::saved, false, K::nothing, false, 0}},
            {"wpa-psk", 0, true, {P::savedCopy, false, K::saved, true, 1}}, // NetworkManager's own secret
            {"none", 0, true, {P::savedCopy, false, K::saved, true, 1}},
            {"sae", 1, true, {P::saved, true, K::saved, true, 0x40}},     // the keyring's
            {"wpa-psk", 2, true, {P::saved, true, K::nothing, false, 0}}, // never kept
            {"owe", 0, true, {P::saved, true, K::nothing, false, 0}},
            {"", 0, true, {P::saved, false, K::nothing, false, 0}}, // open network, stray password
        };
        const auto fields = [](const Steps& s) {
            return std::tuple(s.profile, s.needsAgent, s.keep, s.keepPassword, s.keepFlags);
        };
        for (const auto& [keyMgmt, flags, password, expected] : rows) {
            const auto saved = *keyMgmt == '-'
                                   ? std::nullopt
                                   : std::optional(nm::SavedWifi{"/p", "u", "Home", keyMgmt, flags, 0});
            QVERIFY2(fields(nm::joinSteps(saved, password)) == fields(expected), keyMgmt);
        }
        // Activation ends: timed out, the active connection's reason, the device's.
        const QString reasons = B::kDeviceStateReasonDomain, manager = B::kNetworkManagerDomain;
        const QList<std::tuple<nm::ActivationEnd, QString, qint64>> ends{
            {{true, 0, 7}, manager, B::kTimedOut},
            {{true, 0, {}, true}, reasons, 5},       // still waiting for an address: no DHCP answer
            {{false, 9, 53}, reasons, 53},           // the device's reason first
            {{false, 9, {}}, reasons, 7},            // no secrets, the device silent
            {{false, 6, {}}, manager, B::kTimedOut}, // connect time-out, the device silent
            {{false, 6, 11}, reasons, 11},
            {{false, 1, {}}, reasons, 1},
        };
        for (const auto& [end, domain, code] : ends)
            QCOMPARE(std::pair(nm::joinFailure(end).domain(), nm::joinFailure(end).code()),
                     std::pair(domain, code));
        const QString none = QStringLiteral("Refused.");
        // Error names after "org.freedesktop.", what they stand for, the text (a "No…" one given no message).
        // NetworkManager's own PermissionDenied ones: the backend's and the daemon's tests.
        const QList<std::tuple<const char*, QString, qint64, QString>> errors{
            {"DBus.Error.AccessDenied", manager, B::kNotPermitted, none},
            {"DBus.Error.InteractiveAuthorizationRequired", manager, B::kNotPermitted,
             "Not authorized to control networking."},
            {"DBus.Error.NoReply", manager, B::kTimedOut, "NetworkManager did not answer in time."},
            {"DBus.Error.ServiceUnknown", SystemError::kWiFiErrorDomain, qint64(WiFiError::noInterface), {}},
            {"NetworkManager.Settings.InvalidSetting", manager, B::kOtherFailure, none},
        };
        for (const auto& [name, domain, code, text] : errors) {
            const SystemError failure =
                nm::failureFromError(QStringLiteral("org.freedesktop.") + QLatin1String(name),
                                     text.startsWith(u"No") ? QString() : none);
            QCOMPARE(std::pair(failure.domain(), failure.code()), std::pair(domain, code));
            QVERIFY(text.isEmpty() || failure.description() == text);
        }
        QCOMPARE(nm::describeStateReason(42), QStringLiteral("The Wi-Fi supplicant is now available."));
        // The access point a join asks for.
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

    // New profiles keep the exact bytes, are named as the name is shown and take the key management the
    // network offers; a copy changes only its UUID and secret.
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
        AccessPoint ap;
        ap.ssidBytes = QByteArray("Evil\x1b[2J\xff");
        ap.ssid = nm::decodeSsid(ap.ssidBytes);
        for (const auto& [codes, password, keyMgmt, secret] : rows) {
            ap.security = codes;
            const nm::Settings p = nm::newProfile(
                ap, password ? std::optional<QString>(QString::fromUtf8(password)) : std::nullopt, "u");
            const QString key = QByteArray(keyMgmt) == "none" ? "wep-key0" : "psk";
            QCOMPARE(std::tuple(p["connection"]["id"].toString(), p["802-11-wireless"]["ssid"].toByteArray(),
                                p[sec]["key-mgmt"].toString(), p[sec][key].toString()),
                     std::tuple(QStringLiteral("Evil\\x1b[2J\\xff"), ap.ssidBytes,
                                QString::fromLatin1(keyMgmt), QString::fromLatin1(secret)));
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
