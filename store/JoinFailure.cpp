#include "store/JoinFailure.h"

#include <QList>

namespace ondrel {

namespace {

// NetworkManager's device state reasons, the codes a failed activation
// reports.
const QString kDeviceStateReason = QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");

struct Rule {
    QString domain;
    QList<qint64> codes;
    JoinFailure group;
};

// Add a row here to give another domain's codes a message group.
const Rule kRules[] = {
    // no secrets, supplicant disconnect, supplicant configuration failed,
    // supplicant failed, supplicant time-out
    {kDeviceStateReason, {7, 8, 9, 10, 11}, JoinFailure::checkPassword},
    // SSID not found
    {kDeviceStateReason, {53}, JoinFailure::refusedOrTimedOut},
};

} // namespace

JoinFailure classifyJoinFailure(const SystemError& error)
{
    for (const Rule& rule : kRules) {
        if (error.domain() == rule.domain && rule.codes.contains(error.code()))
            return rule.group;
    }
    return JoinFailure::other;
}

} // namespace ondrel
