#include "speed/HttpTransfers.h"

#include "speed/ByteCounter.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ondrel {

namespace {

using Clock = std::chrono::steady_clock;

// Receive buffer per transfer. Large reads keep the number of system calls
// and callbacks low at loopback speeds.
constexpr long kReceiveBufferBytes = 512 * 1024;
// Upload buffer per transfer, libcurl's largest: every send() hands the
// kernel as much as it takes, and each one costs a wake-up of the peer and a
// pass through the network stack.
constexpr long kUploadBufferBytes = 2 * 1024 * 1024;
constexpr long kMaxConnectionsPerHost = 8;
// How often the acknowledged upload bytes are counted while uploads run.
constexpr std::chrono::milliseconds kUploadRefresh{5};

void initializeCurlOnce()
{
    static const bool initialized = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)initialized;
}

CURLM* asMulti(void* multi)
{
    return static_cast<CURLM*>(multi);
}

} // namespace

struct HttpTransfers::Transfer {
    HttpTransfers* owner = nullptr;
    Id id = 0;
    Request request;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    qint64 readOffset = 0;    // next body byte handed to libcurl
    qint64 countedUpload = 0; // body bytes already counted for this request
    bool active = false;      // added to the multi handle
    Clock::time_point restartAt{};
    curl_socket_t socket = CURL_SOCKET_BAD; // the connection's socket while active
    char error[CURL_ERROR_SIZE] = {};

    // The status code of the current request's answer, 0 until it arrives.
    long status() const
    {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
};

HttpTransfers::HttpTransfers(ByteCounter& counter, QObject* parent) : QObject(parent), counter_(counter)
{
    initializeCurlOnce();
    CURLM* multi = curl_multi_init();
    // One transfer per connection: with HTTP/2 libcurl would otherwise carry
    // every stream to the host over a single connection.
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, long(CURLPIPE_NOTHING));
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxConnectionsPerHost);
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &HttpTransfers::onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &HttpTransfers::onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    multi_ = multi;
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
}

HttpTransfers::~HttpTransfers()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    while (!transfers_.empty())
        removeTransfer(transfers_.back().get());
    curl_multi_cleanup(asMulti(multi_));
    ::close(wakeFd_);
}

void HttpTransfers::wake()
{
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

HttpTransfers::Id HttpTransfers::start(Request request)
{
    Id id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        commands_.push_back({Command::add, id, std::move(request)});
    }
    wake();
    return id;
}

void HttpTransfers::cancel(Id id)
{
    {
        std::lock_guard lock(mutex_);
        commands_.push_back({Command::remove, id, {}});
    }
    wake();
}

void HttpTransfers::cancelAll()
{
    {
        std::lock_guard lock(mutex_);
        commands_.push_back({Command::removeAll, 0, {}});
    }
    wake();
}

void HttpTransfers::run()
{
    CURLM* multi = asMulti(multi_);
    std::vector<Command> commands;
    std::vector<pollfd> fds;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            commands.swap(commands_);
        }
        applyCommands(commands);
        commands.clear();
        restartDueStreams(Clock::now());

        fds.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        for (const auto& [socket, what] : sockets_) {
            const short events =
                short(((what & CURL_POLL_IN) ? POLLIN : 0) | ((what & CURL_POLL_OUT) ? POLLOUT : 0));
            fds.push_back({socket, events, 0});
        }
        ::poll(fds.data(), fds.size(), pollTimeoutMs(Clock::now()));

        int running = 0;
        if (fds[0].revents & POLLIN) {
            uint64_t value;
            (void)!::read(wakeFd_, &value, sizeof value);
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            int mask = 0;
            if (fds[i].revents & (POLLIN | POLLHUP))
                mask |= CURL_CSELECT_IN;
            if (fds[i].revents & POLLOUT)
                mask |= CURL_CSELECT_OUT;
            if (fds[i].revents & (POLLERR | POLLNVAL))
                mask |= CURL_CSELECT_ERR;
            curl_multi_socket_action(multi, fds[i].fd, mask, &running);
        }
        if (timerDue_ && Clock::now() >= *timerDue_) {
            timerDue_.reset();
            curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
        }

        refreshUploads(Clock::now());
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            // Read the result before the handle goes: `message` dies with it.
            handleDone(transfer, message->data.result);
        }
    }
}

