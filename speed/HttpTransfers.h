#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ondrel {

class ByteCounter;

// The HTTP client of the speed test: libcurl's multi interface (its socket
// API) driven by a transfer thread of its own. Response bodies are counted
// into the ByteCounter as they arrive and dropped; upload bodies are counted
// as the peer acknowledges them (written minus still queued in the socket),
// so that megabytes sitting in socket buffers do not pass for throughput.
// Only exchanges answered with a 2xx status count: the body of any other
// answer (an error page, a redirect) is not read, and the upload bytes of a
// request answered so are taken back out of the counter.
// The object itself lives on the thread that created it (the main thread),
// where finished() is delivered.
//
// Connections: at most 8 per host, never two transfers on one connection at
// the same time (no HTTP/2 multiplexing), idle connections reused, TLS
// certificates and host names always verified, no cookies, redirects not
// followed (a 3xx answer is one outside 2xx like any other). A cancelled transfer aborts its connection
// (RST), so that nothing it queued keeps flowing afterwards.
class HttpTransfers : public QObject {
    Q_OBJECT
public:
    using Id = quint64;

    struct Request {
        QByteArray url;
        // POST with a body when set, GET otherwise: this block, repeated up
        // to `bodyLength` bytes when that is longer (a long upload from a
        // block small enough to stay in the processor's cache).
        std::shared_ptr<const QByteArray> body;
        qint64 bodyLength = 0;
        qint64 bodySize() const { return body ? std::max<qint64>(bodyLength, body->size()) : 0; }
        QByteArray contentType;
        // Latency requests: the whole request must finish within `timeout`.
        // Streams: the connection must be made, and some bytes must move,
        // within every `timeout`.
        std::chrono::milliseconds timeout{60'000};
        // A stream re-issues its request until cancelled: at once after a
        // successful one (on the connection it just used), after
        // `retryDelay` after a failed one or an error status.
        bool stream = false;
        std::chrono::milliseconds retryDelay{200};
    };

    struct Outcome {
        int curlCode = 0;                  // CURLcode, 0 when the exchange completed
        long httpStatus = 0;               // the answer's status code, 0 when none arrived
        QString detail;                    // libcurl's error text, empty when curlCode is 0
        std::chrono::microseconds time{0}; // from the transfer's start to its end

        // The exchange completed with a 2xx answer.
        bool succeeded() const { return curlCode == 0 && isSuccessStatus(httpStatus); }
    };

    static bool isSuccessStatus(long status) { return status >= 200 && status < 300; }

    explicit HttpTransfers(ByteCounter& counter, QObject* parent = nullptr);
    ~HttpTransfers() override;

    // Starts a transfer and returns its identifier. Thread-safe.
    Id start(Request request);
    // Stops one transfer (no finished() follows) or all of them.
    void cancel(Id id);
    void cancelAll();

Q_SIGNALS:
    // A one-shot request ended (successfully or not). Not emitted for
    // streams nor for cancelled transfers.
    void finished(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome);
    // One request of a stream ended; the stream goes on with the next (at
    // once after a success, after its retry delay otherwise). Not emitted
    // for cancelled transfers.
    void streamEnded(HttpTransfers::Id id, const HttpTransfers::Outcome& outcome);

private:
    struct Transfer;
    struct Command {
        enum Kind { add, remove, removeAll } kind;
        Id id = 0;
        Request request;
    };

    void run();
    void applyCommands(std::vector<Command>& commands);
    void addTransfer(Id id, Request request);
    void removeTransfer(Transfer* transfer);
    void handleDone(Transfer* transfer, int code);
    void restartDueStreams(std::chrono::steady_clock::time_point now);
    int pollTimeoutMs(std::chrono::steady_clock::time_point now) const;

    static size_t onWrite(char* data, size_t size, size_t count, void* user);
    static size_t onRead(char* buffer, size_t size, size_t count, void* user);
    static int onSeek(void* user, long long offset, int origin);
    static int onSocket(void* easy, int socket, int what, void* user, void* socketData);
    static int onTimer(void* multi, long timeoutMs, void* user);
    void wake();
    void countDelivered(Transfer& transfer, qint64 written);
    void refreshUploads(std::chrono::steady_clock::time_point now);

    ByteCounter& counter_;
    void* multi_ = nullptr; // CURLM*, touched by the transfer thread only after creation

    mutable std::mutex mutex_;
    std::vector<Command> commands_;
    bool stopping_ = false;
    Id nextId_ = 1;

    int wakeFd_ = -1; // eventfd that interrupts the transfer thread's poll

    // Transfer thread only.
    std::vector<std::unique_ptr<Transfer>> transfers_;
    // The sockets libcurl wants watched, with CURL_POLL_* interest.
    std::vector<std::pair<int, int>> sockets_;
    // When libcurl's timer fires; none while it has no timeout.
    std::optional<std::chrono::steady_clock::time_point> timerDue_;
    // When the acknowledged upload bytes are counted next.
    std::chrono::steady_clock::time_point nextUploadRefresh_{};

    std::thread thread_;
};

} // namespace ondrel
