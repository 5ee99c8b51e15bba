#pragma once

#include "wifi/WiFiBackend.h"

namespace ondrel {

// A computer without Wi-Fi: every read says so, every operation fails with
// noInterface.
class NoInterfaceBackend final : public WiFiBackend {
public:
    bool hasInterface() const override { return false; }
    std::optional<QString> interfaceName() const override { return std::nullopt; }
    bool isPoweredOn() const override { return false; }
    Association currentAssociation() const override { return {}; }
    QList<QByteArray> savedSsids() const override { return {}; }

    ScanResult scan() override { return {{}, SystemError(WiFiError::noInterface)}; }
    std::optional<SystemError> join(const AccessPoint&, const std::optional<QString>&) override
    {
        return SystemError(WiFiError::noInterface);
    }
    void disconnect() override {}
    std::optional<SystemError> setPower(bool) override { return SystemError(WiFiError::noInterface); }
};

} // namespace ondrel