int HttpTransfers::onSocket(void* easy, int socket, int what, void* user, void*)
{
    auto* self = static_cast<HttpTransfers*>(user);
    auto& sockets = self->sockets_;
    auto it = std::find_if(sockets.begin(), sockets.end(),
                           [&](const auto& entry) { return entry.first == socket; });
    if (what == CURL_POLL_REMOVE) {
        if (it != sockets.end())
            sockets.erase(it);
    } else if (it != sockets.end()) {
        it->second = what;
    } else {
        sockets.emplace_back(socket, what);
    }
    Transfer* transfer = nullptr;
    if (curl_easy_getinfo(static_cast<CURL*>(easy), CURLINFO_PRIVATE, &transfer) == CURLE_OK && transfer)
        transfer->socket = what == CURL_POLL_REMOVE ? CURL_SOCKET_BAD : socket;
    return 0;
}

int HttpTransfers::onTimer(void*, long timeoutMs, void* user)
{
    auto* self = static_cast<HttpTransfers*>(user);
    if (timeoutMs < 0)
        self->timerDue_.reset();
    else
        self->timerDue_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void HttpTransfers::applyCommands(std::vector<Command>& commands)
{
    for (Command& command : commands) {
        switch (command.kind) {
        case Command::add:
            addTransfer(command.id, std::move(command.request));
            break;
        case Command::remove: {
            auto it = std::find_if(transfers_.begin(), transfers_.end(),
                                   [&](const auto& transfer) { return transfer->id == command.id; });
            if (it != transfers_.end())
                removeTransfer(it->get());
            break;
        }
        case Command::removeAll:
            while (!transfers_.empty())
                removeTransfer(transfers_.back().get());
            break;
        }
    }
}

void HttpTransfers::addTransfer(Id id, Request request)
{
    auto transfer = std::make_unique<Transfer>();
    transfer->owner = this;
    transfer->id = id;
    transfer->request = std::move(request);
    const Request& r = transfer->request;

    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, r.url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Ondrel/" ONDREL_VERSION);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->error);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpTransfers::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());

    const long timeoutMs = std::max<long>(1, long(r.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    if (r.stream) {
        // A stream may run for as long as the phase lasts; what must not
        // happen is a connection that stops moving bytes.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max<long>(1, timeoutMs / 1000));
    } else {
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
    }

    if (r.body) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.bodySize()));
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &HttpTransfers::onRead);
        curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &HttpTransfers::onSeek);
        curl_easy_setopt(easy, CURLOPT_SEEKDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
        if (!r.contentType.isEmpty())
            transfer->headers =
                curl_slist_append(transfer->headers, ("Content-Type: " + r.contentType).constData());
        // Without this libcurl announces large bodies with "Expect:
        // 100-continue" and may wait up to a second before sending them.
        transfer->headers = curl_slist_append(transfer->headers, "Expect:");
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        transfer->headers = curl_slist_append(transfer->headers, "Cache-Control: no-cache");
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);

    curl_multi_add_handle(asMulti(multi_), easy);
    transfer->active = true;
    transfers_.push_back(std::move(transfer));
}

