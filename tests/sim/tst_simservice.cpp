#include "SimTestSupport.h"

#include <QSet>
#include <QTest>
#include <QtEndian>

#include <cstring>

using namespace SimProtocol;

// The ASCII service mode: log blocks, erase, the toxic sensor's zero, the way back.
class TstSimService : public QObject {
    Q_OBJECT
private slots:
    void init();
    void commands_data();
    void commands();
    void logBlocks_data();
    void logBlocks();
    void realisticLogHasEveryCode();
    void listensOnlyAtServiceSettings_data();
    void listensOnlyAtServiceSettings();
    void backToModbus();
    void toxicReplies_data();
    void toxicReplies();
    void toxicZero();
    void writeToxicRefused_data();
    void writeToxicRefused();
    void faults_data();
    void faults();

private:
    SimBus* m_bus = nullptr;
    QByteArray m_pattern;
};

void TstSimService::init() {
    delete m_bus;
    m_bus = new SimBus(this);
    m_bus->addDetector(methaneAt5());
    m_bus->addDetector(carbonMonoxideAt26());
    m_pattern.clear();
    for (int slot = 0; slot < SimDetector::LogSlots; ++slot)
        m_pattern.append(char(slot % 23)).append(char(slot & 0xFF));
    m_bus->detector(5)->setEventLog(m_pattern);
    QVERIFY(switchToService(*m_bus, 5));
    QVERIFY(switchToService(*m_bus, 26));
}

void TstSimService::commands_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("log erase") << 5 << QByteArray("#05WRLOG\r") << QByteArray("#05OK\r");
    QTest::newRow("log erase, address 26 in log form")
        << 26 << QByteArray("#1:WRLOG\r") << QByteArray("#1:OK\r");
    QTest::newRow("log erase, address 26 in hex form")
        << 26 << QByteArray("#1AWRLOG\r") << QByteArray();
    QTest::newRow("log erase, no such detector") << 5 << QByteArray("#06WRLOG\r") << QByteArray();
    QTest::newRow("log block 4") << 5 << QByteArray("#05RDLOG4\r") << QByteArray();
    QTest::newRow("sensor parameters of a combustible sensor")
        << 5 << QByteArray("RDTOXIC\r") << QByteArray();
    QTest::newRow("Modbus read in service mode")
        << 5 << QByteArray::fromHex("0503000000130583") << QByteArray();
}

void TstSimService::commands() {
    QFETCH(int, address);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    m_bus->detector(address == 5 ? 26 : 5)->restart(); // only the addressed one listens
    const SimDetector* addressed = m_bus->detector(address);
    const QByteArray before = addressed->eventLog();
    QCOMPARE(exchange(*m_bus, request, service9600N1, false), reply);
    const bool erased = reply.endsWith("OK\r");
    QCOMPARE(addressed->eventLog(), erased ? QByteArray(1024, '\0') : before);
}

void TstSimService::logBlocks_data() {
    QTest::addColumn<int>("block");
    for (int block = 0; block < 4; ++block)
        QTest::addRow("block %d", block) << block;
}

void TstSimService::logBlocks() {
    QFETCH(int, block);
    const QByteArray request = "#05RDLOG" + QByteArray::number(block) + "\r";
    const QByteArray reply = exchange(*m_bus, request, service9600N1, false);
    QCOMPARE(reply.size(), 264);
    QCOMPARE(reply.left(8), "#05LOG" + QByteArray::number(block) + ":");
    QCOMPARE(reply.mid(8), m_pattern.mid(256 * block, 256));
}

void TstSimService::realisticLogHasEveryCode() {
    SimDetectorConfig config = methaneAt5();
    config.emptyLog = false;
    const SimDetector detector(config);
    const QByteArray log = detector.eventLog();
    QSet<int> codes;
    int events = 0;
    for (int slot = 0; slot < SimDetector::LogSlots; ++slot) {
        const int code = quint8(log[2 * slot]);
        if (code == 0)
            break;
        codes.insert(code);
        ++events;
    }
    QVERIFY2(events >= 24 && events <= 60, qPrintable(QString::number(events)));
    for (int code = 1; code <= 22; ++code)
        QVERIFY2(codes.contains(code), qPrintable(QStringLiteral("code %1").arg(code)));
    QCOMPARE(codes.size(), 22);
}

void TstSimService::listensOnlyAtServiceSettings_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("heard");
    QTest::newRow("9600, 1 stop bit") << 9600 << 1 << true;
    QTest::newRow("9600, 2 stop bits") << 9600 << 2 << false;
    QTest::newRow("19200, 1 stop bit") << 19200 << 1 << false;
}

void TstSimService::listensOnlyAtServiceSettings() {
    QFETCH(int, baud);
    QFETCH(int, stopBits);
    QFETCH(bool, heard);
    const SimLine port{baud, SimParity::None, stopBits};
    QCOMPARE(exchange(*m_bus, "#05RDLOG0\r", port, false).size(), heard ? 264 : 0);
}

void TstSimService::backToModbus() {
    const QByteArray read = readRequest(5, 1, 2);
    QCOMPARE(exchange(*m_bus, read), QByteArray());
    m_bus->detector(26)->restart();
    QCOMPARE(exchange(*m_bus, "MODBUS\r", service9600N1, false), QByteArray("OK\r"));
    QVERIFY(!m_bus->detector(5)->inServiceMode());
    QCOMPARE(exchange(*m_bus, read), readReply(5, {0x008F, 0x6F3B}));
}

