#pragma once

#include "wifi/WiFiError.h"

#include <QString>

#include <optional>

namespace ondrel {

// A failure as it travels from a backend (or the engine) to the front ends:
// the system's error domain, its numeric code and its own description,
// unchanged. The engine's own failures (WiFiError) use the domain
// kWiFiErrorDomain with the case's order as the code.
class SystemError {
public:
    // Error domain of the engine's own failures.
    static inline const QString kWiFiErrorDomain = QStringLiteral("ondrel.WiFiError");

    SystemError() = default;
    SystemError(QString domain, qint64 code, QString description)
        : domain_(std::move(domain)), code_(code), description_(std::move(description))
    {
    }
    // One of the engine's own failures.
    SystemError(WiFiError error); // NOLINT: implicit on purpose

    const QString& domain() const { return domain_; }
    qint64 code() const { return code_; }
    // The text for the user: for the engine's own failures the localized
    // text (looked up when asked, so main thread only), otherwise the
    // system's description as given.
    QString description() const;
    // The engine's failure this stands for, if it is one.
    std::optional<WiFiError> wifiError() const;

    friend bool operator==(const SystemError&, const SystemError&) = default;

private:
    QString domain_;
    qint64 code_ = 0;
    QString description_;
};

} // namespace ondrel
