#include "SpeedTestServer.h"

#include <QByteArrayView>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ondrel::testing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunk = 1 << 20;
constexpr double kBurstSeconds = 0.05;
constexpr double kMinimumBurst = 16 * 1024;
constexpr int kPacedReceiveBuffer = 16 * 1024;

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

struct SpeedTestServer::Connection {
    enum class State { readingHead, readingBody, sending, stalled };
    int fd = -1;
    qint64 id = 0;
    State state = State::readingHead;
    std::string in;
    Kind kind = Kind::latency;
    Behaviour behaviour = Behaviour::normal;
    bool stream = false;   // counted in openStreams
    qint64 bodyLeft = 0;   // upload bytes still to read
    qint64 readStopAt = 0; // close once bodyLeft falls to this (drop)
    std::string head;      // response head (and short body) still to send
    size_t headSent = 0;
    qint64 sendLeft = 0;   // download body bytes still to send
    qint64 sendStopAt = 0; // close once sendLeft falls to this (drop)
    bool closeAfterSend = false;
    bool refused = false; // an error answer went out; read the body, then close
    bool closed = false;
};

SpeedTestServer::SpeedTestServer()
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    openListener();
    thread_ = std::thread([this] { run(); });
}

SpeedTestServer::~SpeedTestServer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    ::close(wakeFd_);
}

bool SpeedTestServer::openListener()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    if (port_ == 0) { // a reopened listener keeps its port
        socklen_t length = sizeof address;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    return true;
}

QByteArray SpeedTestServer::url() const
{
    return "http://127.0.0.1:" + QByteArray::number(port_);
}

void SpeedTestServer::apply(const std::function<void(Config&)>& edit)
{
    std::unique_lock lock(mutex_);
    edit(config_);
    const qint64 generation = ++requestedGeneration_;
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    applied_.wait(lock, [&] { return appliedGeneration_ >= generation; });
}

void SpeedTestServer::setRate(double megabitsPerSecond)
{
    apply([&](Config& config) { config.bytesPerSecond = megabitsPerSecond * 1e6 / 8.0; });
}

void SpeedTestServer::setBehaviour(Kind kind, Behaviour behaviour)
{
    apply([&](Config& config) { config.behaviours[size_t(kind)] = behaviour; });
}

void SpeedTestServer::setErrorStatus(int status)
{
    apply([&](Config& config) { config.errorStatus = status; });
}

void SpeedTestServer::setRefusing(bool refusing)
{
    apply([&](Config& config) { config.refusing = refusing; });
}

bool SpeedTestServer::raisePriority()
{
    apply([](Config& config) { config.realtime = true; });
    std::lock_guard lock(mutex_);
    return realtime_;
}

SpeedTestServer::Stats SpeedTestServer::stats() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

void SpeedTestServer::resetStats()
{
    std::lock_guard lock(mutex_);
    const int open = stats_.openStreams;
    stats_ = Stats();
    stats_.openStreams = open;
    stats_.maxOpenStreams = open;
}

