#include "speed/SpeedFormat.h"

#include <QLocale>
#include <QTest>

using namespace ondrel;

class tst_SpeedFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void figures_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("mbps");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("megabytes");
        QTest::newRow("tie to even") << "en_US" << 8.25 << "8.2" << qint64(2'500'000) << "2";
        QTest::newRow("one digit judged before rounding")
            << "en_US" << 99.96 << "100.0" << qint64(1'499'999) << "1";
        QTest::newRow("no digit from 100") << "en_US" << 100.0 << "100" << qint64(345'678'901) << "346";
        QTest::newRow("grouping, tie to even")
            << "en_US" << 1234.5 << "1,234" << qint64(12'345'678'901) << "12,346";
        QTest::newRow("zero") << "en_US" << 0.0 << "0.0" << qint64(0) << "0";
        QTest::newRow("German marks") << "de_DE" << 2500.0 << "2.500" << qint64(2'500'000'000) << "2.500";
        QTest::newRow("German decimal mark") << "de_DE" << 8.25 << "8,2" << qint64(0) << "0";
        QTest::newRow("not a number") << "en_US" << qQNaN() << "0" << qint64(0) << "0";
    }
    void figures()
    {
        QFETCH(QString, locale);
        QFETCH(double, mbps);
        QFETCH(QString, text);
        QFETCH(qint64, bytes);
        QFETCH(QString, megabytes);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(ondrel::mbps(mbps), text);
        QCOMPARE(ondrel::megabytes(bytes), megabytes);
    }
};

QTEST_GUILESS_MAIN(tst_SpeedFormat)
#include "tst_SpeedFormat.moc"
