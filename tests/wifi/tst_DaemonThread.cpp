// The daemon's thread: adopted objects start and are deleted on it, the last adopted first (a later object
// may use an earlier one until it goes), and finish() may be called again.

#include "wifi/DaemonThread.h"

#include <QMutex>
#include <QStringList>
#include <QTest>
#include <QThread>

using namespace ondrel;

namespace {

// What each object saw, and on which thread: "start A ondrel.test", "delete A ondrel.test".
QMutex mutex;
QStringList events;

void record(const QString& what)
{
    QMutexLocker lock(&mutex);
    events.append(what + QLatin1Char(' ') + QThread::currentThread()->objectName());
}

class Watcher : public QObject {
public:
    explicit Watcher(QString name) : name_(std::move(name)) {}
    ~Watcher() override { record(QStringLiteral("delete ") + name_); }
    void start() { record(QStringLiteral("start ") + name_); }

private:
    QString name_;
};

} // namespace

class DaemonThreadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void adoptedObjectsLiveAndDieOnIt()
    {
        DaemonThread daemon(QStringLiteral("test"));
        QVERIFY(daemon.connectionName().startsWith(QStringLiteral("ondrel-test-")));
        for (const char* name : {"A", "B", "C"})
            daemon.adopt(new Watcher(QString::fromLatin1(name)));
        // The starts were queued before the deletion, on the same thread.
        daemon.finish();
        daemon.finish();
        QCOMPARE(events,
                 (QStringList{"start A ondrel.test", "start B ondrel.test", "start C ondrel.test",
                              "delete C ondrel.test", "delete B ondrel.test", "delete A ondrel.test"}));
    }
};

QTEST_GUILESS_MAIN(DaemonThreadTest)

#include "tst_DaemonThread.moc"
