#include "SimTestSupport.h"

#include <QTest>

using namespace SimProtocol;

// The detector's Modbus side: frames, the rules of every writable register, and what
// the detector does with a reading.
class TstSimDetector : public QObject {
    Q_OBJECT
private slots:
    void modbusFrames_data();
    void modbusFrames();
    void writesTakeEffect_data();
    void writesTakeEffect();
    void statusKeepsDetectorBits_data();
    void statusKeepsDetectorBits();
    void unitChange_data();
    void unitChange();
    void gasChangeStartsFromFullScale();
    void calibration();
    void addressChangesAfterTheEcho();
    void lineChangesAfterTheEcho();
    void currentOutputSetup();
    void alarmsFollowTheReading_data();
    void alarmsFollowTheReading();
    void directRegisterAccess_data();
    void directRegisterAccess();
};

namespace {
QList<quint16> allRegisters(const SimDetector* detector) {
    QList<quint16> values;
    for (int reg = 0; reg < SimDetector::RegisterCount; ++reg)
        values << detector->readRegister(reg);
    return values;
}
} // namespace

void TstSimDetector::modbusFrames_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    const auto row = [](const char* name, const char* request, const char* reply) {
        QTest::newRow(name) << QByteArray::fromHex(request) << QByteArray::fromHex(reply);
    };
    const char* const refusedRead = "0583028130";
    const char* const refusedValue = "05860343A0";
    row("block read", "0503000000130583",
        "0503260565008F6F3B0001100000000000089801B800C8019001F40032000000000000084000000190F9ED");
    row("probe of the identification", "050300010002944F", "050304008F6F3BE23B");
    row("command register reads 0", "0503006300017590", "05030200004984");
    row("block reaching register 19", "0503000000144441", refusedRead);
    row("registers 18 to 99", "05030012005265B6", refusedRead);
    row("count 0", "050300000000444E", "05830340F0");
    row("input registers", "050400000001304E", "058401C301");
    row("write multiple", "05100009000102006495E2", "059001CC01");
    row("function that gives no length", "0541C2D0", "05C101F191");
    row("threshold 1", "05060009006459A7", "05060009006459A7");
    row("threshold above 100 %", "0506000903E99932", refusedValue);
    row("register 19", "050600130000798B", "0586028260");
    row("identification", "050600010000D98E", refusedValue);
    row("unit and fault register", "050600050000984F", refusedValue);
    row("temperature", "050600070000398F", refusedValue);
    row("firmware version", "050600100000898B", refusedValue);
    row("propane", "050600030002F98F", "050600030002F98F");
    row("carbon monoxide on a combustible sensor", "0506000300187844", refusedValue);
    row("gas 64", "05060003004079BE", refusedValue);
    row("second unit of a one-unit gas", "05060006FF01E87F", refusedValue);
    row("unit index 2", "05060006FF02A87E", refusedValue);
    row("first unit", "05060006FF0029BF", "05060006FF0029BF");
    row("zero", "05060006AAAA9690", "05060006AAAA9690");
    row("calibration reset", "05060006BBBB5ACC", "05060006BBBB5ACC");
    row("span without test gas", "0506000601F46858", refusedValue);
    row("range 0", "050600080000098C", refusedValue);
    row("range", "0506000803700898", "0506000803700898");
    row("wrong service key", "0506006312347527", refusedValue);
    row("trim outside setup mode", "05060012019029B7", refusedValue);
    row("line word with baud code 9", "0506000005694B30", refusedValue);
    row("relays", "050600040000C98F", "050600040000C98F");
    row("other address", "06030000001305B0", "");
    row("broadcast", "00060009006459F2", "");
    row("bad CRC", "0503000000130584", "");
}

void TstSimDetector::modbusFrames() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    SimBus bus;
    const SimDetector* detector = bus.addDetector(methaneAt5());
    const QList<quint16> before = allRegisters(detector);
    QCOMPARE(exchange(bus, request).toHex(), reply.toHex());
    if (reply.size() != 8) // a refused or ignored request changes nothing
        QCOMPARE(allRegisters(detector), before);
}

void TstSimDetector::writesTakeEffect_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("parameter");
    QTest::newRow("threshold 1") << 9 << 100 << 15 << 10;
    QTest::newRow("threshold 1 at the full range") << 9 << 1000 << 15 << 100;
    QTest::newRow("threshold 2") << 10 << 300 << 14 << 30;
    QTest::newRow("magnetic calibration") << 11 << 600 << 18 << 60;
    QTest::newRow("hysteresis") << 12 << 20 << 17 << 2;
    QTest::newRow("zero zone") << 13 << 30 << 16 << 3;
    QTest::newRow("range of 200 % LEL") << 8 << 880 << 12 << 200;
    QTest::newRow("relay 1 and 2 closed, diagnostic open") << 4 << 0x0C00 << 22 << 3;
}

