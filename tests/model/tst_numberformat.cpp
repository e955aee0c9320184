#include "NumberFormat.h"

#include <QLocale>
#include <QtTest>

using namespace kpx;

class TstNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void fixedFormat_data();
    void fixedFormat();
    void generalFormat_data();
    void generalFormat();
    void localeSeparator_data();
    void localeSeparator();

private:
    QChar systemSeparator_;
};

// Before any test sets it, the separator is the system locale's.
void TstNumberFormat::initTestCase() {
    systemSeparator_ = DecimalSeparator();
    QCOMPARE(QString(systemSeparator_), QLocale::system().decimalPoint());
}

void TstNumberFormat::init() {
    SetDecimalSeparator(QLatin1Char('.'));
}

void TstNumberFormat::cleanupTestCase() {
    SetDecimalSeparator(systemSeparator_);
}

void TstNumberFormat::fixedFormat_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("d");
    QTest::addColumn<QString>("text");
    QTest::newRow("four digits, padded") << 123.456 << 2 << "123.50";
    QTest::newRow("one decimal") << 23.5 << 1 << "23.5";
    QTest::newRow("rounds to whole") << 19.79 << 0 << "20";
    QTest::newRow("zero") << 0.0 << 2 << "0.00";
    QTest::newRow("zero, no decimals") << 0.0 << 0 << "0";
    QTest::newRow("decimals cap small numbers") << 0.012345 << 3 << "0.012";
    QTest::newRow("digits cap decimals") << 1.23456 << 3 << "1.235";
    QTest::newRow("carry keeps four digits") << 9.9996 << 3 << "10.000";
    QTest::newRow("carry to four places") << 999.96 << 0 << "1000";
    QTest::newRow("carry to five places") << 9999.7 << 1 << "1E4";
    QTest::newRow("five places: general") << 12346.0 << 1 << "1.235E4";
    QTest::newRow("negative") << -2.5 << 1 << "-2.5";
    QTest::newRow("no negative zero") << -0.004 << 2 << "0.00";
    QTest::newRow("three decimals") << 0.1 << 3 << "0.100";
}

void TstNumberFormat::fixedFormat() {
    QFETCH(double, x);
    QFETCH(int, d);
    QTEST(fixed(x, d), "text");
}

void TstNumberFormat::generalFormat_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("p");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << 4 << "0";
    QTest::newRow("whole") << 4.0 << 4 << "4";
    QTest::newRow("trailing zeros kept before the point") << 1000.0 << 4 << "1000";
    QTest::newRow("two decimals") << 20.05 << 4 << "20.05";
    QTest::newRow("binary noise") << 0.1 + 0.2 << 4 << "0.3";
    QTest::newRow("negative") << -2.0 << 5 << "-2";
    QTest::newRow("rounded to p digits") << 1234.56 << 4 << "1235";
    QTest::newRow("too many digits before the point") << 123456.0 << 4 << "1.235E5";
    QTest::newRow("power of ten") << 10000.0 << 4 << "1E4";
    QTest::newRow("small but not tiny") << 0.0001 << 4 << "0.0001";
    QTest::newRow("smallest plain") << 0.00001 << 4 << "0.00001";
    QTest::newRow("tiny") << 0.000001234 << 4 << "1.234E-6";
    QTest::newRow("just below the limit") << 0.0000099999 << 4 << "1E-5";
    QTest::newRow("tiny negative") << -0.000001 << 4 << "-1E-6";
    QTest::newRow("temperature") << 23.45 << 5 << "23.45";
}

void TstNumberFormat::generalFormat() {
    QFETCH(double, x);
    QFETCH(int, p);
    QTEST(general(x, p), "text");
}

void TstNumberFormat::localeSeparator_data() {
    QTest::addColumn<bool>("isFixed");
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("text");
    QTest::newRow("fixed") << true << 23.5 << 1 << "23,5";
    QTest::newRow("fixed, padded after whole number") << true << 999.96 << 2 << "1000,00";
    QTest::newRow("general") << false << 20.05 << 4 << "20,05";
    QTest::newRow("exponent") << false << 0.00000125 << 4 << "1,25E-6";
}

void TstNumberFormat::localeSeparator() {
    QFETCH(bool, isFixed);
    QFETCH(double, x);
    QFETCH(int, digits);
    SetDecimalSeparator(QLatin1Char(','));
    QTEST(isFixed ? fixed(x, digits) : general(x, digits), "text");
}

QTEST_GUILESS_MAIN(TstNumberFormat)
#include "tst_numberformat.moc"
