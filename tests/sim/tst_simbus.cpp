#include "SimTestSupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using namespace SimProtocol;

// The line: frames found by length in a stream without gaps, line settings, collisions,
// the faults a detector shows on the line, wire timing and the traffic log.
class TstSimBus : public QObject {
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void incompleteFrameDroppedAfterPause();
    void lineSettings_data();
    void lineSettings();
    void faults_data();
    void faults();
    void dropEveryNthReply();
    void slowReply();
    void noiseBeforeReply_data();
    void noiseBeforeReply();
    void wireDelay_data();
    void wireDelay();
    void wireTimingDelaysReplies();
    void collision();
    void trafficLog();
};

namespace {
const QByteArray probe = QByteArray::fromHex("050300010002944F");
const QByteArray probeReply = QByteArray::fromHex("050304008F6F3BE23B");
const QByteArray commandRead = QByteArray::fromHex("0503006300017590");
const QByteArray commandReply = QByteArray::fromHex("05030200004984");
const QByteArray badProbe = QByteArray::fromHex("050300010002944E");
} // namespace

void TstSimBus::framing_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("reply");
    QList<QByteArray> bytes;
    for (const char byte : probe)
        bytes << QByteArray(1, byte);
    QTest::newRow("byte by byte") << bytes << probeReply;
    QTest::newRow("two requests in one write")
        << QList<QByteArray>{probe + commandRead} << probeReply + commandReply;
    QTest::newRow("garbage first")
        << QList<QByteArray>{QByteArray::fromHex("FFFF") + probe} << probeReply;
    QTest::newRow("bad CRC, then a request") << QList<QByteArray>{badProbe, probe} << probeReply;
    QTest::newRow("bad CRC and a request in one write")
        << QList<QByteArray>{badProbe + probe} << probeReply;
    QTest::newRow("start of a read, then a request")
        << QList<QByteArray>{QByteArray::fromHex("0503") + probe} << probeReply;
    QTest::newRow("function without a length, then a request")
        << QList<QByteArray>{QByteArray::fromHex("0541"), probe} << probeReply;
    QTest::newRow("write multiple to another detector, then a request")
        << QList<QByteArray>{QByteArray::fromHex("0610000900010200648112") + probe} << probeReply;
    QTest::newRow("read for another detector, then a request")
        << QList<QByteArray>{QByteArray::fromHex("06030000001305B0"), probe} << probeReply;
}

void TstSimBus::framing() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, reply);
    SimBus bus;
    bus.addDetector(methaneAt5());
    QByteArray sent;
    for (const QByteArray& chunk : chunks)
        sent += exchange(bus, chunk);
    QCOMPARE(sent.toHex(), reply.toHex());
}

void TstSimBus::incompleteFrameDroppedAfterPause() {
    SimBus bus;
    bus.addDetector(methaneAt5());
    QCOMPARE(exchange(bus, probe.left(5)), QByteArray());
    QTRY_VERIFY(!bus.traffic().isEmpty());
    QCOMPARE(bus.traffic().last().bytes, probe.left(5));
    QVERIFY(bus.traffic().last().note.contains(QLatin1String("dropped after a pause")));
    QCOMPARE(exchange(bus, probe), probeReply);
}

void TstSimBus::lineSettings_data() {
    QTest::addColumn<int>("detectorBaud");
    QTest::addColumn<int>("detectorParity");
    QTest::addColumn<int>("detectorStopBits");
    QTest::addColumn<int>("portBaud");
    QTest::addColumn<int>("portParity");
    QTest::addColumn<int>("portStopBits");
    QTest::addColumn<bool>("parityVisible");
    QTest::addColumn<bool>("answered");
    const int none = int(SimParity::None);
    const int odd = int(SimParity::Odd);
    const int even = int(SimParity::Even);
    QTest::newRow("same settings") << 19200 << even << 1 << 19200 << even << 1 << true << true;
    QTest::newRow("other baud rate") << 19200 << even << 1 << 9600 << even << 1 << true << false;
    QTest::newRow("two stop bits") << 19200 << even << 1 << 19200 << even << 2 << true << false;
    QTest::newRow("other parity, seen") << 19200 << even << 1 << 19200 << odd << 1 << true << false;
    QTest::newRow("other parity, not seen")
        << 19200 << even << 1 << 19200 << none << 1 << false << true;
    QTest::newRow("9600 none 2") << 9600 << none << 2 << 9600 << none << 2 << false << true;
}

