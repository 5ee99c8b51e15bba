#include "wifi/nl80211/KernelRadio.h"

#ifdef ONDREL_HAVE_NL80211
#include "wifi/nl80211/Nl80211Radio.h"
#endif

namespace ondrel {

#ifndef ONDREL_HAVE_NL80211
namespace {

// Where the kernel's figures cannot be read at all.
class UnsupportedRadio final : public KernelRadio {
public:
    KernelReading read(const QString&, bool) override
    {
        KernelReading reading;
        reading.failure = KernelFailure::notSupported;
        reading.readAt = std::chrono::steady_clock::now();
        return reading;
    }
};

} // namespace
#endif

std::unique_ptr<KernelRadio> createKernelRadio()
{
#ifdef ONDREL_HAVE_NL80211
    return std::make_unique<Nl80211Radio>();
#else
    return std::make_unique<UnsupportedRadio>();
#endif
}

QString failureToken(KernelFailure failure)
{
    switch (failure) {
    case KernelFailure::notSupported:
        return QStringLiteral("notSupported");
    case KernelFailure::noFamily:
        return QStringLiteral("noFamily");
    case KernelFailure::noPermission:
        return QStringLiteral("noPermission");
    case KernelFailure::noInterface:
        return QStringLiteral("noInterface");
    case KernelFailure::failed:
        break;
    }
    return QStringLiteral("failed");
}

} // namespace ondrel
