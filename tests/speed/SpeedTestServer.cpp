#include "SpeedTestServer.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ondrel::testing {

SpeedTestServer::~SpeedTestServer()
{
    setRefusing(true);
    {
        std::lock_guard lock(mutex_);
        for (int fd : open_)
            ::shutdown(fd, SHUT_RDWR); // ends their threads' waits
    }
    for (std::thread& thread : connections_)
        thread.join();
}

void SpeedTestServer::listen()
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_); // a reopened listener keeps its port
    socklen_t length = sizeof address;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listenFd_, 64);
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this, listener = listenFd_] {
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0 && (errno == EINTR || errno == ECONNABORTED))
                continue;
            if (fd < 0)
                return; // shut down
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            std::lock_guard lock(mutex_);
            open_.insert(fd);
            connections_.emplace_back([this, fd, id = qint64(connections_.size())] { serve(fd, id); });
        }
    });
}

void SpeedTestServer::setRefusing(bool refusing)
{
    if (refusing && listenFd_ >= 0) {
        ::shutdown(listenFd_, SHUT_RDWR); // refuses from now on and ends the acceptor's wait
        acceptor_.join();
        ::close(listenFd_);
        listenFd_ = -1;
    } else if (!refusing && listenFd_ < 0) {
        listen();
    }
}

SpeedTestServer::Stats SpeedTestServer::stats() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

void SpeedTestServer::setQueue(Kind direction, qint64 bytes, double bytesPerSecond)
{
    std::lock_guard lock(mutex_);
    queues_[size_t(direction)] = {bytes, bytesPerSecond};
}

std::chrono::microseconds SpeedTestServer::latencyWait() const
{
    std::lock_guard lock(mutex_);
    double seconds = std::chrono::duration<double>(latencyDelay_.load()).count();
    for (Kind direction : {Kind::download, Kind::upload}) {
        const Queue& queue = queues_[size_t(direction)];
        if (queue.bytesPerSecond > 0)
            seconds += double(std::min(queue.bytes, pending_[size_t(direction)])) / queue.bytesPerSecond;
    }
    return std::chrono::microseconds(qint64(seconds * 1e6));
}

void SpeedTestServer::moved(Kind kind, qint64 bytes)
{
    std::lock_guard lock(mutex_);
    pending_[size_t(kind)] -= bytes;
}

SpeedTestServer::Behaviour SpeedTestServer::take(Kind kind, qint64 id, const std::string& head, qint64 bytes)
{
    std::lock_guard lock(mutex_);
    if (kind != Kind::latency)
        pending_[size_t(kind)] += bytes;
    stats_.expectHeaders += head.find("\r\nExpect:") != std::string::npos;
    ++stats_.requests[size_t(kind)];
    if (kind == Kind::latency)
        stats_.latencyConnections.insert(id);
    else
        ++stats_.openStreams;
    const int answers = answers_[size_t(kind)];
    answers_[size_t(kind)] -= answers > 0;
    return answers == 0 ? Behaviour::stall : behaviours_[size_t(kind)].load();
}

// The connection's requests one after another (the only client is libcurl,
// with headers in their usual spelling), until either side closes.
void SpeedTestServer::serve(int fd, qint64 id)
{
    std::string in, buffer(1 << 16, 'x');
    bool up = false; // the current request is an upload
    // Reads more into `in`; false once the client has closed.
    const auto receive = [&] {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        in.append(buffer.data(), size_t(std::max<ssize_t>(n, 0)));
        return n > 0;
    };
    qint64 left = 0; // the current transfer's bytes still to move
    const auto move = [&](qint64 n) {
        left -= n;
        moved(up ? Kind::upload : Kind::download, n);
    };
    // Reads and drops `bytes` body bytes; false when the client closed first.
    const auto drain = [&](qint64 bytes) {
        for (;;) {
            const qint64 n = std::min<qint64>(bytes, qint64(in.size()));
            in.erase(0, size_t(n));
            move(n);
            if ((bytes -= n) == 0)
                return true;
            if (!receive())
                return false;
        }
    };
    const auto send = [&](const std::string& text) {
        return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    };
    const auto sendBody = [&](qint64 bytes) {
        for (ssize_t n = 0; bytes > 0; bytes -= n) {
            n = ::send(fd, buffer.data(), size_t(std::min<qint64>(bytes, qint64(buffer.size()))),
                       MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            move(n);
        }
        return true;
    };

    for (bool open = true; open;) {
        const size_t end = in.find("\r\n\r\n");
        if (end == std::string::npos) {
            open = receive();
            continue;
        }
        const std::string head = in.substr(0, end);
        in.erase(0, end + 4);
        if (head.starts_with("GET /portal ")) {
            // The captive portal's sign-in page, where its redirects lead: a
            // client that followed one would be answered as if measured.
            const std::string page = "<html><body>Sign in</body></html>";
            open = send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                        std::to_string(page.size()) + "\r\n\r\n" + page);
            continue;
        }
        up = head.starts_with("POST /__up");
        const size_t bytesAt = head.find("bytes="), lengthAt = head.find("\r\nContent-Length:");
        const qint64 bytes = bytesAt == std::string::npos ? 0 : std::atoll(head.c_str() + bytesAt + 6);
        const qint64 length = lengthAt == std::string::npos ? 0 : std::atoll(head.c_str() + lengthAt + 17);
        const Kind kind = up ? Kind::upload : bytes == 0 ? Kind::latency : Kind::download;
        const std::string ok =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(up ? 0 : bytes) + "\r\n\r\n";
        open = false;
        left = kind == Kind::latency ? 0 : up ? length : bytes;
        const Behaviour behaviour = take(kind, id, head, left);
        if (kind == Kind::latency && behaviour != Behaviour::stall)
            std::this_thread::sleep_for(latencyWait());
        switch (behaviour) {
        case Behaviour::normal:
            open = up ? drain(length) && send(ok) : send(ok) && sendBody(bytes);
            break;
        case Behaviour::stall: {
            pollfd closed{fd, POLLRDHUP, 0}; // an upload's body is left unread
            ::poll(&closed, 1, -1);
            break;
        }
        case Behaviour::drop:
            if (up)
                drain(length / 2);
            else if (send(ok))
                sendBody(bytes / 2);
            break;
        case Behaviour::error: {
            // A refusing server, or a network answering everything itself (a
            // captive portal): a status and a small page; a redirect has no body.
            const int status = errorStatus_;
            const bool redirect = status / 100 == 3;
            const std::string page =
                redirect ? "" : "<html><body>" + std::string(2000, '.') + "</body></html>";
            // An upload's answer goes before its body is read, as servers do; the
            // body is then read, so that no reset cuts the answer off.
            const std::string answer =
                "HTTP/1.1 " + std::to_string(status) + " Answer\r\nContent-Type: text/html\r\n" +
                (redirect ? "Location: /portal\r\n" : "") + "Content-Length: " + std::to_string(page.size()) +
                "\r\nConnection: close\r\n\r\n" + page;
            if (send(answer) && up)
                drain(length);
            break;
        }
        case Behaviour::close:
            break;
        }
        moved(up ? Kind::upload : Kind::download, left); // a transfer cut short moves no more
        std::lock_guard lock(mutex_);
        stats_.openStreams -= kind != Kind::latency;
        stats_.latencyAnswers += kind == Kind::latency && behaviour == Behaviour::normal && open;
    }
    std::lock_guard lock(mutex_);
    open_.erase(fd);
    ::close(fd);
}

} // namespace ondrel::testing