void TstSimBus::lineSettings() {
    QFETCH(int, detectorBaud);
    QFETCH(int, detectorParity);
    QFETCH(int, detectorStopBits);
    QFETCH(int, portBaud);
    QFETCH(int, portParity);
    QFETCH(int, portStopBits);
    QFETCH(bool, parityVisible);
    QFETCH(bool, answered);
    SimDetectorConfig config = methaneAt5();
    config.line = SimLine{detectorBaud, SimParity(detectorParity), detectorStopBits};
    SimBus bus;
    bus.addDetector(config);
    const SimLine port{portBaud, SimParity(portParity), portStopBits};
    QCOMPARE(exchange(bus, probe, port, parityVisible), answered ? probeReply : QByteArray());
    if (!answered)
        QVERIFY(bus.traffic().last().note.startsWith(QLatin1String("no detector listens at")));
}

void TstSimBus::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("broken CRC") << "badCrc" << 1 << probe
                                << QByteArray::fromHex("050304008F6F3BE261");
    QTest::newRow("truncated") << "truncate" << 3 << probe << QByteArray::fromHex("050304008F6F");
    QTest::newRow("exception on a register read")
        << "exceptionRegister" << 2 << probe << QByteArray::fromHex("05830680F3");
    QTest::newRow("exception on other registers: none")
        << "exceptionRegister" << 9 << probe << probeReply;
    QTest::newRow("exception on a register written")
        << "exceptionRegister" << 9 << QByteArray::fromHex("05060009006459A7")
        << QByteArray::fromHex("05860683A3");
    QTest::newRow("noise before the reply")
        << "noiseBytes" << 2 << probe << QByteArray::fromHex("0000") + probeReply;
    QTest::newRow("silent, write not done")
        << "silent" << 1 << QByteArray::fromHex("05060009006459A7") << QByteArray();
}

void TstSimBus::faults() {
    QFETCH(QString, fault);
    QFETCH(int, value);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    SimBus bus;
    SimDetector* detector = bus.addDetector(methaneAt5());
    QString error;
    QVERIFY(simSetFault(detector->faults(), fault, value, &error));
    QVERIFY(simSetFault(detector->faults(), QStringLiteral("exceptionCode"), 6, &error));
    QCOMPARE(exchange(bus, request).toHex(), reply.toHex());
    if (reply.isEmpty() || (quint8(reply[1]) & 0x80))
        QCOMPARE(detector->readRegister(9), quint16(200));
}

void TstSimBus::dropEveryNthReply() {
    SimBus bus;
    bus.addDetector(methaneAt5())->faults().dropEvery = 3;
    QList<bool> answered;
    for (int i = 0; i < 6; ++i)
        answered << !exchange(bus, probe).isEmpty();
    QCOMPARE(answered, (QList<bool>{true, true, false, true, true, false}));
    QCOMPARE(bus.traffic().last().direction, SimTraffic::Event);
    QVERIFY(bus.traffic().last().note.contains(QLatin1String("lost")));
}

void TstSimBus::slowReply() {
    SimBus bus;
    bus.addDetector(methaneAt5())->faults().slowMs = 150;
    QByteArray sent;
    connect(&bus, &SimBus::transmitted, this, [&sent](const QByteArray& bytes) { sent += bytes; });
    QElapsedTimer clock;
    clock.start();
    bus.receive(probe, tool19200E1, true);
    QVERIFY(sent.isEmpty());
    QTRY_COMPARE(sent, probeReply);
    QVERIFY(clock.elapsed() >= 140);
}

void TstSimBus::noiseBeforeReply_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("gapMs");
    QTest::newRow("one 0xFF, no gap") << 1 << 0xFF << 0;
    QTest::newRow("three zeros, 150 ms of silence") << 3 << 0x00 << 150;
    QTest::newRow("five random bytes, 150 ms of silence") << 5 << -1 << 150;
}

