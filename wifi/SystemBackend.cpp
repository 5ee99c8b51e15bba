#include "wifi/NoInterfaceBackend.h"
#include "wifi/WiFiBackend.h"

namespace ondrel {

// Until the NetworkManager backend is part of the build, the system has no
// Wi-Fi interface as far as the program can tell.
std::unique_ptr<WiFiBackend> createSystemBackend()
{
    return std::make_unique<NoInterfaceBackend>();
}

} // namespace ondrel