void TstSimDetector::writesTakeEffect() {
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(int, event);
    QFETCH(int, parameter);
    SimBus bus;
    const SimDetector* detector = bus.addDetector(methaneAt5());
    const QByteArray request = writeRequest(5, quint16(reg), quint16(value));
    QCOMPARE(exchange(bus, request), request);
    QCOMPARE(detector->readRegister(reg), quint16(value));
    QCOMPARE(detector->eventLog().left(4),
             QByteArray::fromHex("0000").prepend(char(parameter)).prepend(char(event)));
    // Writing the same value again is no new event.
    QCOMPARE(exchange(bus, request), request);
    QCOMPARE(detector->eventLog().mid(2, 2), QByteArray::fromHex("0000"));
}

void TstSimDetector::statusKeepsDetectorBits_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("read");
    QTest::newRow("healthy, all bits written") << "healthy" << 0xFFFF << 0x1F00;
    QTest::newRow("faulty, all bits cleared") << "faulty" << 0x0000 << 0x0001;
    QTest::newRow("warming up, block and relay 1") << "warmup" << 0x0500 << 0x0510;
    QTest::newRow("special mode, relays") << "special" << 0x1C00 << 0x1C80;
}

void TstSimDetector::statusKeepsDetectorBits() {
    QFETCH(QString, state);
    QFETCH(int, written);
    QFETCH(int, read);
    SimDetectorConfig config = methaneAt5();
    config.faulty = state == QLatin1String("faulty");
    config.warmup = state == QLatin1String("warmup");
    config.special = state == QLatin1String("special");
    SimBus bus;
    const SimDetector* detector = bus.addDetector(config);
    const QByteArray request = writeRequest(5, 4, quint16(written));
    QCOMPARE(exchange(bus, request), request); // the echo is the request, whatever was kept
    QCOMPARE(detector->readRegister(4), quint16(read));
}

void TstSimDetector::unitChange_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("rangeInSecondUnit");
    QTest::newRow("carbon monoxide, ppm to mg/m3") << 24 << 0x0840 << 200 << true << 233;
    QTest::newRow("hydrogen, %vol to %LEL keeps the range word")
        << 32 << 0x0840 << 400 << true << 400;
    QTest::newRow("hydrogen on firmware locking its unit") << 32 << 0x0705 << 400 << false << 400;
    QTest::newRow("hydrogen on the older gas table") << 32 << 0x0625 << 200 << false << 200;
}

void TstSimDetector::unitChange() {
    QFETCH(int, gas);
    QFETCH(int, firmware);
    QFETCH(int, range);
    QFETCH(bool, accepted);
    QFETCH(int, rangeInSecondUnit);
    SimDetectorConfig config = methaneAt5();
    config.gas = gas;
    config.firmware = quint16(firmware);
    config.range = quint16(range);
    SimBus bus;
    const SimDetector* detector = bus.addDetector(config);
    const QByteArray second = writeRequest(5, 6, 0xFF01);
    QCOMPARE(exchange(bus, second),
             accepted ? second : exceptionReply(5, WriteSingle, IllegalValue));
    QCOMPARE(bool(detector->readRegister(5) & 0x8000), accepted);
    QCOMPARE(detector->readRegister(8), quint16(rangeInSecondUnit));
    const QByteArray first = writeRequest(5, 6, 0xFF00);
    QCOMPARE(exchange(bus, first), first);
    QCOMPARE(detector->readRegister(5) & 0x8000, 0);
    QCOMPARE(detector->readRegister(8), quint16(range));
}

void TstSimDetector::gasChangeStartsFromFullScale() {
    SimBus bus;
    SimDetector* detector = bus.addDetector(methaneAt5());
    QVERIFY(detector->gases().contains(12));
    const QByteArray methanol = writeRequest(5, 3, 12);
    QCOMPARE(exchange(bus, methanol), methanol);
    QCOMPARE(detector->readRegister(3), quint16(12));
    QCOMPARE(detector->readRegister(8), quint16(600)); // the methanol LEL, 6.00 %vol
    QCOMPARE(detector->eventLog().left(2), QByteArray::fromHex("0B0C"));

    SimDetectorConfig old = methaneAt5();
    old.address = 6;
    old.firmware = 0x0625; // the older table: methanol's LEL is 5.50 %vol there
    bus.addDetector(old);
    const QByteArray oldMethanol = writeRequest(6, 3, 12);
    QCOMPARE(exchange(bus, oldMethanol), oldMethanol);
    QCOMPARE(bus.detector(6)->readRegister(8), quint16(550));
}

