#include "wifi/SystemError.h"

namespace ondrel {

SystemError::SystemError(WiFiError error) : domain_(kWiFiErrorDomain), code_(static_cast<int>(error)) {}

QString SystemError::description() const
{
    if (const std::optional<WiFiError> own = wifiError())
        return ondrel::description(*own);
    return description_;
}

std::optional<WiFiError> SystemError::wifiError() const
{
    if (domain_ != kWiFiErrorDomain || code_ < 0 || code_ > 4)
        return std::nullopt;
    return static_cast<WiFiError>(code_);
}

} // namespace ondrel
