#pragma once

#include <QByteArray>

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

namespace ondrel::testing {

// A speed-measurement server on 127.0.0.1 for tests and benchmarks:
// "/__down?bytes=N" sends N body bytes, "/__up" reads the body and answers
// empty. One poll loop on a thread of its own serves keep-alive connections;
// one token bucket can pace all of them together. Setters take effect
// before they return.
class SpeedTestServer {
public:
    enum class Kind { latency, download, upload }; // "/__down?bytes=0" is latency
    enum class Behaviour {
        normal,
        stall, // read the request, never answer
        drop,  // latency: close at once; transfers: close after half the body
        error, // answer errorStatus() at once (3xx: a Location, no body); an upload's body is read, then
               // closed
        close, // close as soon as the request is read
    };

    struct Stats {
        std::array<qint64, 3> requests{};    // by Kind
        std::set<qint64> latencyConnections; // connections that served latency requests
        int openStreams = 0;                 // transfers (download/upload) in progress now
        qint64 expectHeaders = 0;            // requests that carried "Expect:"
    };

    SpeedTestServer();
    ~SpeedTestServer();
    SpeedTestServer(const SpeedTestServer&) = delete;
    SpeedTestServer& operator=(const SpeedTestServer&) = delete;

    // "http://127.0.0.1:PORT"
    QByteArray url() const;
    // Paces the body bytes of all connections together; 0 serves at full speed.
    void setRate(double mbps) { set(&Config::bytesPerSecond, mbps * 1e6 / 8); }
    void setBehaviour(Kind kind, Behaviour behaviour) { set(&Config::behaviours, size_t(kind), behaviour); }
    // Serves the next `count` requests of `kind` by their behaviour and stalls
    // the ones after; a negative count lifts the limit.
    void setAnswerLimit(Kind kind, int count) { set(&Config::answers, size_t(kind), std::max(count, -1)); }
    // The status of Behaviour::error's answers; 503 unless set.
    void setErrorStatus(int status) { set(&Config::errorStatus, status); }
    // Closes (or reopens, on the same port) the listening socket.
    void setRefusing(bool refusing) { set(&Config::refusing, refusing); }
    // Runs the server thread under the real-time FIFO policy, so that its
    // pacing holds on a busy machine. Returns whether that was allowed.
    bool raisePriority();

    Stats stats() const;

private:
    struct Connection;
    struct Config {
        double bytesPerSecond = 0;
        std::array<Behaviour, 3> behaviours{};
        std::array<int, 3> answers{-1, -1, -1};
        int errorStatus = 503;
        bool refusing = false;
        bool realtime = false;
    };

    void apply(const std::function<void(Config&)>& edit);
    template <typename T> void set(T Config::*member, T value)
    {
        apply([&](Config& c) { c.*member = value; });
    }
    template <typename T> void set(std::array<T, 3> Config::*member, size_t index, T value)
    {
        apply([&](Config& c) { (c.*member)[index] = value; });
    }
    void run();
    void openListener();
    bool startRequest(Connection& c);

    quint16 port_ = 0;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable applied_;
    Config config_;
    qint64 requested_ = 0, done_ = 0; // settings generations asked for and in force
    bool stopping_ = false;
    bool realtime_ = false;
    Stats stats_;
    std::thread thread_;
};

} // namespace ondrel::testing
