#include "SpeedTestServer.h"

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

namespace ondrel::testing {

using Clock = std::chrono::steady_clock;

struct SpeedTestServer::Connection {
    enum class State { head, body, sending, stalled } state = State::head;
    int fd = -1;
    qint64 id = 0;
    std::string in;  // received bytes not used yet
    std::string out; // answer head (and small page) still to send
    Kind kind = Kind::latency;
    Behaviour behaviour = Behaviour::normal;
    bool stream = false; // counted in openStreams
    bool closeAfter = false;
    bool closed = false;
    qint64 bodyLeft = 0, bodyStop = 0; // upload bytes still to read; stop there (drop: halfway)
    qint64 sendLeft = 0, sendStop = 0; // download bytes still to send; stop there
};

SpeedTestServer::SpeedTestServer()
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    openListener();
    thread_ = std::thread([this] { run(); });
}

SpeedTestServer::~SpeedTestServer()
{
    apply([this](Config&) { stopping_ = true; });
    thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    ::close(wakeFd_);
}

void SpeedTestServer::openListener()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_); // a reopened listener keeps its port
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return;
    }
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

QByteArray SpeedTestServer::url() const
{
    return "http://127.0.0.1:" + QByteArray::number(port_);
}

void SpeedTestServer::apply(const std::function<void(Config&)>& edit)
{
    std::unique_lock lock(mutex_);
    edit(config_);
    const qint64 generation = ++requested_;
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    applied_.wait(lock, [&] { return done_ >= generation || stopping_; });
}

bool SpeedTestServer::raisePriority()
{
    apply([](Config& c) { c.realtime = true; });
    std::lock_guard lock(mutex_);
    return realtime_;
}

SpeedTestServer::Stats SpeedTestServer::stats() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

// Takes one request head from c.in and sets up its answer; false while the
// head is incomplete.
bool SpeedTestServer::startRequest(Connection& c)
{
    const size_t end = c.in.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    std::string head = c.in.substr(0, end);
    c.in.erase(0, end + 4);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    const std::string line = head.substr(0, head.find("\r\n"));
    const bool up = line.rfind("post /__up", 0) == 0;
    const size_t bytesAt = line.find("bytes=");
    const qint64 bytes =
        bytesAt == std::string::npos ? 0 : std::max(0LL, std::atoll(line.c_str() + bytesAt + 6));
    const size_t lengthAt = head.find("\r\ncontent-length:");
    const qint64 length = lengthAt == std::string::npos ? 0 : std::atoll(head.c_str() + lengthAt + 17);

    std::lock_guard lock(mutex_);
    stats_.expectHeaders += head.find("\r\nexpect:") != std::string::npos;
    c.out.clear();
    c.state = Connection::State::sending;
    c.closeAfter = false;
    c.sendLeft = c.sendStop = 0;
    c.kind = up ? Kind::upload : bytes == 0 ? Kind::latency : Kind::download;
    int& answers = config_.answers[size_t(c.kind)];
    c.behaviour = answers == 0 ? Behaviour::stall : config_.behaviours[size_t(c.kind)];
    answers -= answers > 0;
    ++stats_.requests[size_t(c.kind)];
    if (c.kind == Kind::latency)
        stats_.latencyConnections.insert(c.id);
    else
        stats_.openStreams += (c.stream = true);

    switch (c.behaviour) {
    case Behaviour::stall:
        c.state = Connection::State::stalled;
        return true;
    case Behaviour::close:
        c.closeAfter = true;
        return true;
    case Behaviour::drop:
        c.closeAfter = c.kind == Kind::latency;
        if (c.closeAfter)
            return true;
        break;
    case Behaviour::error: {
        // A refusing server, or a network answering everything itself (a
        // captive portal): a status and a small page; a redirect has no body.
        const int status = config_.errorStatus;
        const bool redirect = status / 100 == 3;
        const std::string page = redirect ? "" : "<html><body>" + std::string(2000, '.') + "</body></html>";
        c.out = "HTTP/1.1 " + std::to_string(status) + " Answer\r\nContent-Type: text/html\r\n" +
                (redirect ? "Location: http://portal.example/login\r\n" : "") +
                "Content-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
        c.closeAfter = true;
        if (!up)
            return true;
        // The answer goes before the body is read, as servers do; the body is
        // then read, so that no reset cuts the answer off.
        (void)!::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        c.out.clear();
        break;
    }
    case Behaviour::normal:
        break;
    }
    if (up) {
        c.bodyLeft = length;
        c.bodyStop = c.behaviour == Behaviour::drop ? length / 2 : 0;
        c.state = Connection::State::body;
    } else {
        c.out = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                std::to_string(bytes) + "\r\n\r\n";
        c.sendLeft = bytes;
        c.sendStop = c.behaviour == Behaviour::drop ? bytes / 2 : 0;
    }
    return true;
}