void SpeedTestServer::run()
{
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<char> buffer(kChunk, 'x');
    std::vector<char> sink(kChunk);
    std::vector<pollfd> fds;
    Config config;
    double tokens = 0;
    Clock::time_point refilled = Clock::now();
    qint64 nextId = 1;

    const auto endStream = [&](Connection& c) {
        if (c.stream) {
            c.stream = false;
            --stats_.openStreams;
        }
    };
    const auto close = [&](Connection& c) {
        std::lock_guard lock(mutex_);
        endStream(c);
        ::close(c.fd);
        c.closed = true;
    };

    // Parses one request head from c.in and sets up the answer.
    const auto startRequest = [&](Connection& c) -> bool {
        const size_t end = c.in.find("\r\n\r\n");
        if (end == std::string::npos)
            return false;
        const std::string head = c.in.substr(0, end);
        c.in.erase(0, end + 4);
        const size_t space1 = head.find(' ');
        const size_t space2 = head.find(' ', space1 + 1);
        const std::string method = head.substr(0, space1);
        const std::string target = head.substr(space1 + 1, space2 - space1 - 1);
        const std::string lower = lowerCase(head);
        qint64 contentLength = 0;
        if (const size_t at = lower.find("\r\ncontent-length:"); at != std::string::npos)
            contentLength = std::atoll(lower.c_str() + at + 17);
        const bool expect = lower.find("\r\nexpect:") != std::string::npos;
        const bool chunked = lower.find("\r\ntransfer-encoding:") != std::string::npos;

        qint64 downBytes = -1;
        if (target.rfind("/__down", 0) == 0) {
            downBytes = 0;
            if (const size_t at = target.find("bytes="); at != std::string::npos)
                downBytes = std::max<qint64>(0, std::atoll(target.c_str() + at + 6));
        }
        const bool up = target.rfind("/__up", 0) == 0 && method == "POST";

        std::lock_guard lock(mutex_);
        if (expect)
            ++stats_.expectHeaders;
        if ((downBytes < 0 && !up) || chunked) {
            c.head = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            c.headSent = 0;
            c.closeAfterSend = true;
            c.state = Connection::State::sending;
            return true;
        }
        c.kind = up ? Kind::upload : downBytes == 0 ? Kind::latency : Kind::download;
        c.behaviour = config.behaviours[size_t(c.kind)];
        ++stats_.requests[size_t(c.kind)];
        if (c.kind == Kind::latency)
            stats_.latencyConnections.insert(c.id);
        if (c.kind != Kind::latency) {
            c.stream = true;
            stats_.maxOpenStreams = std::max(stats_.maxOpenStreams, ++stats_.openStreams);
        }
        c.headSent = 0;
        switch (c.behaviour) {
        case Behaviour::stall:
            c.state = Connection::State::stalled;
            return true;
        case Behaviour::error: {
            // What a refusing server, or a network that answers everything
            // itself (a captive portal), sends: a status and a small page;
            // a redirect comes without a body, so only its status tells.
            const int status = config.errorStatus;
            const std::string page =
                status / 100 == 3 ? "" : "<html><body>" + std::string(2000, '.') + "</body></html>";
            c.head = "HTTP/1.1 " + std::to_string(status) + " Answer\r\nContent-Type: text/html\r\n" +
                     (status / 100 == 3 ? "Location: http://portal.example/login\r\n" : "") +
                     "Content-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" +
                     page;
            if (!up) {
                c.closeAfterSend = true;
                c.state = Connection::State::sending;
                return true;
            }
            // The answer goes out before the body is read, as servers do;
            // the body is then read, so that no reset cuts the answer off.
            (void)!::send(c.fd, c.head.data(), c.head.size(), MSG_NOSIGNAL);
            c.head.clear();
            c.refused = true;
            break;
        }
        case Behaviour::close:
        case Behaviour::drop:
            if (c.kind == Kind::latency || c.behaviour == Behaviour::close) {
                c.closeAfterSend = true;
                c.head.clear();
                c.state = Connection::State::sending;
                return true;
            }
            break;
        case Behaviour::normal:
            break;
        }
        if (up) {
            c.bodyLeft = contentLength;
            c.readStopAt = c.behaviour == Behaviour::drop ? contentLength / 2 : 0;
            c.state = Connection::State::readingBody;
        } else {
            c.head =
                "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nCache-Control: no-store\r\n"
                "Content-Length: " +
                std::to_string(downBytes) + "\r\n\r\n";
            c.sendLeft = downBytes;
            c.sendStopAt = c.behaviour == Behaviour::drop ? downBytes / 2 : 0;
            c.state = Connection::State::sending;
        }
        return true;
    };

    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (stopping_)
                break;
            if (appliedGeneration_ != requestedGeneration_) {
                if (config_.refusing && listenFd_ >= 0) {
                    ::close(listenFd_);
                    listenFd_ = -1;
                } else if (!config_.refusing && listenFd_ < 0) {
                    openListener();
                }
                if (config_.realtime && !realtime_) {
                    sched_param parameters{};
                    parameters.sched_priority = 10;
                    realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
                }
                if (config_.bytesPerSecond != config.bytesPerSecond)
                    tokens = 0;
                config = config_;
                appliedGeneration_ = requestedGeneration_;
                applied_.notify_all();
            }
        }

        const bool paced = config.bytesPerSecond > 0;
        const double burst = std::max(kMinimumBurst, config.bytesPerSecond * kBurstSeconds);
        const double quantum = std::min(burst / 2, 16.0 * 1024);
        const Clock::time_point now = Clock::now();
        if (paced) {
            tokens = std::min(burst, tokens + std::chrono::duration<double>(now - refilled).count() *
                                                  config.bytesPerSecond);
        }
        refilled = now;
        const bool haveTokens = !paced || tokens >= quantum;

        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        fds.push_back({listenFd_, short(listenFd_ >= 0 ? POLLIN : 0), 0});
        bool waitingForTokens = false;
        for (const auto& c : connections) {
            short events = 0;
            switch (c->state) {
            case Connection::State::readingHead:
                events = POLLIN;
                break;
            case Connection::State::stalled:
                events = POLLRDHUP; // read nothing more, notice the close
                break;
            case Connection::State::readingBody:
                events = haveTokens ? POLLIN : 0;
                waitingForTokens |= !haveTokens;
                break;
            case Connection::State::sending:
                if (c->headSent < c->head.size() || c->sendLeft <= c->sendStopAt || haveTokens)
                    events = POLLOUT;
                else
                    waitingForTokens = true;
                break;
            }
            fds.push_back({c->fd, short(events | POLLRDHUP), 0}); // always notice a client's close
        }
        int timeout = -1;
        if (waitingForTokens)
            timeout = std::max(1, int((quantum - tokens) / config.bytesPerSecond * 1000.0));
        ::poll(fds.data(), fds.size(), timeout);

        if (fds[0].revents & POLLIN) {
            uint64_t value;
            (void)!::read(wakeFd_, &value, sizeof value);
        }
        if (fds[1].fd >= 0 && (fds[1].revents & POLLIN)) {
            for (;;) {
                const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                const int yes = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                if (paced) {
                    // A paced link holds a modest queue, not the tens of
                    // megabytes loopback would let a slow reader buffer.
                    const int receiveBuffer = kPacedReceiveBuffer;
                    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
                }
                auto c = std::make_unique<Connection>();
                c->fd = fd;
                c->id = nextId++;
                connections.push_back(std::move(c));
                std::lock_guard lock(mutex_);
                ++stats_.connections;
            }
        }

        for (size_t i = 2; i < fds.size(); ++i) {
            Connection& c = *connections[i - 2];
            const short revents = fds[i].revents;
            if (!revents)
                continue;
            if (revents & (POLLHUP | POLLERR | POLLRDHUP)) {
                close(c);
                continue;
            }
            if (c.state == Connection::State::readingHead || c.state == Connection::State::stalled) {
                const ssize_t n = ::recv(c.fd, sink.data(), sink.size(), 0);
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                if (n <= 0) {
                    close(c);
                    continue;
                }
                if (c.state == Connection::State::stalled)
                    continue;
                c.in.append(sink.data(), size_t(n));
                startRequest(c);
            }
            if (c.state == Connection::State::readingBody) {
                // Body bytes may already sit in the head buffer.
                const qint64 buffered = std::min<qint64>(c.bodyLeft - c.readStopAt, qint64(c.in.size()));
                if (buffered > 0) {
                    c.in.erase(0, size_t(buffered));
                    c.bodyLeft -= buffered;
                    std::lock_guard lock(mutex_);
                    stats_.bodyBytesReceived += buffered;
                } else if (revents & (POLLIN | POLLHUP | POLLERR)) {
                    qint64 want = std::min<qint64>(c.bodyLeft - c.readStopAt, qint64(sink.size()));
                    if (paced)
                        want = std::min<qint64>(want, qint64(tokens));
                    ssize_t n = want > 0 ? ::recv(c.fd, sink.data(), size_t(want), 0) : 0;
                    if (n < 0 && (errno == EAGAIN || errno == EINTR))
                        n = 0;
                    else if (n <= 0 && want > 0) {
                        close(c);
                        continue;
                    }
                    c.bodyLeft -= n;
                    if (paced)
                        tokens -= double(n);
                    std::lock_guard lock(mutex_);
                    stats_.bodyBytesReceived += n;
                }
                if (c.bodyLeft <= c.readStopAt) {
                    if (c.behaviour == Behaviour::drop || c.refused) {
                        close(c);
                        continue;
                    }
                    c.head = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
                    c.headSent = 0;
                    c.state = Connection::State::sending;
                }
            }
            if (c.state == Connection::State::sending && (revents & (POLLOUT | POLLHUP | POLLERR))) {
                if (c.headSent < c.head.size()) {
                    const ssize_t n =
                        ::send(c.fd, c.head.data() + c.headSent, c.head.size() - c.headSent, MSG_NOSIGNAL);
                    if (n < 0 && errno != EAGAIN) {
                        close(c);
                        continue;
                    }
                    c.headSent += size_t(std::max<ssize_t>(n, 0));
                } else if (c.sendLeft > c.sendStopAt) {
                    qint64 want = std::min<qint64>(c.sendLeft - c.sendStopAt, qint64(buffer.size()));
                    if (paced)
                        want = std::min<qint64>(want, qint64(tokens));
                    const ssize_t n = ::send(c.fd, buffer.data(), size_t(want), MSG_NOSIGNAL);
                    if (n < 0 && errno != EAGAIN) {
                        close(c);
                        continue;
                    }
                    if (n > 0) {
                        c.sendLeft -= n;
                        if (paced)
                            tokens -= double(n);
                        std::lock_guard lock(mutex_);
                        stats_.bodyBytesSent += n;
                    }
                }
                if (c.headSent >= c.head.size() && c.sendLeft <= c.sendStopAt) {
                    if (c.closeAfterSend || c.behaviour == Behaviour::drop) {
                        close(c);
                        continue;
                    }
                    {
                        std::lock_guard lock(mutex_);
                        endStream(c);
                    }
                    c.head.clear();
                    c.headSent = 0;
                    c.state = Connection::State::readingHead;
                    startRequest(c); // a request may already be waiting
                }
            }
        }
        connections.erase(
            std::remove_if(connections.begin(), connections.end(), [](const auto& c) { return c->closed; }),
            connections.end());
    }
    for (auto& c : connections)
        ::close(c->fd);
}

} // namespace ondrel::testing
