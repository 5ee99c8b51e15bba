// The information-element parser: widths from HT, VHT and HE operation, country and BSS Load, on elements
// built here and on beacons and probe responses that hostapd sent in the Wi-Fi lab (beacons/*.json, read from
// the kernel there), and on every cut of them.

#include "wifi/nl80211/InformationElements.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cstring>
#include <memory>

using namespace ondrel;
using namespace ondrel::nl80211;

namespace {

QByteArray element(int id, const QByteArray& body)
{
    return QByteArray(1, char(id)) + QByteArray(1, char(body.size())) + body;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

const QByteArray kSsid = element(0, "Cafe");
const QByteArray kRates = element(1, bytes({0x82, 0x84, 0x8b, 0x96}));
QByteArray ht(int secondary)
{
    QByteArray body = bytes({36, secondary | 0x4});
    return element(61, body + QByteArray(20, 0));
}
QByteArray vht(int width, int ccfs0, int ccfs1)
{
    return element(192, bytes({width, ccfs0, ccfs1, 0xfc, 0xff}));
}
// HE Operation with the parameter bits given, then its optional parts.
QByteArray he(quint32 parameters, const QByteArray& optional)
{
    return element(255, bytes({36, int(parameters & 0xff), int(parameters >> 8 & 0xff),
                               int(parameters >> 16 & 0xff), 0x01, 0xfc, 0xff}) +
                            optional);
}
constexpr quint32 kVhtInfo = 1u << 14, kCoHosted = 1u << 15, kSixGhz = 1u << 17;
QByteArray sixGhz(int control, int ccfs0, int ccfs1)
{
    return bytes({5, control, ccfs0, ccfs1, 6});
}

ElementFacts facts(std::optional<QByteArray> ssid, int width, bool split = false,
                   std::optional<QString> country = {}, std::optional<int> stations = {},
                   std::optional<int> utilization = {})
{
    return {std::move(ssid), width, split, std::move(country), stations, utilization};
}

} // namespace

Q_DECLARE_METATYPE(ondrel::nl80211::ElementFacts)

class tst_InformationElements : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("elements");
        QTest::addColumn<ElementFacts>("expected");
        QTest::newRow("nothing") << QByteArray() << ElementFacts{};
        QTest::newRow("one byte") << QByteArray(1, 0) << ElementFacts{};
        QTest::newRow("802.11a/g: 20 MHz") << kSsid + kRates << facts("Cafe", 20);
        QTest::newRow("hidden: an empty name") << element(0, {}) + kRates << facts(QByteArray(), 20);
        QTest::newRow("HT without a secondary channel") << kSsid + ht(0) << facts("Cafe", 20);
        QTest::newRow("HT40 above") << kSsid + ht(1) << facts("Cafe", 40);
        QTest::newRow("HT40 below") << kSsid + ht(3) << facts("Cafe", 40);
        QTest::newRow("HT, reserved offset") << kSsid + ht(2) << facts("Cafe", 20);
        QTest::newRow("HT too short") << kSsid + element(61, bytes({36})) << facts("Cafe", 20);
        QTest::newRow("VHT80") << kSsid + ht(1) + vht(1, 42, 0) << facts("Cafe", 80);
        QTest::newRow("VHT 20/40 leaves HT's width") << kSsid + ht(1) + vht(0, 0, 0) << facts("Cafe", 40);
        QTest::newRow("VHT160: segments 8 apart") << kSsid + ht(1) + vht(1, 42, 50) << facts("Cafe", 160);
        QTest::newRow("VHT80+80: segments far apart")
            << kSsid + ht(1) + vht(1, 42, 106) << facts("Cafe", 160, true);
        QTest::newRow("VHT, segments 12 apart: 80") << kSsid + ht(1) + vht(1, 42, 54) << facts("Cafe", 80);
        QTest::newRow("VHT, old 160") << kSsid + vht(2, 50, 0) << facts("Cafe", 160);
        QTest::newRow("VHT, old 80+80") << kSsid + vht(3, 42, 155) << facts("Cafe", 160, true);
        QTest::newRow("VHT too short") << kSsid + ht(1) + element(192, bytes({1, 42})) << facts("Cafe", 40);
        QTest::newRow("HE 6 GHz, 20") << kSsid + he(kSixGhz, sixGhz(0, 5, 0)) << facts("Cafe", 20);
        QTest::newRow("HE 6 GHz, 40") << kSsid + he(kSixGhz, sixGhz(1, 3, 0)) << facts("Cafe", 40);
        QTest::newRow("HE 6 GHz, 80") << kSsid + he(kSixGhz, sixGhz(2, 7, 0)) << facts("Cafe", 80);
        QTest::newRow("HE 6 GHz, 160") << kSsid + he(kSixGhz, sixGhz(3, 7, 15)) << facts("Cafe", 160);
        QTest::newRow("HE 6 GHz, 80+80") << kSsid + he(kSixGhz, sixGhz(3, 7, 39)) << facts("Cafe", 160, true);
        QTest::newRow("HE 6 GHz, 160 without a second centre: 80")
            << kSsid + he(kSixGhz, sixGhz(3, 7, 0)) << facts("Cafe", 80);
        QTest::newRow("HE 6 GHz after the co-hosted indicator")
            << kSsid + he(kSixGhz | kCoHosted, bytes({3}) + sixGhz(2, 7, 0)) << facts("Cafe", 80);
        QTest::newRow("HE 6 GHz after the VHT information")
            << kSsid + he(kSixGhz | kVhtInfo, bytes({0, 0, 0}) + sixGhz(1, 3, 0)) << facts("Cafe", 40);
        QTest::newRow("HE's VHT information: 80")
            << kSsid + ht(1) + he(kVhtInfo, bytes({1, 42, 0})) << facts("Cafe", 80);
        QTest::newRow("HE announcing 6 GHz information it lacks")
            << kSsid + he(kSixGhz, bytes({5, 2})) << facts("Cafe", 20);
        QTest::newRow("HE 6 GHz information one byte short")
            << kSsid + he(kSixGhz, sixGhz(2, 7, 0).chopped(1)) << facts("Cafe", 20);
        QTest::newRow("HE shorter than its fixed part")
            << kSsid + element(255, bytes({36, 0, 0})) << facts("Cafe", 20);
        QTest::newRow("another extension element")
            << kSsid + element(255, bytes({35, 1, 2, 3})) << facts("Cafe", 20);
        QTest::newRow("country, upper case") << element(7, "DE \x01\x0d\x14") << facts({}, 20, false, "DE");
        QTest::newRow("country, lower case") << element(7, "fr") << facts({}, 20, false, "FR");
        QTest::newRow("country, the alphabet's ends") << element(7, "ZA") << facts({}, 20, false, "ZA");
        QTest::newRow("country, the alphabet's ends, lower case")
            << element(7, "az") << facts({}, 20, false, "AZ");
        QTest::newRow("country not letters") << element(7, "D\x1b ") << facts({}, 20);
        for (const char* sign : {"@A", "Z[", "`a", "z{"}) // the signs on either side of the letters
            QTest::newRow(qPrintable(QStringLiteral("country %1").arg(QLatin1String(sign))))
                << element(7, sign) << facts({}, 20);
        QTest::newRow("country too short") << element(7, "D") << facts({}, 20);
        QTest::newRow("BSS Load") << element(11, bytes({0x0c, 0x01, 80, 0x20, 0x4e}))
                                  << facts({}, 20, false, {}, 268, 80);
        QTest::newRow("BSS Load too short") << element(11, bytes({0x0c, 0, 80, 0x20})) << facts({}, 20);
        QTest::newRow("the first of each element counts")
            << kSsid + element(0, "Evil") + ht(0) + ht(1) + element(7, "US") + element(7, "DE") +
                   element(11, bytes({1, 0, 2, 0, 0})) + element(11, bytes({9, 0, 9, 0, 0}))
            << facts("Cafe", 20, false, "US", 1, 2);
        QTest::newRow("an element running past the end ends the list")
            << kSsid + element(7, "DE") + QByteArray::fromHex("3d16240500") << facts("Cafe", 20, false, "DE");
        QTest::newRow("a first element running past the end: nothing")
            << QByteArray::fromHex("0020414243") << ElementFacts{};
    }
    void parse()
    {
        QFETCH(QByteArray, elements);
        QFETCH(ElementFacts, expected);
        QCOMPARE(parseElements(elements), expected);
    }

    void utilization_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<int>("percent");
        QTest::newRow("idle") << 0 << 0;
        QTest::newRow("1/255 rounds down") << 1 << 0;
        QTest::newRow("2/255 rounds up") << 2 << 1;
        QTest::newRow("hostapd's 80") << 80 << 31;
        QTest::newRow("half") << 128 << 50;
        QTest::newRow("busy") << 255 << 100;
        QTest::newRow("beyond") << 300 << 100;
    }
    void utilization()
    {
        QFETCH(int, raw);
        QTEST(utilizationPercent(raw), "percent");
    }

    // The beacons and probe responses hostapd sent in the lab, as the kernel kept them, with what hostapd was
    // told to send.
    void captured_data()
    {
        QTest::addColumn<QByteArray>("elements");
        QTest::addColumn<ElementFacts>("expected");
        QFile file(QFINDTESTDATA("beacons/lab.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray captures = QJsonDocument::fromJson(file.readAll()).array();
        QVERIFY(captures.size() >= 10);
        for (const QJsonValue& value : captures) {
            const QJsonObject c = value.toObject();
            const QJsonObject e = c["expected"].toObject();
            ElementFacts expected;
            expected.ssid = QByteArray::fromHex(c["ssidHex"].toString().toLatin1());
            expected.widthMHz = e["widthMHz"].toInt();
            if (e["countryCode"].isString())
                expected.countryCode = e["countryCode"].toString();
            if (e["stationCount"].isDouble()) {
                expected.stationCount = e["stationCount"].toInt();
                expected.channelUtilization = e["channelUtilization"].toInt();
            }
            QTest::newRow(qPrintable(c["name"].toString()))
                << QByteArray::fromHex(c["elements"].toString().toLatin1()) << expected;
        }
    }
    void captured()
    {
        QFETCH(QByteArray, elements);
        QFETCH(ElementFacts, expected);
        QCOMPARE(parseElements(elements), expected);

        // Cut anywhere, the elements wholly before the cut still count and nothing after it is read
        // (AddressSanitizer watches the copy).
        qsizetype whole = 0; // end of the last complete element before the cut
        for (qsizetype cut = 0; cut <= elements.size(); ++cut) {
            while (cut >= whole + 2 && whole + 2 + quint8(elements[whole + 1]) <= cut)
                whole += 2 + quint8(elements[whole + 1]);
            // A buffer of exactly `cut` bytes, no terminator behind it.
            const std::unique_ptr<char[]> prefix(new char[size_t(cut)]);
            std::memcpy(prefix.get(), elements.constData(), size_t(cut));
            QCOMPARE(parseElements(QByteArrayView(prefix.get(), cut)), parseElements(elements.left(whole)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_InformationElements)
#include "tst_InformationElements.moc"
