#include "store/JoinFailure.h"

#include <QList>

namespace ondrel {

namespace {

// The domains the system backends report joins' failures in: NetworkManager's
// device state reason of a failed activation, and NetworkManager's own
// refusals and time-outs (numbered as the codes of the same meaning on other
// systems).
const QString kDeviceStateReason = QStringLiteral("org.freedesktop.NetworkManager.Device.StateReason");
const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
// The iwd backend's domain, with the same numbers for the same meanings.
const QString kIwd = QStringLiteral("net.connman.iwd");

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
    // the join did not finish in time, NetworkManager stopped answering
    {kNetworkManager, {-3905}, JoinFailure::refusedOrTimedOut},
    // refused by NetworkManager or its policy (permission denied, not authorized)
    {kNetworkManager, {-3930}, JoinFailure::notPermitted},
    // iwd: passphrase missing or rejected; not found, timed out; not permitted
    {kIwd, {7}, JoinFailure::checkPassword},
    {kIwd, {53, -3905}, JoinFailure::refusedOrTimedOut},
    {kIwd, {-3930}, JoinFailure::notPermitted},
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
