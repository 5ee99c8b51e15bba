#pragma once

#include <QByteArray>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace ondrel::bench {

// A speed-measurement server on 127.0.0.1 for the benchmarks:
// "/__down?bytes=N" sends N body bytes, "/__up" reads the body and answers
// empty. One poll loop on a thread of its own serves keep-alive connections;
// one token bucket paces the body bytes of all of them together. Setters
// take effect before they return.
//
// With a queue it stands for a link whose buffer is bloated: while bodies
// are on their way, an answer to a latency request ("/__down?bytes=0")
// waits for the body bytes queued ahead of it, which are what the transfers
// of each direction still have to move, up to the queue's size, at the pace.
class PacedSpeedServer {
public:
    PacedSpeedServer();
    ~PacedSpeedServer();
    PacedSpeedServer(const PacedSpeedServer&) = delete;
    PacedSpeedServer& operator=(const PacedSpeedServer&) = delete;

    // "http://127.0.0.1:PORT"
    QByteArray url() const;
    // Paces the body bytes of all connections together; 0 serves at full speed.
    void setRate(double mbps);
    // The queue ahead of the pace in each direction, in bytes; 0 (or no pace)
    // answers latency requests at once.
    void setQueue(qint64 bytes);
    // Runs the server thread under the real-time FIFO policy, so that its
    // pacing holds on a busy machine. Returns whether that was allowed.
    bool raisePriority();

private:
    struct Connection;
    // Runs `edit` under the lock and waits until the server thread took it up.
    template <typename Edit> void apply(Edit edit);
    void run();
    bool startRequest(Connection& c);

    quint16 port_ = 0;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::condition_variable applied_;
    double bytesPerSecond_ = 0;
    qint64 queueBytes_ = 0;
    bool realtimeWanted_ = false, realtime_ = false, stopping_ = false;
    qint64 requested_ = 0, done_ = 0; // settings generations asked for and in force
    std::thread thread_;
};

} // namespace ondrel::bench
