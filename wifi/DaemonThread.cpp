#include "wifi/DaemonThread.h"

#include <QDBusConnection>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace ondrel {

DaemonThread::DaemonThread(const QString& name)
{
    static std::atomic<int> instances{0};
    connectionName_ = QStringLiteral("ondrel-%1-%2").arg(name).arg(instances++);
    QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName_);
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("ondrel.") + name);
    thread_->start();
}

DaemonThread::~DaemonThread()
{
    finish();
}

void DaemonThread::moveHere(QObject* object)
{
    object->moveToThread(thread_.get());
    objects_.push_back(object);
}

void DaemonThread::finish()
{
    if (!thread_)
        return;
    if (!objects_.empty()) {
        std::vector<QObject*> objects = std::move(objects_);
        QMetaObject::invokeMethod(
            objects.front(),
            [objects] {
                std::for_each(objects.rbegin(), objects.rend(), [](QObject* object) { delete object; });
            },
            Qt::BlockingQueuedConnection);
    }
    thread_->quit();
    thread_->wait();
    thread_.reset();
    QDBusConnection::disconnectFromBus(connectionName_);
}

} // namespace ondrel
