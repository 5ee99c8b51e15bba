#pragma once

#include <QByteArray>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ondrel::testing {

// A speed-measurement server on 127.0.0.1: "/__down?bytes=N" sends N body
// bytes, "/__up" reads the body and answers empty, on keep-alive
// connections served by a thread each, and "/portal" a sign-in page, where
// Behaviour::error's redirects lead. Setters take effect at once.
//
// It can stand for a link with a bloated queue: latency answers wait a base
// round trip, and while transfers of a direction are under way, also for
// the bytes queued ahead of them: what those transfers still have to move,
// up to the queue's size, at the queue's rate.
class SpeedTestServer {
public:
    enum class Kind { latency, download, upload }; // "/__down?bytes=0" is latency
    enum class Behaviour {
        normal,
        stall, // read the request, never answer
        drop,  // send or read half the body, then close
        error, // answer the error status and close; an upload's body is read after the answer
        close, // close as soon as the request is read
    };

    struct Stats {
        std::array<qint64, 3> requests{};    // by Kind
        std::set<qint64> latencyConnections; // connections that served latency requests
        int openStreams = 0;                 // transfers (download/upload) in progress now
        qint64 latencyAnswers = 0;           // latency requests answered
        qint64 expectHeaders = 0;            // requests that carried "Expect:"
    };

    SpeedTestServer() { listen(); }
    ~SpeedTestServer();
    SpeedTestServer(const SpeedTestServer&) = delete;
    SpeedTestServer& operator=(const SpeedTestServer&) = delete;

    // "http://127.0.0.1:PORT"
    QByteArray url() const { return "http://127.0.0.1:" + QByteArray::number(port_); }
    void setBehaviour(Kind kind, Behaviour behaviour) { behaviours_[size_t(kind)] = behaviour; }
    // Serves the next `count` requests of `kind` by their behaviour and stalls
    // the ones after; a negative count lifts the limit.
    void setAnswerLimit(Kind kind, int count) { answers_[size_t(kind)] = count; }
    // The status of Behaviour::error's answers (3xx: with a Location, else a small page); 503 unless set.
    void setErrorStatus(int status) { errorStatus_ = status; }
    // Every latency answer waits `delay` (the idle round trip).
    void setLatencyDelay(std::chrono::milliseconds delay) { latencyDelay_ = delay; }
    // The queue of the link in `direction` (download or upload): `bytes` at
    // most, drained at `bytesPerSecond`.
    void setQueue(Kind direction, qint64 bytes, double bytesPerSecond);
    // How long a latency answer waits now.
    std::chrono::microseconds latencyWait() const;
    // Closes (or reopens, on the same port) the listening socket.
    void setRefusing(bool refusing);
    Stats stats() const;

private:
    void listen();
    void serve(int fd, qint64 id);
    // Counts a request and picks its behaviour; a transfer's `bytes` count as
    // still to move until moved() or finish() takes them off.
    Behaviour take(Kind kind, qint64 id, const std::string& head, qint64 bytes);
    void moved(Kind kind, qint64 bytes);

    quint16 port_ = 0;
    int listenFd_ = -1;
    std::thread acceptor_;
    std::array<std::atomic<Behaviour>, 3> behaviours_{};
    std::array<std::atomic<int>, 3> answers_{-1, -1, -1};
    std::atomic<int> errorStatus_ = 503;
    std::atomic<std::chrono::milliseconds> latencyDelay_{std::chrono::milliseconds(0)};
    mutable std::mutex mutex_;
    Stats stats_;
    struct Queue {
        qint64 bytes = 0;
        double bytesPerSecond = 0;
    };
    std::array<Queue, 3> queues_{};   // by the direction's Kind
    std::array<qint64, 3> pending_{}; // transfer bytes still to move, by Kind
    std::set<int> open_;              // the connections' sockets
    std::vector<std::thread> connections_;
};

} // namespace ondrel::testing
