#pragma once

#include <QByteArray>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

namespace ondrel::testing {

// A speed-measurement server on 127.0.0.1 for tests and benchmarks, serving
// "/__down?bytes=N" (N body bytes) and "/__up" (reads the body, answers
// empty). It runs one poll loop on a thread of its own, serves any number of
// keep-alive connections at once, and can pace all of them together with one
// token bucket, refuse connections, stall, drop a transfer mid-body or answer
// with an error. Every setter takes effect before it returns.
class SpeedTestServer {
public:
    enum class Kind { latency, download, upload }; // "/__down?bytes=0" is latency
    enum class Behaviour {
        normal,
        stall, // read the request, never answer
        drop,  // latency: close at once; transfers: close after half the body
        error, // answer errorStatus() at once with a small page (3xx: a Location
               // elsewhere and no body); an upload's body is still read, then closed
        close, // close the connection as soon as the request is read
    };

    struct Stats {
        qint64 connections = 0;              // accepted since start
        std::array<qint64, 3> requests{};    // by Kind
        std::set<qint64> latencyConnections; // connections that served latency requests
        int openStreams = 0;                 // transfers (download/upload) in progress now
        int maxOpenStreams = 0;              // most at once since the last resetStats()
        qint64 expectHeaders = 0;            // requests that carried "Expect:"
        qint64 bodyBytesSent = 0;
        qint64 bodyBytesReceived = 0;
    };

    SpeedTestServer();
    ~SpeedTestServer();
    SpeedTestServer(const SpeedTestServer&) = delete;
    SpeedTestServer& operator=(const SpeedTestServer&) = delete;

    quint16 port() const { return port_; }
    // "http://127.0.0.1:PORT"
    QByteArray url() const;

    // Paces the body bytes of all connections together, both directions
    // counted alike; 0 serves as fast as possible.
    void setRate(double megabitsPerSecond);
    void setBehaviour(Kind kind, Behaviour behaviour);
    // The status of Behaviour::error's answers; 503 unless set.
    void setErrorStatus(int status);
    // Closes (or reopens, on the same port) the listening socket.
    void setRefusing(bool refusing);

    // Runs the server thread under the real-time FIFO policy, so that its
    // pacing holds on a busy machine. Returns whether that was allowed.
    bool raisePriority();

    Stats stats() const;
    void resetStats();

private:
    struct Connection;
    struct Config {
        double bytesPerSecond = 0;
        std::array<Behaviour, 3> behaviours{Behaviour::normal, Behaviour::normal, Behaviour::normal};
        bool refusing = false;
        int errorStatus = 503;
        bool realtime = false;
    };

    void apply(const std::function<void(Config&)>& edit);
    void run();
    bool openListener();

    quint16 port_ = 0;
    int listenFd_ = -1;
    int wakeFd_ = -1;

    mutable std::mutex mutex_;
    std::condition_variable applied_;
    Config config_;
    qint64 requestedGeneration_ = 0;
    qint64 appliedGeneration_ = 0;
    bool stopping_ = false;
    bool realtime_ = false; // the server thread runs under SCHED_FIFO
    Stats stats_;

    std::thread thread_;
};

} // namespace ondrel::testing
