#pragma once

#include <QByteArray>

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace ondrel::testing {

// A speed-measurement server on 127.0.0.1: "/__down?bytes=N" sends N body
// bytes, "/__up" reads the body and answers empty. One poll loop on a thread
// of its own serves keep-alive connections. Setters take effect before they
// return.
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
        qint64 expectHeaders = 0;            // requests that carried "Expect:"
    };

    SpeedTestServer();
    ~SpeedTestServer();
    SpeedTestServer(const SpeedTestServer&) = delete;
    SpeedTestServer& operator=(const SpeedTestServer&) = delete;

    // "http://127.0.0.1:PORT"
    QByteArray url() const;
    void setBehaviour(Kind kind, Behaviour behaviour) { behaviours_[size_t(kind)] = behaviour; }
    // Serves the next `count` requests of `kind` by their behaviour and stalls
    // the ones after; a negative count lifts the limit.
    void setAnswerLimit(Kind kind, int count) { answers_[size_t(kind)] = count; }
    // The status of Behaviour::error's answers (3xx: with a Location, else a small page); 503 unless set.
    void setErrorStatus(int status) { errorStatus_ = status; }
    // Closes (or reopens, on the same port) the listening socket.
    void setRefusing(bool refusing);
    Stats stats() const;

private:
    struct Connection;
    void openListener();
    // Wakes the server thread and waits until it has taken up the settings.
    void sync(std::unique_lock<std::mutex>& lock);
    void run();
    void serve(Connection& c, short revents, std::string& buffer);
    bool startRequest(Connection& c);
    void endStream(Connection& c, bool close);

    quint16 port_ = 0;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable applied_;
    std::array<std::atomic<Behaviour>, 3> behaviours_{};
    std::array<std::atomic<int>, 3> answers_{-1, -1, -1};
    std::atomic<int> errorStatus_ = 503;
    bool refusing_ = false, stopping_ = false;
    qint64 requested_ = 0, done_ = 0; // settings generations asked for and in force
    Stats stats_;
    std::thread thread_;
};

} // namespace ondrel::testing
