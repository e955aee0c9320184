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
    void wordsAndFloats_data();
    void wordsAndFloats();
    void concField_data();
    void concField();
    void writeToxicFrame_data();
    void writeToxicFrame();
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

void TstServiceCommands::wordsAndFloats_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("swapped");
    QTest::addColumn<float>("value");
    QTest::newRow("1.0") << QByteArray("\x3F\x80\x00\x00", 4) << 0x803F << 1.0f;
    QTest::newRow("-3.0") << QByteArray("\xC0\x40\x00\x00", 4) << 0x40C0 << -3.0f;
    QTest::newRow("0.5") << QByteArray("\x3F\x00\x00\x00", 4) << 0x003F << 0.5f;
    QTest::newRow("-1.2") << QByteArray("\xBF\x99\x99\x9A", 4) << 0x99BF << -1.2f;
}

void TstServiceCommands::wordsAndFloats() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, swapped);
    QFETCH(float, value);
    QCOMPARE(ReadBeFloat(bytes.constData()), value);
    const quint16 first = quint16(uchar(bytes[0]) | uchar(bytes[1]) << 8);
    QCOMPARE(SwapWord(first), quint16(uchar(bytes[0]) << 8 | uchar(bytes[1])));
    QCOMPARE(SwapWord(quint16(uchar(bytes[0]) << 8 | uchar(bytes[1]))), quint16(swapped));
}

void TstServiceCommands::concField_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<float>("offset");
    QTest::newRow("12, 1 decimal") << QByteArray("   12") << 1 << true << 12 << 1 << -1.2f;
    QTest::newRow("-0005, 2 decimals") << QByteArray("-0005") << 1 << true << -5 << 2 << 0.05f;
    QTest::newRow("0") << QByteArray("    0") << 1 << true << 0 << 1 << 0.0f;
    QTest::newRow("3, 0 decimals") << QByteArray("    3") << 1 << true << 3 << 0 << -3.0f;
    QTest::newRow("50-byte reply") << QByteArray("  +17") << 9 << true << 17 << 1 << -1.7f;
    QTest::newRow("blank") << QByteArray("     ") << 1 << false << 0 << 0 << 0.0f;
    QTest::newRow("blank inside") << QByteArray("  1 2") << 1 << false << 0 << 0 << 0.0f;
    QTest::newRow("letters") << QByteArray("  1E2") << 1 << false << 0 << 0 << 0.0f;
    QTest::newRow("sign alone") << QByteArray("    -") << 1 << false << 0 << 0 << 0.0f;
    QTest::newRow("two signs") << QByteArray("  --1") << 1 << false << 0 << 0 << 0.0f;
    QTest::newRow("reply cut short") << QByteArray("   1") << -1 << false << 0 << 0 << 0.0f;
}

void TstServiceCommands::concField() {
    QFETCH(QByteArray, field);
    QFETCH(int, extra);
    QFETCH(bool, valid);
    QFETCH(int, value);
    QFETCH(int, digits);
    QFETCH(float, offset);
    QByteArray reply = QByteArray(36, 'x') + field;
    if (extra > 0)
        reply += QByteArray(extra, '\r');
    int got = 12345;
    QCOMPARE(ConcFromReply(reply, &got), valid);
    if (!valid) {
        QCOMPARE(got, 12345);
        return;
    }
    QCOMPARE(got, value);
    QCOMPARE(ZeroOffsetFor(got, digits), offset);
}

void TstServiceCommands::writeToxicFrame_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("26") << 26 << QByteArray("#1AWRTOXIC");
    QTest::newRow("171") << 171 << QByteArray("#ABWRTOXIC");
    QTest::newRow("2") << 2 << QByteArray("#02WRTOXIC");
}

// A block of 1.0 floats with a zero offset of 0.5, zeroed at a reading of 3:
// read from the wire, changed in the offset alone, written back.
void TstServiceCommands::writeToxicFrame() {
    QFETCH(int, address);
    QFETCH(QByteArray, head);
    QByteArray wire("\x12\x34\xAB\xCD", 4);
    for (int i = 0; i < 17; ++i)
        wire += i == ToxicZeroOffset ? QByteArray("\x3F\x00\x00\x00", 4)
                                     : QByteArray("\x3F\x80\x00\x00", 4);
    QCOMPARE(wire.size(), ToxicBlockSize);
    ToxicParamBlock block = ToxicBlockFromWire(wire.constData());
    QCOMPARE(block.words[0], quint16(0x1234));
    QCOMPARE(block.words[1], quint16(0xABCD));
    QCOMPARE(block.floats[ToxicZeroOffset], 0.5f);
    QCOMPARE(ToxicBlockToWire(block), wire);

    block.floats[ToxicZeroOffset] = ZeroOffsetFor(3, 0);
    const QByteArray frame = WriteToxicFrame(quint8(address), block);
    QCOMPARE(frame.size(), 85);
    QCOMPARE(frame.left(10), head);
    QCOMPARE(frame.back(), '\x0D');
    QByteArray expected = wire;
    expected.replace(4 + 4 * ToxicZeroOffset, 4, QByteArray("\xC0\x40\x00\x00", 4));
    QCOMPARE(frame.mid(10, 72), expected);
    int sum = 0;
    for (int i = 10; i <= 81; ++i)
        sum += uchar(frame[i]);
    QCOMPARE(uchar(frame[82]) << 8 | uchar(frame[83]), sum & 0xFFFF);
    QCOMPARE(ParamChecksum(frame.constData() + 10), quint16(sum));
    QVERIFY(ParamChecksum(wire.constData()) != quint16(sum));
}

QTEST_GUILESS_MAIN(TstServiceCommands)
#include "tst_servicecommands.moc"
