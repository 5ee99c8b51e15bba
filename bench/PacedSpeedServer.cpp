#include "PacedSpeedServer.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ondrel::bench {

using Clock = std::chrono::steady_clock;

struct PacedSpeedServer::Connection {
    // waiting: a latency answer held back by the queue until answerAt.
    enum class State { head, body, waiting, sending } state = State::head;
    int fd = -1;
    std::string in;      // received bytes not used yet
    std::string out;     // answer head still to send
    qint64 bodyLeft = 0; // upload bytes still to read
    qint64 sendLeft = 0; // download bytes still to send
    Clock::time_point answerAt{};
};

PacedSpeedServer::PacedSpeedServer(const QByteArray& address) : address_(address)
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address_.constData(), &bound.sin_addr) != 1) {
        address_ = "127.0.0.1";
        bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    socklen_t length = sizeof bound;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&bound), length);
    ::listen(listenFd_, 64);
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    thread_ = std::thread([this] { run(); });
}

PacedSpeedServer::~PacedSpeedServer()
{
    apply([this] { stopping_ = true; });
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFd_);
}

QByteArray PacedSpeedServer::url() const
{
    return "http://" + address_ + ":" + QByteArray::number(port_);
}

template <typename Edit> void PacedSpeedServer::apply(Edit edit)
{
    std::unique_lock lock(mutex_);
    edit();
    const qint64 generation = ++requested_;
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    applied_.wait(lock, [&] { return done_ >= generation || stopping_; });
}

void PacedSpeedServer::setRate(double mbps)
{
    apply([&] { bytesPerSecond_ = mbps * 1e6 / 8; });
}

void PacedSpeedServer::setQueue(qint64 bytes)
{
    apply([&] { queueBytes_ = bytes; });
}

bool PacedSpeedServer::raisePriority()
{
    apply([this] { realtimeWanted_ = true; });
    std::lock_guard lock(mutex_);
    return realtime_;
}

// Takes one request head from c.in and sets up its answer; false while the
// head is incomplete.
bool PacedSpeedServer::startRequest(Connection& c)
{
    const size_t end = c.in.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    std::string head = c.in.substr(0, end);
    c.in.erase(0, end + 4);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    const std::string line = head.substr(0, head.find("\r\n"));
    if (line.rfind("post /__up", 0) == 0) {
        const size_t lengthAt = head.find("\r\ncontent-length:");
        c.bodyLeft = lengthAt == std::string::npos ? 0 : std::atoll(head.c_str() + lengthAt + 17);
        c.state = Connection::State::body;
        return true;
    }
    const size_t bytesAt = line.find("bytes=");
    c.sendLeft = bytesAt == std::string::npos ? 0 : std::max(0LL, std::atoll(line.c_str() + bytesAt + 6));
    c.out = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
            std::to_string(c.sendLeft) + "\r\n\r\n";
    c.state = Connection::State::sending;
    return true;
}

