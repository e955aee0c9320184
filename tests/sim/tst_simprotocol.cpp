#include "SimProtocol.h"

#include <QTest>

using namespace SimProtocol;

class TstSimProtocol : public QObject {
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void requestLength_data();
    void requestLength();
    void lineWord_data();
    void lineWord();
    void refusedLineWords_data();
    void refusedLineWords();
    void addressForms_data();
    void addressForms();
    void serviceCommands_data();
    void serviceCommands();
};

void TstSimProtocol::crc_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("block read of detector 1") << QByteArray::fromHex("0103000000130407");
    QTest::newRow("example of the serial-line standard") << QByteArray::fromHex("02074112");
    QTest::newRow("exception reply") << QByteArray::fromHex("0583028130");
}

void TstSimProtocol::crc() {
    QFETCH(QByteArray, frame);
    QCOMPARE(withCrc(frame.chopped(2)), frame);
    QVERIFY(crcValid(frame));
    QByteArray damaged = frame;
    damaged[1] = char(damaged[1] ^ 0x01);
    QVERIFY(!crcValid(damaged));
}

void TstSimProtocol::requestLength_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("length");
    QTest::newRow("address only") << QByteArray::fromHex("05") << 0;
    QTest::newRow("read holding") << QByteArray::fromHex("0503") << 8;
    QTest::newRow("write single") << QByteArray::fromHex("0506") << 8;
    QTest::newRow("read input") << QByteArray::fromHex("0504") << 8;
    QTest::newRow("report slave id") << QByteArray::fromHex("0511") << 4;
    QTest::newRow("write multiple, count not yet in") << QByteArray::fromHex("051000090001") << 0;
    QTest::newRow("write multiple, 2 data bytes") << QByteArray::fromHex("05100009000102") << 11;
    QTest::newRow("read/write multiple") << QByteArray::fromHex("0517000000010000000104") << 17;
    QTest::newRow("function without a length") << QByteArray::fromHex("0541") << -1;
}

void TstSimProtocol::requestLength() {
    QFETCH(QByteArray, head);
    QFETCH(int, length);
    QCOMPARE(SimProtocol::requestLength(head), length);
}

void TstSimProtocol::lineWord_data() {
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("5, 19200 odd 1") << 0x0555 << 5 << 19200 << int(SimParity::Odd) << 1;
    QTest::newRow("1, 19200 even 1") << 0x0165 << 1 << 19200 << int(SimParity::Even) << 1;
    QTest::newRow("247, 1200 none 2") << 0xF781 << 247 << 1200 << int(SimParity::None) << 2;
    QTest::newRow("26, 115200 even 2") << 0x1AA8 << 26 << 115200 << int(SimParity::Even) << 2;
}

void TstSimProtocol::lineWord() {
    QFETCH(int, word);
    QFETCH(int, address);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    int decodedAddress = 0;
    SimLine line;
    QVERIFY(decodeLine(quint16(word), &decodedAddress, &line));
    QCOMPARE(decodedAddress, address);
    QCOMPARE(line, (SimLine{baud, SimParity(parity), stopBits}));
    QCOMPARE(encodeLine(address, line), quint16(word));
}

void TstSimProtocol::refusedLineWords_data() {
    QTest::addColumn<int>("word");
    QTest::newRow("address 0") << 0x0065;
    QTest::newRow("address 248") << 0xF865;
    QTest::newRow("baud code 0") << 0x0560;
    QTest::newRow("baud code 9") << 0x0569;
    QTest::newRow("parity code 3") << 0x0575;
    QTest::newRow("stop-bit code 0") << 0x0525;
    QTest::newRow("stop-bit code 3") << 0x05E5;
}

void TstSimProtocol::refusedLineWords() {
    QFETCH(int, word);
    int address = -1;
    SimLine line{1, SimParity::Odd, 2};
    QVERIFY(!decodeLine(quint16(word), &address, &line));
    QCOMPARE(address, -1);
    QCOMPARE(line, (SimLine{1, SimParity::Odd, 2}));
}

void TstSimProtocol::addressForms_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("logForm");
    QTest::addColumn<QByteArray>("hexForm");
    QTest::newRow("5") << 5 << QByteArray("05") << QByteArray("05");
    QTest::newRow("26") << 26 << QByteArray("1:") << QByteArray("1A");
    QTest::newRow("171") << 171 << QByteArray(":;") << QByteArray("AB");
    QTest::newRow("247") << 247 << QByteArray("?7") << QByteArray("F7");
}

void TstSimProtocol::addressForms() {
    QFETCH(int, address);
    QFETCH(QByteArray, logForm);
    QFETCH(QByteArray, hexForm);
    QCOMPARE(logAddress(address), logForm);
    QCOMPARE(hexAddress(address), hexForm);
}

void TstSimProtocol::serviceCommands_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("command");
    const QByteArray block = QByteArray(20, 'x') + '\r' + QByteArray(51, 'y');
    const QByteArray writeToxic = "#1AWRTOXIC" + block + QByteArray::fromHex("0D0D") + '\r';
    QTest::newRow("log block 2") << QByteArray("#05RDLOG2\r") << 10 << int(ServiceCommand::ReadLog);
    QTest::newRow("log block, more to come") << QByteArray("#05RDLO") << 0 << -1;
    QTest::newRow("log erase") << QByteArray("#1:WRLOG\r") << 9 << int(ServiceCommand::EraseLog);
    QTest::newRow("back to Modbus")
        << QByteArray("MODBUS\r") << 7 << int(ServiceCommand::BackToModbus);
    QTest::newRow("back to Modbus and more")
        << QByteArray("MODBUS\rCONC?\r") << 7 << int(ServiceCommand::BackToModbus);
    QTest::newRow("sensor parameters")
        << QByteArray("RDTOXIC\r") << 8 << int(ServiceCommand::ReadToxic);
    QTest::newRow("concentration") << QByteArray("CONC?\r") << 6 << int(ServiceCommand::ReadConc);
    QTest::newRow("WRTOXIC with 0x0D in its block")
        << writeToxic << 85 << int(ServiceCommand::WriteToxic);
    QTest::newRow("WRTOXIC cut at its first 0x0D") << writeToxic.left(31) << 0 << -1;
    QTest::newRow("WR: log erase or WRTOXIC") << QByteArray("#05WR") << 0 << -1;
    QTest::newRow("WRTOXIC without its final CR") << writeToxic.chopped(1) + 'X' << -1 << -1;
    QTest::newRow("lower-case command") << QByteArray("modbus\r") << -1 << -1;
    QTest::newRow("a Modbus frame") << QByteArray::fromHex("0503000000130583") << -1 << -1;
}

void TstSimProtocol::serviceCommands() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);
    QFETCH(int, command);
    const ServiceMatch match = matchService(bytes);
    QCOMPARE(match.length, length);
    if (command >= 0)
        QCOMPARE(int(match.command), command);
}

QTEST_GUILESS_MAIN(TstSimProtocol)
#include "tst_simprotocol.moc"
