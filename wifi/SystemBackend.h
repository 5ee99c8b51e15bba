#pragma once

#include "wifi/WiFiBackend.h"

#include <memory>

namespace ondrel {

class IwdBackend;
class NetworkManagerBackend;

// The system's Wi-Fi on Linux: NetworkManager where it manages a Wi-Fi
// device, else iwd where it owns its name on the bus (running alone), else
// none, when every read says there is no interface.
//
// Both backends follow their daemon from the start, each on a thread of its
// own, so the choice is made again at every call from state they keep
// current: a daemon that stops, starts or takes over while Ondrel runs is
// followed as a restart of NetworkManager is. Access points keep the backend
// that listed them in their handle; a join handed one from the other backend
// looks the network up by name.
class SystemBackend final : public WiFiBackend {
public:
    // Main thread. The first read waits, bounded, for both daemons' first
    // answer (they are asked at the same time).
    SystemBackend(std::unique_ptr<NetworkManagerBackend> networkManager, std::unique_ptr<IwdBackend> iwd);
    ~SystemBackend() override;

    bool hasInterface() const override;
    std::optional<QString> interfaceName() const override;
    bool isPoweredOn() const override;
    Association currentAssociation() const override;
    QList<QByteArray> savedSsids() const override;
    // The chosen backend's name; empty while there is none.
    QString daemonName() const override;

    ScanResult scan() override;
    std::optional<SystemError> join(const AccessPoint& accessPoint,
                                    const std::optional<QString>& password) override;
    std::optional<SystemError> joinHidden(const QByteArray& ssid, Security security,
                                          const std::optional<QString>& password) override;
    void disconnect() override;
    std::optional<SystemError> setPower(bool on) override;
    void cancel() override;

private:
    // The backend in charge now, or none.
    WiFiBackend* active() const;

    std::unique_ptr<NetworkManagerBackend> networkManager_;
    std::unique_ptr<IwdBackend> iwd_;
};

} // namespace ondrel
