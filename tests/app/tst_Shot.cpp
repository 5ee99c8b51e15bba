// "--shot" as a process: the main window rendered to a PNG of the written
// size, the one line on standard output, and the statuses.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runOndrel(const QStringList& args, const QString& scenario, const QTemporaryDir& home)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the mode picks the off-screen platform itself
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("ONDREL_WIFI_SIMULATION"), scenario);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("ONDREL_BINARY"), args);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QString demoScenario()
{
    return qEnvironmentVariable("ONDREL_SOURCE_DIR") + QStringLiteral("/resources/scenarios/demo.json");
}

} // namespace

class TestShot : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mainWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("ja") << "ja";
        QTest::newRow("en") << "en";
        QTest::newRow("ar") << "ar";
    }
    void mainWindow()
    {
        QFETCH(QString, language);
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("main.png"));
        const Run run = runOndrel({"--lang", language, "--shot", path}, demoScenario(), home);
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("書き出しました: %1\n").arg(path));
        const QImage image(path);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSize(860, 620));
        // An opaque window background, not a transparent hole.
        QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2).alpha(), 255);
        QCOMPARE(image.pixelColor(1, image.height() / 2).alpha(), 255);
    }

    void relativePath()
    {
        QTemporaryDir home;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(home.path());
        const Run run = runOndrel({"--shot", "relative.png"}, demoScenario(), home);
        QDir::setCurrent(previous);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray("書き出しました: relative.png\n"));
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("relative.png"))));
    }

    void unwritablePathIsReported()
    {
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("missing/folder/main.png"));
        const Run run = runOndrel({"--shot", path}, demoScenario(), home);
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains("書き出せませんでした: "), run.err.constData());
        QVERIFY(!QFile::exists(path));
    }

    void existingFileIsReplaced()
    {
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("main.png"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("not a picture");
        }
        const Run run = runOndrel({"--shot", path}, demoScenario(), home);
        QCOMPARE(run.status, 0);
        QCOMPARE(QImage(path).size(), QSize(860, 620));
    }
};

QTEST_GUILESS_MAIN(TestShot)
#include "tst_Shot.moc"
