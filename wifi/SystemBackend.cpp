#include "wifi/networkmanager/NetworkManagerBackend.h"
#include "wifi/WiFiBackend.h"

namespace ondrel {

// On Linux the system's Wi-Fi is NetworkManager's.
std::unique_ptr<WiFiBackend> createSystemBackend()
{
    return std::make_unique<NetworkManagerBackend>();
}

} // namespace ondrel
