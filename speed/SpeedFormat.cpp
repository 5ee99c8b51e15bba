#include "speed/SpeedFormat.h"

#include <QLocale>

#include <charconv>
#include <cmath>

namespace ondrel {

namespace {

// `value` with `digits` fraction digits in the current locale. QLocale rounds
// exact ties away from zero; std::to_chars rounds them to even, as number
// formatters do by default, so the rounding happens there and QLocale only
// localizes a value that no longer sits on a tie.
QString localizedFixed(double value, int digits)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    if (error != std::errc())
        return QStringLiteral("0");
    const double rounded = QByteArray(buffer, end - buffer).toDouble();
    const QString text = QLocale().toString(rounded, 'f', digits);
    return text.isEmpty() ? QStringLiteral("0") : text;
}

} // namespace

QString mbps(double value)
{
    return localizedFixed(value, value < 100.0 ? 1 : 0);
}

QString megabytes(qint64 bytes)
{
    return localizedFixed(double(bytes) / 1'000'000.0, 0);
}

} // namespace ondrel