void SpeedTestServer::run()
{
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<char> data(1 << 20, 'x'), sink(1 << 20);
    std::vector<pollfd> fds;
    double rate = 0, tokens = 0;
    Clock::time_point refilled = Clock::now();
    qint64 nextId = 1;
    bool triedRealtime = false;
    const auto endStream = [&](Connection& c, bool close) {
        std::lock_guard lock(mutex_);
        stats_.openStreams -= c.stream;
        c.stream = false;
        if (close)
            ::close(c.fd);
        c.closed = close;
    };

    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
            if (config_.refusing && listenFd_ >= 0) {
                ::close(listenFd_);
                listenFd_ = -1;
            } else if (!config_.refusing && listenFd_ < 0) {
                openListener();
            }
            if (config_.realtime && !triedRealtime) {
                triedRealtime = true;
                sched_param parameters{};
                parameters.sched_priority = 10;
                realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
            }
            if (rate != config_.bytesPerSecond)
                tokens = 0;
            rate = config_.bytesPerSecond;
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

        fds.assign({{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}});
        for (const auto& c : connections) {
            short events = POLLRDHUP; // always notice the client's close
            if (c->state == Connection::State::head || (c->state == Connection::State::body && flowing))
                events |= POLLIN;
            if (c->state == Connection::State::sending &&
                (!c->out.empty() || c->sendLeft <= c->sendStop || flowing))
                events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
        }
        ::poll(fds.data(), fds.size(), flowing ? -1 : std::max(1, int((quantum - tokens) / rate * 1000)));

        uint64_t wakes;
        if (fds[0].revents)
            (void)!::read(wakeFd_, &wakes, sizeof wakes);
        for (int fd; (fds[1].revents & POLLIN) &&
                     (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            const int yes = 1, queue = 16 * 1024;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            if (rate > 0) // a paced link holds a modest queue, not loopback's megabytes
                ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &queue, sizeof queue);
            connections.push_back(std::make_unique<Connection>());
            connections.back()->fd = fd;
            connections.back()->id = nextId++;
        }

        for (size_t i = 2; i < fds.size(); ++i) {
            Connection& c = *connections[i - 2];
            const short revents = fds[i].revents;
            if (revents & (POLLHUP | POLLERR | POLLRDHUP)) {
                endStream(c, true);
                continue;
            }
            if (c.state == Connection::State::head && (revents & POLLIN)) {
                const ssize_t n = ::recv(c.fd, sink.data(), sink.size(), 0);
                if (n > 0)
                    c.in.append(sink.data(), size_t(n));
                startRequest(c);
            }
            if (c.state == Connection::State::body) {
                // Body bytes may already sit in the head buffer.
                qint64 n = std::min<qint64>(c.bodyLeft - c.bodyStop, qint64(c.in.size()));
                c.in.erase(0, size_t(n));
                if (n == 0 && (revents & POLLIN)) {
                    const qint64 want =
                        budget(std::min<qint64>(c.bodyLeft - c.bodyStop, qint64(sink.size())));
                    n = std::max<qint64>(0, want > 0 ? ::recv(c.fd, sink.data(), size_t(want), 0) : 0);
                    tokens -= rate > 0 ? double(n) : 0;
                }
                c.bodyLeft -= n;
                if (c.bodyLeft <= c.bodyStop) {
                    if (c.closeAfter || c.behaviour == Behaviour::drop) {
                        endStream(c, true);
                        continue;
                    }
                    c.out = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
                    c.state = Connection::State::sending;
                }
            }
            if (c.state != Connection::State::sending || !(revents & POLLOUT))
                continue;
            if (!c.out.empty()) {
                const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
                c.out.erase(0, size_t(std::max<ssize_t>(n, 0)));
            } else if (const qint64 want =
                           budget(std::min<qint64>(c.sendLeft - c.sendStop, qint64(data.size())));
                       want > 0) {
                const ssize_t n = std::max<ssize_t>(0, ::send(c.fd, data.data(), size_t(want), MSG_NOSIGNAL));
                c.sendLeft -= n;
                tokens -= rate > 0 ? double(n) : 0;
            }
            if (c.out.empty() && c.sendLeft <= c.sendStop) {
                endStream(c, c.closeAfter || c.behaviour == Behaviour::drop);
                c.state = Connection::State::head;
                if (!c.closed)
                    startRequest(c); // the next request may be waiting already
            }
        }
        std::erase_if(connections, [](const auto& c) { return c->closed; });
    }
    for (auto& c : connections)
        ::close(c->fd);
}

} // namespace ondrel::testing
