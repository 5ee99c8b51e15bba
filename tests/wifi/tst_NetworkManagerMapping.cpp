// The arithmetic of NetworkManager's values: strength percentages, frequencies
// and security flags at their edges.

#include "wifi/NetworkManagerMapping.h"

#include <QtTest>

using namespace ondrel;

class tst_NetworkManagerMapping : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strengthToDbm_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("dbm");
        QTest::newRow("full") << 100 << -40;
        QTest::newRow("none") << 0 << -100;
        QTest::newRow("half") << 50 << -70;
        QTest::newRow("rounds to nearest") << 67 << -60; // -59.8
        QTest::newRow("rounds down") << 1 << -99;        // -99.4
        QTest::newRow("beyond 100") << 255 << -40;
        QTest::newRow("below 0") << -3 << -100;
    }
    void strengthToDbm()
    {
        QFETCH(int, percent);
        QFETCH(int, dbm);
        QCOMPARE(nm::dbmFromStrength(percent), dbm);
    }

    void strengthRoundTrip()
    {
        // NetworkManager's own formula applied to our answer gives the
        // percentage back, so the dBm shown matches what it reported.
        for (int p = 0; p <= 100; ++p) {
            const int dbm = std::clamp(nm::dbmFromStrength(p), -100, -40);
            const int back = 100 - 100 * (-40 - dbm) / 60;
            QVERIFY2(std::abs(back - p) <= 1, qPrintable(QString::number(p)));
        }
    }

    void frequencyToChannel_data()
    {
        QTest::addColumn<uint>("frequency");
        QTest::addColumn<uint>("bandwidth");
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("bandCode");
        QTest::addColumn<int>("widthCode");
        QTest::newRow("none reported") << 0u << 20u << false << 0 << 0 << 0;
        QTest::newRow("2.4 first") << 2412u << 20u << true << 1 << 1 << 1;
        QTest::newRow("2.4 thirteen") << 2472u << 40u << true << 13 << 1 << 2;
        QTest::newRow("2.4 fourteen") << 2484u << 20u << true << 14 << 1 << 1;
        QTest::newRow("5 first") << 5180u << 80u << true << 36 << 2 << 3;
        QTest::newRow("5 last") << 5885u << 160u << true << 177 << 2 << 4;
        QTest::newRow("4.9 public safety") << 4940u << 20u << true << 188 << 2 << 1;
        QTest::newRow("6 channel 2") << 5935u << 20u << true << 2 << 3 << 1;
        QTest::newRow("6 first") << 5955u << 320u << true << 1 << 3 << 0;
        QTest::newRow("6 last") << 7115u << 0u << true << 233 << 3 << 0;
        QTest::newRow("60 GHz") << 60480u << 2160u << true << 0 << 0 << 0;
        QTest::newRow("6 below channel 1") << 5925u << 20u << true << 0 << 3 << 1;
        QTest::newRow("6 between centres") << 5945u << 20u << true << 0 << 3 << 1;
        QTest::newRow("2.4 off centre") << 2413u << 20u << true << 0 << 1 << 1;
        QTest::newRow("5 off centre") << 5182u << 20u << true << 0 << 2 << 1;
    }
    void frequencyToChannel()
    {
        QFETCH(uint, frequency);
        QFETCH(uint, bandwidth);
        QFETCH(bool, present);
        QFETCH(int, number);
        QFETCH(int, bandCode);
        QFETCH(int, widthCode);
        const std::optional<ChannelInfo> channel = nm::channelFromFrequency(frequency, bandwidth);
        QCOMPARE(channel.has_value(), present);
        if (!present)
            return;
        QCOMPARE(channel->number, number);
        QCOMPARE(channel->bandCode, bandCode);
        QCOMPARE(channel->widthCode, widthCode);
    }

    void flagsToSecurityCodes_data()
    {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<uint>("wpa");
        QTest::addColumn<uint>("rsn");
        QTest::addColumn<quint32>("codes");
        auto bits = [](std::initializer_list<SecurityCode> codes) { return SecurityCodes(codes).bits(); };
        QTest::newRow("open") << 0u << 0u << 0u << bits({SecurityCode::none});
        QTest::newRow("wep") << 1u << 0u << 0u << bits({SecurityCode::wep});
        QTest::newRow("wpa psk") << 1u << 0x144u << 0u << bits({SecurityCode::wpaPersonal});
        QTest::newRow("wpa and wpa2 psk")
            << 1u << 0x144u << 0x188u << bits({SecurityCode::wpaPersonal, SecurityCode::wpa2Personal});
        QTest::newRow("transition") << 1u << 0u << 0x588u
                                    << bits({SecurityCode::wpa2Personal, SecurityCode::wpa3Personal});
        QTest::newRow("802.1X both") << 1u << 0x200u << 0x200u
                                     << bits({SecurityCode::wpaEnterprise, SecurityCode::wpa2Enterprise});
        QTest::newRow("suite-b") << 1u << 0u << 0x2000u << bits({SecurityCode::wpa3Enterprise});
        QTest::newRow("owe") << 1u << 0u << 0x800u << bits({SecurityCode::owe});
        QTest::newRow("owe transition, no privacy")
            << 0u << 0u << 0x1000u << bits({SecurityCode::oweTransition});
        QTest::newRow("ciphers without key management") << 1u << 0u << 0x88u << quint32(0);
    }
    void flagsToSecurityCodes()
    {
        QFETCH(uint, flags);
        QFETCH(uint, wpa);
        QFETCH(uint, rsn);
        QFETCH(quint32, codes);
        QCOMPARE(nm::securityFromFlags(flags, wpa, rsn).bits(), codes);
    }

    void ssidDecoding()
    {
        QVERIFY(!nm::decodeSsid(QByteArray()));
        QCOMPARE(nm::decodeSsid(QByteArray("a\0b", 3)), std::optional<QString>(QString::fromUtf8("a\0b", 3)));
        QCOMPARE(nm::decodeSsid("\xff"
                                "x"),
                 std::optional<QString>(QStringLiteral("\uFFFDx")));
    }
};

QTEST_GUILESS_MAIN(tst_NetworkManagerMapping)
#include "tst_NetworkManagerMapping.moc"
