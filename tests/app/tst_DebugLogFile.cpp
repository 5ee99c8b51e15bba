#include "app/DebugLogFile.h"
#include "localization/DebugLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace ondrel;

class TestDebugLogFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase() { installDebugLogFile(); }

    void unusableOrUnsetWritesNothing()
    {
        QTest::ignoreMessage(QtWarningMsg, "not for the file"); // other messages go on to the handler before
        qWarning("not for the file");
        for (const QString& unusable : {dir_.filePath("missing/log.txt"), dir_.path(), QString()}) {
            qputenv("ONDREL_LOG", unusable.toUtf8());
            debugLog("lost");
        }
        QCOMPARE(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void concurrentLinesStayWhole()
    {
        QFile file(dir_.filePath("threads.txt"));
        qputenv("ONDREL_LOG", file.fileName().toUtf8());
        // Rules that silence standard error, as a distribution's qtlogging.ini may, leave the file alone.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
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
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 200);
        for (const QString& line : lines)
            QVERIFY2(line.endsWith(payload) && line.count(QStringLiteral("thread")) == 1, qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestDebugLogFile)
#include "tst_DebugLogFile.moc"
