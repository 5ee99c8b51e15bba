#include "speed/SpeedFormat.h"

#include <QLocale>
#include <QTest>

using namespace ondrel;

class tst_SpeedFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mbpsText_data();
    void mbpsText();
    void megabytesText_data();
    void megabytesText();
};

void tst_SpeedFormat::mbpsText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("tie to even") << "en_US" << 8.25 << "8.2";
    QTest::newRow("one digit judged before rounding") << "en_US" << 99.96 << "100.0";
    QTest::newRow("no digit from 100") << "en_US" << 100.0 << "100";
    QTest::newRow("rounded") << "en_US" << 95.27 << "95.3";
    QTest::newRow("large") << "en_US" << 123.4 << "123";
    QTest::newRow("grouping, tie to even") << "en_US" << 1234.5 << "1,234";
    QTest::newRow("zero") << "en_US" << 0.0 << "0.0";
    QTest::newRow("German decimal mark") << "de_DE" << 8.25 << "8,2";
    QTest::newRow("German grouping") << "de_DE" << 2500.0 << "2.500";
    QTest::newRow("not a number") << "en_US" << qQNaN() << "0";
}

void tst_SpeedFormat::mbpsText()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(mbps(value), text);
}

void tst_SpeedFormat::megabytesText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("below half") << qint64(1'499'999) << "1";
    QTest::newRow("summary example") << qint64(345'678'901) << "346";
    QTest::newRow("tie to even") << qint64(2'500'000) << "2";
    QTest::newRow("grouped") << qint64(12'345'678'901) << "12,346";
    QTest::newRow("nothing") << qint64(0) << "0";
}

void tst_SpeedFormat::megabytesText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    QCOMPARE(megabytes(bytes), text);
}

QTEST_GUILESS_MAIN(tst_SpeedFormat)
#include "tst_SpeedFormat.moc"
