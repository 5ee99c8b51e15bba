#include "wifi/WiFiEngine.h"

#include "wifi/WiFiBackend.h"
#include "wifi/simulation/SimulatedBackend.h"

#include <QCoreApplication>
#include <QThread>

#include <future>

namespace ondrel {

WiFiEngine& WiFiEngine::shared()
{
    // Never destroyed: the worker may still be busy when the process ends.
    static WiFiEngine* const engine = new WiFiEngine(createDefaultBackend());
    return *engine;
}

std::unique_ptr<WiFiBackend> WiFiEngine::createDefaultBackend()
{
    if (std::optional<SimulationScenario> scenario = SimulationScenario::fromEnvironment())
        return std::make_unique<SimulatedBackend>(std::move(*scenario));
    return createSystemBackend();
}

WiFiEngine::WiFiEngine(std::unique_ptr<WiFiBackend> backend) : backend_(std::move(backend))
{
    worker_ = QThread::create([this] { workerLoop(); });
    worker_->setObjectName(QStringLiteral("ondrel.wifi"));
    worker_->start();
}

WiFiEngine::~WiFiEngine()
{
    std::deque<Job> abandoned;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        abandoned.swap(jobs_);
    }
    wake_.notify_all();
    backend_->cancel();
    worker_->wait();
    delete worker_;
    for (Job& job : abandoned) {
        if (job.abandon)
            job.abandon();
    }
}

void WiFiEngine::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void WiFiEngine::submit(Job job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WiFiEngine::workerLoop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.run();
    }
}

void WiFiEngine::waitUntilIdle()
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    submit({[done] { done->set_value(); }, [done] { done->set_value(); }});
    finished.wait();
}

void WiFiEngine::setBackendForTesting(std::unique_ptr<WiFiBackend> backend)
{
    waitUntilIdle();
    // The worker is idle and only this thread submits, so nothing else
    // touches the backend or the cache now.
    backend_ = std::move(backend);
    cache_.clear();
}

WiFiEngine::Status WiFiEngine::currentStatus() const
{
    Status status;
    if (!backend_->hasInterface())
        return status;
    const Association association = backend_->currentAssociation();
    status.hasInterface = true;
    status.band = association.channel ? bandFromCode(association.channel->bandCode) : Band::unknown;
    status.poweredOn = backend_->isPoweredOn();
    status.ssid = association.ssid;
    status.bssid = association.bssid;
    status.rssi = association.rssi;
    status.noise = association.noise;
    status.txRate = association.txRate;
    status.channel = association.channel ? association.channel->number : 0;
    status.rssiSource = association.rssiSource;
    status.noiseSource = association.noiseSource;
    return status;
}

QSet<QByteArray> WiFiEngine::savedSsids() const
{
    QSet<QByteArray> ssids;
    if (!backend_->hasInterface())
        return ssids;
    for (const QByteArray& ssid : backend_->savedSsids()) {
        if (!ssid.isEmpty())
            ssids.insert(ssid);
    }
    return ssids;
}

std::optional<QString> WiFiEngine::interfaceName() const
{
    return backend_->hasInterface() ? backend_->interfaceName() : std::nullopt;
}

QString WiFiEngine::daemonName() const
{
    return backend_->daemonName();
}

void WiFiEngine::scan(ScanCompletion completion)
{
    submit({[this, completion] {
                WiFiBackend& backend = *backend_;
                if (!backend.hasInterface())
                    return post([completion] { completion({}, SystemError(WiFiError::noInterface)); });
                if (!backend.isPoweredOn())
                    return post([completion] { completion({}, SystemError(WiFiError::powerOff)); });
                ScanResult result = backend.scan();
                if (result.error)
                    return post([completion, error = *result.error] { completion({}, error); });

                QList<ScannedNetwork> networks;
                networks.reserve(result.accessPoints.size());
                QHash<QString, AccessPoint> cache;
                for (const AccessPoint& accessPoint : std::as_const(result.accessPoints)) {
                    ScannedNetwork network = ScannedNetwork::fromAccessPoint(accessPoint);
                    cache.insert(network.id(), accessPoint);
                    // The first access point seen of a name keeps the name entry.
                    if (network.ssid && !network.ssid->isEmpty() && !cache.contains(*network.ssid))
                        cache.insert(*network.ssid, accessPoint);
                    networks.append(std::move(network));
                }
                cache_ = std::move(cache);
                post([completion, networks = std::move(networks)] { completion(networks, std::nullopt); });
            },
            nullptr});
}

void WiFiEngine::connect(const QString& id, const std::optional<QString>& ssid,
                         const std::optional<QString>& password, ResultCompletion completion)
{
    submit({[this, id, ssid, password, completion] {
                WiFiBackend& backend = *backend_;
                if (!backend.hasInterface())
                    return post([completion] { completion(SystemError(WiFiError::noInterface)); });
                auto found = cache_.constFind(id);
                if (found == cache_.constEnd() && ssid)
                    found = cache_.constFind(*ssid);
                if (found == cache_.constEnd())
                    return post([completion] { completion(SystemError(WiFiError::gone)); });
                std::optional<SystemError> error = backend.join(*found, password);
                post([completion, error = std::move(error)] { completion(error); });
            },
            nullptr});
}

void WiFiEngine::connectHidden(const QByteArray& ssid, Security security,
                               const std::optional<QString>& password, ResultCompletion completion)
{
    submit({[this, ssid, security, password, completion] {
                WiFiBackend& backend = *backend_;
                if (!backend.hasInterface())
                    return post([completion] { completion(SystemError(WiFiError::noInterface)); });
                std::optional<SystemError> error = backend.joinHidden(ssid, security, password);
                post([completion, error = std::move(error)] { completion(error); });
            },
            nullptr});
}

void WiFiEngine::disconnect(DisconnectCompletion completion)
{
    submit({[this, completion] {
                if (backend_->hasInterface())
                    backend_->disconnect();
                post(completion);
            },
            [completion] { post(completion); }});
}

void WiFiEngine::setPower(bool on, ResultCompletion completion)
{
    submit({[this, on, completion] {
                WiFiBackend& backend = *backend_;
                if (!backend.hasInterface())
                    return post([completion] { completion(SystemError(WiFiError::noInterface)); });
                std::optional<SystemError> error = backend.setPower(on);
                post([completion, error = std::move(error)] { completion(error); });
            },
            [completion] { post([completion] { completion(SystemError(WiFiError::noInterface)); }); }});
}

} // namespace ondrel