namespace {

float floatAt(const QByteArray& block, int index) {
    const quint32 bits = qFromBigEndian<quint32>(block.constData() + 4 + (index - 1) * 4);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void setFloat(QByteArray& block, int index, float value) {
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToBigEndian(bits, block.data() + 4 + (index - 1) * 4);
}

QByteArray writeToxicFrame(const QByteArray& address, const QByteArray& block, quint16 checksum) {
    QByteArray frame = "#" + address + "WRTOXIC" + block;
    frame.append(char(checksum >> 8)).append(char(checksum & 0xFF)).append('\r');
    return frame;
}

} // namespace

void TstSimService::toxicReplies_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    // Words 24 and 0xF728 (the gas, the identification's low half), floats 0.07, 0.0025,
    // zero offset 0, gain 1, 20, 1, -0.002, 1e-5, six zeros, 1, 50, -40; byte sum 0x0B5F.
    QTest::newRow("sensor parameters")
        << QByteArray("RDTOXIC\r")
        << QByteArray::fromHex(
               "544F5849430018F7283D8F5C293B23D70A000000003F80000041A000003F800000BB03126F3727C5AC"
               "0000000000000000000000000000000000000000000000003F80000042480000C22000000B5F");
    QTest::newRow("concentration")
        << QByteArray("CONC?\r") << QByteArray("T=+22.00 ZERO=+0000.0000 GAIN=1.0000    3\r");
}

void TstSimService::toxicReplies() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    m_bus->detector(5)->restart();
    QCOMPARE(exchange(*m_bus, request, service9600N1, false).toHex(), reply.toHex());
}

void TstSimService::toxicZero() {
    m_bus->detector(5)->restart();
    SimDetector* detector = m_bus->detector(26);
    QCOMPARE(detector->readRegister(6), quint16(3)); // 3 ppm of drift

    const QByteArray parameters = exchange(*m_bus, "RDTOXIC\r", service9600N1, false);
    QCOMPARE(parameters.size(), 79);
    QByteArray block = parameters.mid(5, 72);
    QCOMPARE(qFromBigEndian<quint16>(parameters.constData() + 77), byteSum(block));
    QCOMPARE(floatAt(block, 3), 0.0f);

    const QByteArray concentration = exchange(*m_bus, "CONC?\r", service9600N1, false);
    QCOMPARE(concentration.size(), 42);
    QCOMPARE(concentration.mid(36), QByteArray("    3\r"));

    setFloat(block, 3, -3.0f);
    block[2] = '\r'; // word 2 with a carriage return in it: the frame is found by its length
    block[3] = '\r';
    const QByteArray frame = writeToxicFrame("1A", block, byteSum(block));
    QCOMPARE(frame.size(), 85);
    QCOMPARE(exchange(*m_bus, frame, service9600N1, false), QByteArray("#1AOK\r"));
    QCOMPARE(detector->toxicBlock(), block);
    QCOMPARE(exchange(*m_bus, "MODBUS\r", service9600N1, false), QByteArray("OK\r"));
    QCOMPARE(detector->readRegister(6), quint16(0));
    QCOMPARE(exchange(*m_bus, readRequest(26, 6, 1)), readReply(26, {0}));
}

void TstSimService::writeToxicRefused_data() {
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("checksumError");
    QTest::newRow("bad checksum") << QByteArray("1A") << 1;
    QTest::newRow("other address") << QByteArray("1B") << 0;
    QTest::newRow("address in log form") << QByteArray("1:") << 0;
}

void TstSimService::writeToxicRefused() {
    QFETCH(QByteArray, address);
    QFETCH(int, checksumError);
    m_bus->detector(5)->restart();
    const SimDetector* detector = m_bus->detector(26);
    const QByteArray before = detector->toxicBlock();
    QByteArray block = before;
    setFloat(block, 3, -3.0f);
    const QByteArray frame =
        writeToxicFrame(address, block, quint16(byteSum(block) + checksumError));
    QCOMPARE(exchange(*m_bus, frame, service9600N1, false), QByteArray());
    QCOMPARE(detector->toxicBlock(), before);
    QCOMPARE(detector->readRegister(6), quint16(3));
}

void TstSimService::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("replySize");
    QTest::addColumn<bool>("stillInService");
    QTest::newRow("stays in service mode")
        << "stayInService" << 1 << QByteArray("MODBUS\r") << 3 << true;
    QTest::newRow("no MODBUS acknowledgement")
        << "noModbusAck" << 1 << QByteArray("MODBUS\r") << 0 << false;
    QTest::newRow("short log block 2")
        << "shortLogBlock" << 2 << QByteArray("#05RDLOG2\r") << 132 << true;
    QTest::newRow("short block 2, block 1 whole")
        << "shortLogBlock" << 2 << QByteArray("#05RDLOG1\r") << 264 << true;
    QTest::newRow("silent") << "silent" << 1 << QByteArray("MODBUS\r") << 0 << true;
}

void TstSimService::faults() {
    QFETCH(QString, fault);
    QFETCH(int, value);
    QFETCH(QByteArray, request);
    QFETCH(int, replySize);
    QFETCH(bool, stillInService);
    m_bus->detector(26)->restart();
    SimDetector* detector = m_bus->detector(5);
    QString error;
    QVERIFY2(simSetFault(detector->faults(), fault, value, &error), qPrintable(error));
    QCOMPARE(exchange(*m_bus, request, service9600N1, false).size(), replySize);
    QCOMPARE(detector->inServiceMode(), stillInService);
}

QTEST_GUILESS_MAIN(TstSimService)
#include "tst_simservice.moc"