void HttpTransfers::removeTransfer(Transfer* transfer)
{
    if (transfer->active) {
        if (transfer->socket != CURL_SOCKET_BAD) {
            // Abort rather than close: a graceful close would let the kernel
            // go on sending the megabytes still queued for an upload (and
            // the peer go on sending a download) after the transfer ended,
            // into whatever the connection is measured for next.
            const linger abort{1, 0};
            ::setsockopt(transfer->socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        curl_multi_remove_handle(asMulti(multi_), transfer->easy);
    }
    transfer->active = false;
    auto it = std::find_if(transfers_.begin(), transfers_.end(),
                           [&](const auto& owned) { return owned.get() == transfer; });
    transfers_.erase(it);
}

void HttpTransfers::handleDone(Transfer* transfer, int code)
{
    Outcome outcome;
    outcome.curlCode = code;
    outcome.httpStatus = transfer->status();
    if (code != CURLE_OK)
        outcome.detail =
            QString::fromUtf8(transfer->error[0] ? transfer->error : curl_easy_strerror(CURLcode(code)));
    curl_off_t micros = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_TOTAL_TIME_T, &micros);
    outcome.time = std::chrono::microseconds(micros);
    const bool completed = outcome.succeeded();
    if (transfer->request.body && completed) {
        // A success answer means the server has read the whole body.
        curl_off_t uploaded = 0;
        curl_easy_getinfo(transfer->easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        if (uploaded > transfer->countedUpload)
            counter_.add(uploaded - transfer->countedUpload);
        transfer->countedUpload = uploaded;
    } else if (outcome.httpStatus >= 300) {
        // The server refused what it was sent: none of it is throughput.
        counter_.add(-transfer->countedUpload);
        transfer->countedUpload = 0;
    }
    curl_multi_remove_handle(asMulti(multi_), transfer->easy);
    transfer->active = false;
    transfer->socket = CURL_SOCKET_BAD;
    const Id id = transfer->id;
    if (transfer->request.stream) {
        transfer->readOffset = 0;
        transfer->countedUpload = 0;
        // A stream that completed is followed at once by its next request;
        // one that failed, or that the server answered outside 2xx, waits
        // a little so that a refusing or overloaded server is not hammered.
        transfer->restartAt = completed ? Clock::time_point{} : Clock::now() + transfer->request.retryDelay;
        QMetaObject::invokeMethod(
            this, [this, id, outcome] { Q_EMIT streamEnded(id, outcome); }, Qt::QueuedConnection);
        return;
    }
    removeTransfer(transfer);
    QMetaObject::invokeMethod(
        this, [this, id, outcome] { Q_EMIT finished(id, outcome); }, Qt::QueuedConnection);
}

void HttpTransfers::restartDueStreams(Clock::time_point now)
{
    for (auto& transfer : transfers_) {
        if (transfer->active || now < transfer->restartAt)
            continue;
        transfer->error[0] = 0;
        curl_multi_add_handle(asMulti(multi_), transfer->easy);
        transfer->active = true;
    }
}

int HttpTransfers::pollTimeoutMs(Clock::time_point now) const
{
    int timeout = 1000;
    const bool uploading = std::any_of(transfers_.begin(), transfers_.end(), [](const auto& transfer) {
        return transfer->active && transfer->request.body;
    });
    if (uploading)
        timeout = int(kUploadRefresh.count());
    if (timerDue_)
        timeout = std::clamp(int(std::chrono::ceil<std::chrono::milliseconds>(*timerDue_ - now).count()), 0,
                             timeout);
    for (const auto& transfer : transfers_) {
        if (transfer->active)
            continue;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(transfer->restartAt - now).count();
        timeout = std::clamp(int(wait), 0, timeout);
    }
    return timeout;
}

size_t HttpTransfers::onWrite(char*, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    // An error page, a captive portal's answer or a redirect's body is not
    // test data: end the transfer (CURLE_WRITE_ERROR) instead of counting
    // it; the status says what happened.
    if (!isSuccessStatus(transfer->status()))
        return 0;
    transfer->owner->counter_.add(qint64(size * count));
    return size * count;
}

size_t HttpTransfers::onRead(char* buffer, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    // The body block over and over up to the body's length: a block that
    // stays in the processor's cache makes this copy cheap.
    const QByteArray& block = *transfer->request.body;
    const qint64 length = transfer->request.bodySize();
    qint64 room = std::min<qint64>(qint64(size * count), length - transfer->readOffset);
    const qint64 n = room;
    while (room > 0) {
        const qint64 at = transfer->readOffset % block.size();
        const qint64 piece = std::min(room, block.size() - at);
        std::memcpy(buffer, block.constData() + at, size_t(piece));
        buffer += piece;
        room -= piece;
        transfer->readOffset += piece;
    }
    return size_t(n);
}

int HttpTransfers::onSeek(void* user, long long offset, int origin)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (origin != SEEK_SET || offset < 0 || offset > transfer->request.bodySize())
        return CURL_SEEKFUNC_CANTSEEK;
    transfer->readOffset = offset;
    return CURL_SEEKFUNC_OK;
}

void HttpTransfers::countDelivered(Transfer& transfer, qint64 written)
{
    // Upload bytes count once the peer has acknowledged them: bytes written
    // to the connection minus those still queued in the socket. Counting at
    // the write would include whatever the socket buffers hold, megabytes on
    // a fast path, and overstate a slow link. Until libcurl names the
    // transfer's socket nothing is counted; the completion counts the rest.
    if (written <= transfer.countedUpload || transfer.socket == CURL_SOCKET_BAD)
        return;
    // Once the server has answered outside 2xx nothing more counts.
    if (transfer.status() >= 300)
        return;
    int queued = 0;
    if (::ioctl(transfer.socket, SIOCOUTQ, &queued) != 0)
        return;
    const qint64 delivered = written - queued;
    if (delivered > transfer.countedUpload) {
        counter_.add(delivered - transfer.countedUpload);
        transfer.countedUpload = delivered;
    }
}

void HttpTransfers::refreshUploads(Clock::time_point now)
{
    // What the peer acknowledged, every few milliseconds: often enough for
    // the 0.2 s samples, rarely enough that the system calls cost nothing
    // next to the transfer.
    if (now < nextUploadRefresh_)
        return;
    nextUploadRefresh_ = now + kUploadRefresh;
    for (auto& transfer : transfers_) {
        if (!transfer->active || !transfer->request.body)
            continue;
        curl_off_t written = 0;
        curl_easy_getinfo(transfer->easy, CURLINFO_SIZE_UPLOAD_T, &written);
        countDelivered(*transfer, written);
    }
}

} // namespace ondrel