void TstSimDetector::calibration() {
    SimDetectorConfig config = methaneAt5();
    config.zeroError = 1.0;
    config.sensitivity = 0.9;
    config.threshold1 = config.threshold2 = 0; // no alarms in the event log
    SimBus bus;
    SimDetector* detector = bus.addDetector(config);
    QCOMPARE(detector->readRegister(6), quint16(10)); // 1.0 % LEL of drift in clean air

    const QByteArray zero = writeRequest(5, 6, 0xAAAA);
    QCOMPARE(exchange(bus, zero), zero);
    QCOMPARE(detector->readRegister(6), quint16(0));

    detector->applyTestGas(50.0);
    QCOMPARE(detector->readRegister(6), quint16(450)); // the sensor has lost 10 % of its gain
    const QByteArray tooFar = writeRequest(5, 6, 5000);
    QCOMPARE(exchange(bus, tooFar), exceptionReply(5, WriteSingle, IllegalValue));
    const QByteArray span = writeRequest(5, 6, 500);
    QCOMPARE(exchange(bus, span), span);
    QCOMPARE(detector->readRegister(6), quint16(500));

    const QByteArray reset = writeRequest(5, 6, 0xBBBB);
    QCOMPARE(exchange(bus, reset), reset);
    QCOMPARE(detector->readRegister(6), quint16(460));
    QCOMPARE(detector->eventLog().left(6), QByteArray::fromHex("040006320700"));
}

void TstSimDetector::addressChangesAfterTheEcho() {
    SimDetectorConfig config = methaneAt5();
    config.faults.slowMs = 50;
    SimBus bus;
    SimDetector* detector = bus.addDetector(config);
    QByteArray sent;
    connect(&bus, &SimBus::transmitted, this, [&sent](const QByteArray& bytes) { sent += bytes; });
    const QByteArray request = QByteArray::fromHex("0506000007654A55"); // address 7, same line
    bus.receive(request, tool19200E1, true);
    QCOMPARE(detector->address(), 5); // still waiting to answer
    QTRY_COMPARE(sent, request);
    QCOMPARE(detector->address(), 7);
    detector->faults().slowMs = 0;
    QCOMPARE(exchange(bus, readRequest(5, 0, 1)), QByteArray());
    QCOMPARE(exchange(bus, readRequest(7, 0, 1)), readReply(7, {0x0765}));
    QCOMPARE(detector->eventLog().left(2), QByteArray::fromHex("1307"));
}

void TstSimDetector::lineChangesAfterTheEcho() {
    SimBus bus;
    SimDetector* detector = bus.addDetector(methaneAt5());
    const QByteArray request = QByteArray::fromHex("0506000005648AF5"); // 9600 even 1
    QCOMPARE(exchange(bus, request), request);
    QCOMPARE(exchange(bus, readRequest(5, 0, 1)), QByteArray());
    const SimLine tool9600E1{9600, SimParity::Even, 1};
    QCOMPARE(exchange(bus, readRequest(5, 0, 1), tool9600E1), readReply(5, {0x0564}));
    QCOMPARE(detector->eventLog().left(2), QByteArray::fromHex("1464"));
}

