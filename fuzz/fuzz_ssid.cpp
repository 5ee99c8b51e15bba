// SSID bytes as NetworkManager hands them over (up to 32 arbitrary bytes,
// though nothing stops a peer from sending more), with the rest of an
// access point's properties taken from the input's first bytes: the name is
// absent exactly for empty bytes, valid UTF-8 decodes to itself, and the
// bytes stay with the access point unchanged for the join.

#include "FuzzCheck.h"

#include "wifi/networkmanager/NetworkManagerMapping.h"

#include <QStringDecoder>

#include <cstring>

using namespace ondrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t numbers[4] = {};
    const size_t head = std::min(size, sizeof numbers);
    std::memcpy(numbers, data, head);
    const QByteArray ssid(reinterpret_cast<const char*>(data + head), qsizetype(size - head));

    const std::optional<QString> name = nm::decodeSsid(ssid);
    FUZZ_CHECK(name.has_value() == !ssid.isEmpty());
    QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = strict.decode(ssid);
    if (!strict.hasError() && name)
        FUZZ_CHECK(*name == decoded);

    QVariantMap properties;
    properties.insert(QStringLiteral("Ssid"), ssid);
    properties.insert(QStringLiteral("Strength"), int(numbers[0] & 0xff) - 28); // beyond 0..100 too
    properties.insert(QStringLiteral("Frequency"), numbers[1]);
    properties.insert(QStringLiteral("Bandwidth"), numbers[2]);
    properties.insert(QStringLiteral("Flags"), numbers[3] & 0xf);
    properties.insert(QStringLiteral("WpaFlags"), numbers[3] >> 4);
    properties.insert(QStringLiteral("RsnFlags"), ~numbers[3]);
    const AccessPoint accessPoint = nm::accessPointFromProperties(QStringLiteral("/ap"), properties);
    FUZZ_CHECK(accessPoint.ssidBytes == ssid);
    FUZZ_CHECK(accessPoint.ssid == name);
    return 0;
}
