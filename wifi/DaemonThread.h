#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QThread;

namespace ondrel {

// What a D-Bus backend runs its daemon's objects on: a system-bus connection
// of its own (not the shared systemBus(), so that its lifetime is the
// backend's) and a thread on which the objects that watch the daemon (the
// copy of its state, the agent) live and answer. finish() deletes them on
// that thread, in the reverse order of adopt(), and ends both.
class DaemonThread {
public:
    // The connection is named "<name>-N", the thread "ondrel.<name>".
    explicit DaemonThread(const QString& name);
    ~DaemonThread();
    DaemonThread(const DaemonThread&) = delete;
    DaemonThread& operator=(const DaemonThread&) = delete;

    QString connectionName() const { return connectionName_; }

    // Takes `object` (no parent, made on this thread) to the daemon's thread
    // and has its start() run there.
    template <typename T> T* adopt(T* object)
    {
        moveHere(object);
        QMetaObject::invokeMethod(object, &T::start, Qt::QueuedConnection);
        return object;
    }

    void finish();

private:
    void moveHere(QObject* object);

    QString connectionName_;
    std::unique_ptr<QThread> thread_;
    std::vector<QObject*> objects_;
};

} // namespace ondrel
