#include "ServiceCommands.h"

#include <QtTest>

using namespace kpx;

// The service-mode requests byte for byte: a wrong digit sends the command to
// another detector, or to none.
class TstServiceCommands : public QObject {
    Q_OBJECT
private slots:
    void addressDigits_data();
    void addressDigits();
    void readLogRequests_data();
    void readLogRequests();
    void eraseAndBackRequests();
};

void TstServiceCommands::addressDigits_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("logForm");
    QTest::addColumn<QByteArray>("hexForm");
    QTest::newRow("5") << 5 << QByteArray("05") << QByteArray("05");
    QTest::newRow("26") << 26 << QByteArray("1:") << QByteArray("1A");
    QTest::newRow("171") << 171 << QByteArray(":;") << QByteArray("AB");
    QTest::newRow("1") << 1 << QByteArray("01") << QByteArray("01");
    QTest::newRow("247") << 247 << QByteArray("?7") << QByteArray("F7");
    QTest::newRow("0xFF") << 255 << QByteArray("??") << QByteArray("FF");
}

void TstServiceCommands::addressDigits() {
    QFETCH(int, address);
    QFETCH(QByteArray, logForm);
    QFETCH(QByteArray, hexForm);
    QCOMPARE(LogAddressDigits(quint8(address)), logForm);
    QCOMPARE(HexAddressDigits(quint8(address)), hexForm);
}

void TstServiceCommands::readLogRequests_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("block");
    QTest::addColumn<QByteArray>("bytes");
    const char* const three[] = {"#03RDLOG0\r", "#03RDLOG1\r", "#03RDLOG2\r", "#03RDLOG3\r"};
    for (int n = 0; n < 4; ++n)
        QTest::addRow("3, block %d", n) << 3 << n << QByteArray(three[n]);
    QTest::newRow("26, block 2") << 26 << 2 << QByteArray("#1:RDLOG2\r");
}

void TstServiceCommands::readLogRequests() {
    QFETCH(int, address);
    QFETCH(int, block);
    QFETCH(QByteArray, bytes);
    const QByteArray request = ReadLogRequest(quint8(address), block);
    QCOMPARE(request, bytes);
    QCOMPARE(request.size(), 10);
    QCOMPARE(request.back(), '\x0D');
}

void TstServiceCommands::eraseAndBackRequests() {
    QCOMPARE(EraseLogRequest(3), QByteArray("#03WRLOG\x0D"));
    QCOMPARE(EraseLogRequest(3).size(), 9);
    QCOMPARE(EraseLogRequest(171), QByteArray("#:;WRLOG\r"));
    QCOMPARE(BackToModbusRequest(), QByteArray("MODBUS\x0D"));
    QCOMPARE(BackToModbusRequest().size(), 7);
}

QTEST_GUILESS_MAIN(TstServiceCommands)
#include "tst_servicecommands.moc"