void PacedSpeedServer::run()
{
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<char> data(1 << 20, 'x'), sink(1 << 20);
    std::vector<pollfd> fds;
    double rate = 0, tokens = 0;
    qint64 queue = 0;
    Clock::time_point refilled = Clock::now();
    bool triedRealtime = false;

    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
            if (realtimeWanted_ && !triedRealtime) {
                triedRealtime = true;
                sched_param parameters{};
                parameters.sched_priority = 10;
                realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
            }
            if (rate != bytesPerSecond_) {
                tokens = 0;
                // Connections take their receive buffer, and the window they open
                // with, from the listener's: a paced link holds a modest queue, or a
                // whole window of upload would be acknowledged before the pacing
                // reads a byte of it.
                const int buffer = bytesPerSecond_ > 0 ? 16 * 1024 : 4 * 1024 * 1024;
                ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
            }
            rate = bytesPerSecond_;
            queue = queueBytes_;
            done_ = requested_;
            applied_.notify_all();
        }
        // Token bucket: bursts of at most 50 ms, handed out in quanta of up to 16 KiB.
        const Clock::time_point now = Clock::now();
        const double burst = std::max(16.0 * 1024, rate * 0.05), quantum = std::min(burst / 2, 16.0 * 1024);
        if (rate > 0)
            tokens = std::min(burst, tokens + std::chrono::duration<double>(now - refilled).count() * rate);
        refilled = now;
        const bool flowing = rate <= 0 || tokens >= quantum;
        const auto budget = [&](qint64 want) { return rate > 0 ? std::min(want, qint64(tokens)) : want; };
        // Takes up a request; a latency request waits behind the queue.
        const auto start = [&](Connection& c) {
            if (!startRequest(c) || c.state != Connection::State::sending || c.sendLeft > 0 || queue <= 0 ||
                rate <= 0)
                return;
            qint64 down = 0, up = 0;
            for (const auto& other : connections) {
                if (other->state == Connection::State::sending)
                    down += other->sendLeft;
                else if (other->state == Connection::State::body)
                    up += other->bodyLeft;
            }
            const double wait = double(std::min(queue, down) + std::min(queue, up)) / rate;
            c.answerAt = Clock::now() +
                         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
            c.state = Connection::State::waiting;
        };
        int timeout = flowing ? -1 : std::max(1, int((quantum - tokens) / rate * 1000));
        for (const auto& c : connections) {
            if (c->state == Connection::State::waiting) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(c->answerAt - now).count();
                timeout = timeout < 0 ? std::max<int>(0, int(left)) : std::clamp(int(left), 0, timeout);
            }
        }

        fds.assign({{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}});
        for (const auto& c : connections) {
            short events = POLLRDHUP; // always notice the client's close
            if (c->state == Connection::State::head || (c->state == Connection::State::body && flowing))
                events |= POLLIN;
            if (c->state == Connection::State::sending && (!c->out.empty() || c->sendLeft <= 0 || flowing))
                events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
        }
        ::poll(fds.data(), fds.size(), timeout);

        uint64_t wakes;
        if (fds[0].revents)
            (void)!::read(wakeFd_, &wakes, sizeof wakes);
        for (int fd; (fds[1].revents & POLLIN) &&
                     (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            // The receive buffer comes from the listener's (set with the rate).
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            connections.push_back(std::make_unique<Connection>());
            connections.back()->fd = fd;
        }

        for (size_t i = 2; i < fds.size(); ++i) {
            Connection& c = *connections[i - 2];
            short revents = fds[i].revents;
            if (revents & (POLLHUP | POLLERR | POLLRDHUP)) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            if (c.state == Connection::State::head && (revents & POLLIN)) {
                const ssize_t n = ::recv(c.fd, sink.data(), sink.size(), 0);
                if (n > 0)
                    c.in.append(sink.data(), size_t(n));
                start(c);
            }
            if (c.state == Connection::State::waiting) {
                if (Clock::now() < c.answerAt)
                    continue;
                c.state = Connection::State::sending;
                revents |= POLLOUT; // a socket with nothing queued takes the short answer
            }
            if (c.state == Connection::State::body) {
                // Body bytes may already sit in the head buffer; they came over the
                // paced link too, so they use up tokens as well.
                qint64 n = std::min<qint64>(c.bodyLeft, qint64(c.in.size()));
                c.in.erase(0, size_t(n));
                tokens -= rate > 0 ? double(n) : 0;
                if (n == 0 && (revents & POLLIN)) {
                    const qint64 want = budget(std::min<qint64>(c.bodyLeft, qint64(sink.size())));
                    n = std::max<qint64>(0, want > 0 ? ::recv(c.fd, sink.data(), size_t(want), 0) : 0);
                    tokens -= rate > 0 ? double(n) : 0;
                }
                c.bodyLeft -= n;
                if (c.bodyLeft <= 0) {
                    c.out = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
                    c.state = Connection::State::sending;
                }
            }
            if (c.state != Connection::State::sending || !(revents & POLLOUT))
                continue;
            if (!c.out.empty()) {
                const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
                c.out.erase(0, size_t(std::max<ssize_t>(n, 0)));
            } else if (const qint64 want = budget(std::min<qint64>(c.sendLeft, qint64(data.size())));
                       want > 0) {
                const ssize_t n = std::max<ssize_t>(0, ::send(c.fd, data.data(), size_t(want), MSG_NOSIGNAL));
                c.sendLeft -= n;
                tokens -= rate > 0 ? double(n) : 0;
            }
            if (c.out.empty() && c.sendLeft <= 0) {
                c.state = Connection::State::head;
                start(c); // the next request may be waiting already
            }
        }
        std::erase_if(connections, [](const auto& c) { return c->fd < 0; });
    }
    for (auto& c : connections)
        ::close(c->fd);
}

} // namespace ondrel::bench
