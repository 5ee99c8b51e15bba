#include "app/DebugLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace ondrel;

class TestDebugLog : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    static QStringList linesOf(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private Q_SLOTS:
    void cleanup() { qunsetenv("ONDREL_LOG"); }

    void createsThenAppends()
    {
        const QString path = dir_.filePath(QStringLiteral("log.txt"));
        qputenv("ONDREL_LOG", path.toUtf8());
        debugLog(QStringLiteral("task 開始 status=3 enabled=true"));
        debugLog(QStringLiteral("second"));
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 2);
        static const QRegularExpression stamp(
            QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000 task 開始 status=3 enabled=true$)"));
        QVERIFY2(stamp.match(lines[0]).hasMatch(), qPrintable(lines[0]));
        QVERIFY(lines[1].endsWith(QStringLiteral(" +0000 second")));
    }

    void appendsToAnExistingFile()
    {
        const QString path = dir_.filePath(QStringLiteral("existing.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier\n");
        file.close();
        qputenv("ONDREL_LOG", path.toUtf8());
        debugLog(QStringLiteral("later"));
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("earlier"));
    }

    void unsetOrUnusableDoesNothing()
    {
        const QStringList before = QDir(dir_.path()).entryList(QDir::Files);
        debugLog(QStringLiteral("unset"));
        qputenv("ONDREL_LOG", dir_.filePath(QStringLiteral("missing/folder/log.txt")).toUtf8());
        debugLog(QStringLiteral("no folder"));
        qputenv("ONDREL_LOG", dir_.path().toUtf8()); // a folder, not a file
        debugLog(QStringLiteral("folder"));
        qputenv("ONDREL_LOG", QByteArray());
        debugLog(QStringLiteral("empty path"));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), before);
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("missing"))));
    }

    void concurrentLinesStayWhole()
    {
        const QString path = dir_.filePath(QStringLiteral("threads.txt"));
        qputenv("ONDREL_LOG", path.toUtf8());
        const QString payload(200, u'x');
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t, &payload] {
                for (int i = 0; i < 50; ++i)
                    debugLog(QStringLiteral("thread %1 line %2 %3").arg(t).arg(i).arg(payload));
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.size(), 200);
        for (const QString& line : lines)
            QVERIFY2(line.endsWith(payload) && line.count(QStringLiteral("thread")) == 1, qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