void TstSimDetector::currentOutputSetup() {
    SimDetectorConfig config = methaneAt5();
    config.currentError = {3, -5, 10};
    config.testGas = 25.0;
    SimBus bus;
    SimDetector* detector = bus.addDetector(config);
    QCOMPARE(detector->readRegister(18),
             quint16(799)); // 25 % of the range, errors -5 and +10 at 4 and 20 mA

    const auto write = [&bus](quint16 reg, quint16 value) {
        const QByteArray request = writeRequest(5, reg, value);
        return exchange(bus, request) == request;
    };
    QVERIFY(write(4, 0x1200));
    QCOMPARE(detector->readRegister(4), quint16(0x1200));
    QCOMPARE(detector->readRegister(6), quint16(0)); // fixed at the 4 mA point
    QCOMPARE(detector->readRegister(18), quint16(395));
    QVERIFY(write(18, 395)); // the meter agrees with the detector: the error is trimmed
    QCOMPARE(detector->readRegister(18), quint16(400));

    QVERIFY(write(6, 0xF111));
    QCOMPARE(detector->readRegister(4), quint16(0x1210)); // bit 4 tells the 1 mA point
    QCOMPARE(detector->readRegister(6), quint16(0xF111));
    QCOMPARE(detector->readRegister(18), quint16(103));
    QVERIFY(write(18, 103));
    QCOMPARE(detector->readRegister(18), quint16(100));

    QVERIFY(write(6, 1000));
    QCOMPARE(detector->readRegister(4), quint16(0x1200));
    QCOMPARE(detector->readRegister(18), quint16(2010));
    QVERIFY(write(18, 1)); // nowhere near 20 mA: taken, but not as a measurement
    QCOMPARE(detector->readRegister(18), quint16(2010));
    QVERIFY(write(18, 2010));
    QCOMPARE(detector->readRegister(18), quint16(2000));

    QVERIFY(write(4, 0x1000));
    QCOMPARE(detector->readRegister(6), quint16(250));
    QCOMPARE(detector->readRegister(18), quint16(800)); // trimmed at 4 and 20 mA

    // Left at the 20 mA point, the output starts at 4 mA again on re-entry.
    QVERIFY(write(4, 0x1200));
    QCOMPARE(detector->readRegister(4), quint16(0x1200));
    QCOMPARE(detector->readRegister(6), quint16(0));
    QCOMPARE(detector->readRegister(18), quint16(400));
}

void TstSimDetector::alarmsFollowTheReading_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<QList<double>>("levels");
    QTest::addColumn<QList<int>>("bits");
    // Methane: thresholds 20 and 40 % LEL, hysteresis 5 % LEL, range 100 % LEL.
    QTest::newRow("methane rising")
        << 1 << QList<double>{10, 25, 45, 120} << QList<int>{0, 2, 6, 14};
    QTest::newRow("methane falling through the hysteresis")
        << 1 << QList<double>{45, 37, 34, 17, 14} << QList<int>{6, 6, 2, 2, 0};
    // Oxygen: threshold 1 at 19.5 %vol on a fall, threshold 2 at 23.4 %vol, hysteresis 0.3.
    QTest::newRow("oxygen") << 23 << QList<double>{20.9, 19.0, 19.6, 20.0, 23.5}
                            << QList<int>{0, 2, 2, 0, 4};
}

void TstSimDetector::alarmsFollowTheReading() {
    QFETCH(int, gas);
    QFETCH(QList<double>, levels);
    QFETCH(QList<int>, bits);
    SimDetectorConfig config = methaneAt5();
    if (gas == 23) {
        config.gas = 23;
        config.range = 2500;
        config.threshold1 = 650;
        config.threshold2 = 780;
        config.hysteresis = 10;
        config.testGas = 20.9;
    }
    SimBus bus;
    SimDetector* detector = bus.addDetector(config);
    for (int i = 0; i < levels.size(); ++i) {
        detector->applyTestGas(levels[i]);
        QCOMPARE(detector->readRegister(4) & 0x000E, bits[i]);
    }
    QCOMPARE(detector->eventLog().front(), char(8)); // the first alarm is on record
}

void TstSimDetector::directRegisterAccess_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::newRow("methane concentration") << 1 << 0 << 6 << 235;
    QTest::newRow("carbon monoxide in mg/m3") << 24 << 1 << 6 << 17;
    QTest::newRow("negative temperature") << 1 << 0 << 7 << 0xFF38;
    QTest::newRow("output current") << 1 << 0 << 18 << 1234;
    QTest::newRow("a spare register") << 1 << 0 << 15 << 0xBEEF;
}

void TstSimDetector::directRegisterAccess() {
    QFETCH(int, gas);
    QFETCH(int, unit);
    QFETCH(int, reg);
    QFETCH(int, value);
    SimDetectorConfig config = methaneAt5();
    config.gas = gas;
    config.unit = unit;
    config.range = 0;
    SimBus bus;
    SimDetector* detector = bus.addDetector(config);
    QVERIFY(detector->setRegister(reg, quint16(value)));
    QCOMPARE(detector->readRegister(reg), quint16(value));
    QCOMPARE(exchange(bus, readRequest(5, quint16(reg), 1)), readReply(5, {quint16(value)}));
    QVERIFY(!detector->setRegister(19, 0));
}

QTEST_GUILESS_MAIN(TstSimDetector)
#include "tst_simdetector.moc"