void TstSimBus::noiseBeforeReply() {
    QFETCH(int, count);
    QFETCH(int, value);
    QFETCH(int, gapMs);
    SimBus bus;
    SimDetector* detector = bus.addDetector(methaneAt5());
    QString error;
    QVERIFY(simSetFault(detector->faults(), QStringLiteral("noiseBytes"), count, &error));
    QVERIFY(simSetFault(detector->faults(), QStringLiteral("noiseValue"), value, &error));
    QVERIFY(simSetFault(detector->faults(), QStringLiteral("noiseGapMs"), gapMs, &error));
    QList<QByteArray> sent;
    connect(&bus, &SimBus::transmitted, this, [&sent](const QByteArray& bytes) { sent << bytes; });
    QElapsedTimer clock;
    clock.start();
    bus.receive(probe, tool19200E1, true);
    QCOMPARE(sent.size(), gapMs > 0 ? 1 : 2); // the noise leaves at once either way
    QCOMPARE(sent[0].size(), count);
    if (value >= 0)
        QCOMPARE(sent[0], QByteArray(count, char(value)));
    QTRY_COMPARE(sent.size(), 2);
    QCOMPARE(sent[1], probeReply);
    if (gapMs > 0)
        QVERIFY(clock.elapsed() >= gapMs - 10);
    const QList<SimTraffic> traffic = bus.traffic();
    QCOMPARE(traffic.size(), 3);
    QCOMPARE(traffic[1].note, QStringLiteral("noise before the reply"));
    QCOMPARE(traffic[2].bytes, probeReply);
}

void TstSimBus::wireDelay_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("requestBytes");
    QTest::addColumn<int>("replyBytes");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("probe at 19200 even 1") << 19200 << int(SimParity::Even) << 1 << 8 << 9 << 12;
    QTest::newRow("probe at 1200 none 1") << 1200 << int(SimParity::None) << 1 << 8 << 9 << 171;
    QTest::newRow("block at 115200: turnaround of 1.75 ms")
        << 115200 << int(SimParity::Even) << 1 << 8 << 43 << 7;
    QTest::newRow("log block at 9600") << 9600 << int(SimParity::None) << 1 << 10 << 264 << 290;
    QTest::newRow("echo at 9600 none 2") << 9600 << int(SimParity::None) << 2 << 8 << 8 << 23;
}

void TstSimBus::wireDelay() {
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, requestBytes);
    QFETCH(int, replyBytes);
    QFETCH(int, delayMs);
    QCOMPARE(
        SimBus::wireDelayMs(SimLine{baud, SimParity(parity), stopBits}, requestBytes, replyBytes),
        delayMs);
}

void TstSimBus::wireTimingDelaysReplies() {
    SimDetectorConfig config = methaneAt5();
    config.line = SimLine{1200, SimParity::None, 1};
    SimBus bus;
    bus.addDetector(config);
    bus.setWireTiming(true);
    QByteArray sent;
    connect(&bus, &SimBus::transmitted, this, [&sent](const QByteArray& bytes) { sent += bytes; });
    QElapsedTimer clock;
    clock.start();
    bus.receive(probe, config.line, true);
    QVERIFY(sent.isEmpty());
    QTRY_COMPARE(sent, probeReply);
    QVERIFY(clock.elapsed() >= 160);
}

void TstSimBus::collision() {
    SimBus bus;
    bus.addDetector(methaneAt5());
    SimDetectorConfig other = methaneAt5();
    other.address = 6;
    other.id = 9400124;
    bus.addDetector(other)->setRegister(0, 0x0565); // now at address 5 as well
    QCOMPARE(exchange(bus, probe), QByteArray::fromHex("050304008F6F38A239")); // both replies ANDed
    QVERIFY(!crcValid(QByteArray::fromHex("050304008F6F38A239")));
    QVERIFY(bus.traffic().last().note.contains(QLatin1String("collision")));
}

void TstSimBus::trafficLog() {
    SimBus bus;
    bus.addDetector(methaneAt5());
    exchange(bus, probe);
    exchange(bus, probe, SimLine{9600, SimParity::Even, 1});
    const QList<SimTraffic> traffic = bus.traffic();
    QCOMPARE(traffic.size(), 3);
    QCOMPARE(traffic[0].direction, SimTraffic::In);
    QCOMPARE(traffic[0].bytes, probe);
    QCOMPARE(traffic[1].direction, SimTraffic::Out);
    QCOMPARE(traffic[1].bytes, probeReply);
    const QRegularExpression line(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d TX 05 03 04 00 8F 6F 3B E2 3B$"));
    QVERIFY2(line.match(traffic[1].text()).hasMatch(), qPrintable(traffic[1].text()));
    QVERIFY2(traffic[2].text().endsWith(QLatin1String("  [no detector listens at 9600 E 1]")),
             qPrintable(traffic[2].text()));
    bus.clearTraffic();
    QVERIFY(bus.traffic().isEmpty());
}

QTEST_GUILESS_MAIN(TstSimBus)
#include "tst_simbus.moc"
