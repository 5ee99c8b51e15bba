#include "wifi/nl80211/Nl80211Radio.h"

#include "wifi/nl80211/Nl80211Messages.h"

#include <linux/nl80211.h>
#include <net/if.h>
#include <netlink/errno.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <sys/socket.h>

#include <functional>
#include <memory>

namespace ondrel {

namespace {

using Socket = std::unique_ptr<nl_sock, decltype(&nl_socket_free)>;
using Callbacks = std::unique_ptr<nl_cb, decltype(&nl_cb_put)>;
using Message = std::unique_ptr<nl_msg, decltype(&nlmsg_free)>;

// libnl's error (negative NLE_* code) as the seam's failure.
KernelFailure failureFrom(int error)
{
    switch (-error) {
    case NLE_PERM:
        return KernelFailure::noPermission;
    case NLE_OBJ_NOTFOUND:
        return KernelFailure::noFamily;
    case NLE_NODEV:
        return KernelFailure::noInterface;
    default:
        return KernelFailure::failed;
    }
}

// The state of one dump while its messages arrive.
struct Dump {
    std::function<void(nlmsghdr*)> each;
    bool done = false;
    int error = 0; // the kernel's errno, negated, when it refused
};

int onValid(nl_msg* message, void* arg)
{
    static_cast<Dump*>(arg)->each(nlmsg_hdr(message));
    return NL_OK;
}

int onFinish(nl_msg*, void* arg)
{
    static_cast<Dump*>(arg)->done = true;
    return NL_STOP;
}

int onError(sockaddr_nl*, nlmsgerr* error, void* arg)
{
    auto* dump = static_cast<Dump*>(arg);
    dump->error = error->error;
    dump->done = true;
    return NL_STOP;
}

// The kernel's errno as libnl's code.
int fromErrno(int error)
{
    return -nl_syserr2nlerr(-error);
}

class Session {
public:
    Session() : socket_(nl_socket_alloc(), &nl_socket_free) {}

    // 0, or libnl's (negative) error.
    int open(std::chrono::milliseconds timeout)
    {
        if (!socket_)
            return -NLE_NOMEM;
        if (const int error = genl_connect(socket_.get()); error < 0)
            return error;
        const timeval limit{time_t(timeout.count() / 1000), suseconds_t(timeout.count() % 1000 * 1000)};
        setsockopt(nl_socket_get_fd(socket_.get()), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        family_ = genl_ctrl_resolve(socket_.get(), "nl80211");
        return family_ < 0 ? family_ : 0;
    }

    // Every message of the dump `command` of interface `ifindex` to `each`;
    // 0, or libnl's (negative) error.
    int dump(quint8 command, unsigned ifindex, const std::function<void(nlmsghdr*)>& each)
    {
        Message message(nlmsg_alloc(), &nlmsg_free);
        if (!message ||
            !genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family_, 0, NLM_F_DUMP, command, 0) ||
            nla_put_u32(message.get(), NL80211_ATTR_IFINDEX, ifindex) < 0)
            return -NLE_NOMEM;
        Callbacks callbacks(nl_cb_alloc(NL_CB_DEFAULT), &nl_cb_put);
        if (!callbacks)
            return -NLE_NOMEM;
        Dump state{each};
        nl_cb_set(callbacks.get(), NL_CB_VALID, NL_CB_CUSTOM, onValid, &state);
        nl_cb_set(callbacks.get(), NL_CB_FINISH, NL_CB_CUSTOM, onFinish, &state);
        nl_cb_set(callbacks.get(), NL_CB_ACK, NL_CB_CUSTOM, onFinish, &state);
        nl_cb_err(callbacks.get(), NL_CB_CUSTOM, onError, &state);
        if (const int sent = nl_send_auto(socket_.get(), message.get()); sent < 0)
            return sent;
        while (!state.done) {
            // Negative on a receive time-out or a broken socket.
            if (const int received = nl_recvmsgs(socket_.get(), callbacks.get()); received < 0)
                return state.error ? fromErrno(state.error) : received;
        }
        return state.error ? fromErrno(state.error) : 0;
    }

private:
    Socket socket_;
    int family_ = -1;
};

} // namespace

Nl80211Radio::Nl80211Radio(std::chrono::milliseconds timeout) : timeout_(timeout) {}

KernelReading Nl80211Radio::read(const QString& interface, bool withScanResults)
{
    KernelReading reading;
    reading.readAt = std::chrono::steady_clock::now();
    // Names are looked up in this process's network namespace: a program
    // running in another sees no such interface.
    const unsigned ifindex = if_nametoindex(interface.toLocal8Bit().constData());
    if (interface.isEmpty() || ifindex == 0) {
        reading.failure = KernelFailure::noInterface;
        return reading;
    }
    Session session;
    if (const int error = session.open(timeout_); error < 0) {
        reading.failure = failureFrom(error);
        return reading;
    }
    if (withScanResults) {
        const int error = session.dump(NL80211_CMD_GET_SCAN, ifindex, [&](nlmsghdr* header) {
            if (std::optional<KernelBss> bss = nl80211::bssFromMessage(header))
                reading.bsses.append(std::move(*bss));
        });
        if (error < 0) {
            // Not a Wi-Fi interface: the kernel says no such device.
            reading.failure = -error == NLE_NODEV || -error == NLE_OPNOTSUPP || -error == NLE_INVAL
                                  ? KernelFailure::noInterface
                                  : failureFrom(error);
            reading.bsses.clear();
            return reading;
        }
    }
    // Drivers without a survey or stations answer with an error: the lists
    // stay empty.
    session.dump(NL80211_CMD_GET_SURVEY, ifindex, [&](nlmsghdr* header) {
        if (std::optional<ChannelSurvey> survey = nl80211::surveyFromMessage(header))
            reading.surveys.append(*survey);
    });
    session.dump(NL80211_CMD_GET_STATION, ifindex, [&](nlmsghdr* header) {
        if (std::optional<KernelStation> station = nl80211::stationFromMessage(header))
            reading.stations.append(*station);
    });
    return reading;
}

} // namespace ondrel
