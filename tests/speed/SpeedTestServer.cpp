#include "SpeedTestServer.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ondrel::testing {

struct SpeedTestServer::Connection {
    enum class State { head, body, sending, stalled } state = State::head;
    int fd = -1; // -1 once closed
    qint64 id = 0;
    std::string in;          // received bytes not used yet
    std::string out;         // answer head (and small page) still to send
    bool stream = false;     // counted in openStreams
    bool closeAfter = false; // close once the answer is sent or the body read
    qint64 bodyLeft = 0;     // upload bytes still to read
    qint64 sendLeft = 0;     // download bytes still to send
};

SpeedTestServer::SpeedTestServer()
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    openListener();
    thread_ = std::thread([this] { run(); });
}

SpeedTestServer::~SpeedTestServer()
{
    std::unique_lock lock(mutex_);
    stopping_ = true;
    sync(lock);
    lock.unlock();
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

void SpeedTestServer::setRefusing(bool refusing)
{
    std::unique_lock lock(mutex_);
    refusing_ = refusing;
    sync(lock);
}

void SpeedTestServer::sync(std::unique_lock<std::mutex>& lock)
{
    const qint64 generation = ++requested_;
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    applied_.wait(lock, [&] { return done_ >= generation || stopping_; });
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
    // The only client is libcurl: headers come in their usual spelling.
    const std::string head = c.in.substr(0, end);
    c.in.erase(0, end + 4);
    const bool up = head.starts_with("POST /__up");
    const size_t bytesAt = head.find("bytes="), lengthAt = head.find("\r\nContent-Length:");
    const qint64 bytes = bytesAt == std::string::npos ? 0 : std::atoll(head.c_str() + bytesAt + 6);
    const qint64 length = lengthAt == std::string::npos ? 0 : std::atoll(head.c_str() + lengthAt + 17);
    const Kind kind = up ? Kind::upload : bytes == 0 ? Kind::latency : Kind::download;

    std::lock_guard lock(mutex_);
    stats_.expectHeaders += head.find("\r\nExpect:") != std::string::npos;
    ++stats_.requests[size_t(kind)];
    if (kind == Kind::latency)
        stats_.latencyConnections.insert(c.id);
    else
        stats_.openStreams += (c.stream = true);
    const int answers = answers_[size_t(kind)];
    answers_[size_t(kind)] -= answers > 0;
    const Behaviour behaviour = answers == 0 ? Behaviour::stall : behaviours_[size_t(kind)].load();
    const bool drop = behaviour == Behaviour::drop;
    c.closeAfter = behaviour != Behaviour::normal;
    c.state = behaviour == Behaviour::stall         ? Connection::State::stalled
              : up && behaviour != Behaviour::close ? Connection::State::body
                                                    : Connection::State::sending;
    c.bodyLeft = drop ? length / 2 : length;
    c.sendLeft = up || behaviour == Behaviour::close ? 0 : drop ? bytes / 2 : bytes;
    if (behaviour == Behaviour::error) {
        // A refusing server, or a network answering everything itself (a
        // captive portal): a status and a small page; a redirect has no body.
        const int status = errorStatus_;
        const bool redirect = status / 100 == 3;
        const std::string page = redirect ? "" : "<html><body>" + std::string(2000, '.') + "</body></html>";
        c.out = "HTTP/1.1 " + std::to_string(status) + " Answer\r\nContent-Type: text/html\r\n" +
                (redirect ? "Location: http://portal.example/login\r\n" : "") +
                "Content-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
        c.sendLeft = 0;
        // An upload's answer goes before its body is read, as servers do; the
        // body is then read, so that no reset cuts the answer off.
        if (up) {
            (void)!::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
            c.out.clear();
        }
    } else if (c.state == Connection::State::sending && behaviour != Behaviour::close) {
        c.out = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                std::to_string(bytes) + "\r\n\r\n";
    }
    return true;
}

void SpeedTestServer::endStream(Connection& c, bool close)
{
    std::lock_guard lock(mutex_);
    stats_.openStreams -= c.stream;
    c.stream = false;
    if (close) {
        ::close(c.fd);
        c.fd = -1;
    }
}

void SpeedTestServer::serve(Connection& c, short revents, std::string& buffer)
{
    if (revents & (POLLHUP | POLLERR | POLLRDHUP))
        return endStream(c, true);
    if (const ssize_t n = (revents & POLLIN) ? ::recv(c.fd, buffer.data(), buffer.size(), 0) : 0; n > 0)
        c.in.append(buffer.data(), size_t(n));
    if ((revents & POLLOUT) && !c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        c.out.erase(0, size_t(std::max<ssize_t>(n, 0)));
    } else if (revents & POLLOUT) {
        const size_t size = size_t(std::min<qint64>(c.sendLeft, qint64(buffer.size())));
        c.sendLeft -= std::max<ssize_t>(0, ::send(c.fd, buffer.data(), size, MSG_NOSIGNAL));
    }
    // As far as the bytes at hand go: the next request may be waiting already.
    for (bool moved = true; moved;) {
        moved = false;
        if (c.state == Connection::State::head) {
            moved = startRequest(c);
        } else if (c.state == Connection::State::body) {
            const qint64 n = std::min<qint64>(c.bodyLeft, qint64(c.in.size()));
            c.in.erase(0, size_t(n));
            c.bodyLeft -= n;
            if (c.bodyLeft == 0 && c.closeAfter)
                return endStream(c, true);
            if (c.bodyLeft == 0) {
                c.out = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
                c.state = Connection::State::sending;
            }
        } else if (c.state == Connection::State::sending && c.out.empty() && c.sendLeft == 0) {
            endStream(c, c.closeAfter);
            if (c.fd < 0)
                return;
            c.state = Connection::State::head;
            moved = true;
        }
    }
}

void SpeedTestServer::run()
{
    std::vector<std::unique_ptr<Connection>> connections;
    std::string buffer(1 << 20, 'x');
    std::vector<pollfd> fds;
    for (qint64 nextId = 1;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
            if (refusing_ && listenFd_ >= 0) {
                ::close(listenFd_);
                listenFd_ = -1;
            } else if (!refusing_ && listenFd_ < 0) {
                openListener();
            }
            done_ = requested_;
            applied_.notify_all();
        }
        fds.assign({{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}});
        for (const auto& c : connections) {
            using State = Connection::State;
            const bool reading = c->state == State::head || c->state == State::body;
            // Always notice the client's close; a stalled request reads no more.
            fds.push_back(
                {c->fd,
                 short(POLLRDHUP | (reading ? POLLIN : 0) | (c->state == State::sending ? POLLOUT : 0)), 0});
        }
        ::poll(fds.data(), fds.size(), -1);

        uint64_t wakes;
        if (fds[0].revents)
            (void)!::read(wakeFd_, &wakes, sizeof wakes);
        for (int fd; (fds[1].revents & POLLIN) &&
                     (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            connections.push_back(std::make_unique<Connection>());
            connections.back()->fd = fd;
            connections.back()->id = nextId++;
        }
        for (size_t i = 2; i < fds.size(); ++i)
            serve(*connections[i - 2], fds[i].revents, buffer);
        std::erase_if(connections, [](const auto& c) { return c->fd < 0; });
    }
    for (auto& c : connections)
        ::close(c->fd);
}

} // namespace ondrel::testing
