#include "SimBusJson.h"
#include "SimConsole.h"
#include "SimTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace SimProtocol;

// How a bus is described and driven: the JSON description, the built-in bus and the
// commands of the running program.
class TstSimConfig : public QObject {
    Q_OBJECT
private slots:
    void descriptionErrors_data();
    void descriptionErrors();
    void descriptionFields();
    void fileErrors();
    void defaultBus();
    void console_data();
    void console();
};

void TstSimConfig::descriptionErrors_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    const auto one = [](const char* fields) {
        return QByteArray(R"({"detectors": [{"address": 5, "id": 9400000)") + fields + "}]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\n  \"detectors\": [\n  }") << "line 3: ";
    QTest::newRow("no list of detectors")
        << QByteArray("{}") << "the description needs a list \"detectors\"";
    QTest::newRow("unknown key at the top")
        << QByteArray(R"({"detectors": [], "speed": 1})") << "unknown key \"speed\" at the top";
    QTest::newRow("misspelt key") << one(R"(, "thresold1": 100)")
                                  << "detector 1: unknown key \"thresold1\"";
    QTest::newRow("identification missing")
        << QByteArray(R"({"detectors": [{"address": 5}]})") << "detector 1: \"id\" is missing";
    QTest::newRow("address 0") << QByteArray(R"({"detectors": [{"address": 0, "id": 1}]})")
                               << "detector 1: \"address\" must be a whole number from 1 to 247";
    QTest::newRow("address twice")
        << QByteArray(R"({"detectors": [{"address": 5, "id": 1}, {"address": 5, "id": 2}]})")
        << "detector 2: address 5 is used by an earlier detector";
    QTest::newRow("fractional threshold")
        << one(R"(, "threshold1": 10.5)") << "\"threshold1\" must be a whole number from 0 to 1000";
    QTest::newRow("firmware not hexadecimal")
        << one(R"(, "firmware": "0x06G0")") << "\"firmware\" must be";
    QTest::newRow("unknown baud rate")
        << one(R"(, "line": {"baud": 14400})") << "baud must be one of";
    QTest::newRow("mark parity") << one(R"(, "line": {"parity": "mark"})") << "parity must be";
    QTest::newRow("second unit of methane") << one(R"(, "unit": 1)") << "gas 1 has a single unit";
    QTest::newRow("unknown fault detail") << one(R"(, "fault": "burnt")") << "fault details are";
    QTest::newRow("unknown fault")
        << one(R"(, "faults": {"slow": 100})") << "unknown fault \"slow\"";
    QTest::newRow("log block 4") << one(R"(, "faults": {"shortLogBlock": 4})")
                                 << "shortLogBlock takes -1..3";
    QTest::newRow("noise byte out of range")
        << one(R"(, "faults": {"noiseBytes": 1, "noiseValue": 256})") << "noiseValue takes -1..255";
    QTest::newRow("two relays") << one(R"(, "relays": ["open", "open"])")
                                << "must list relay 1, relay 2";
    QTest::newRow("gas outside its list")
        << one(R"(, "gas": 2, "gases": [1, 4])") << "\"gases\" must contain";
    QTest::newRow("register 16 among the spares")
        << one(R"(, "registers": {"16": 1})") << "only the spare";
    QTest::newRow("event log kind")
        << one(R"(, "eventLog": "full")") << "must be \"realistic\" or \"empty\"";
}

void TstSimConfig::descriptionErrors() {
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    SimBus bus;
    bus.loadDefault();
    const int before = int(bus.detectors().size());
    QString message;
    QVERIFY(!bus.loadJson(json, &message));
    QVERIFY2(message.contains(error), qPrintable(message));
    QCOMPARE(bus.detectors().size(), before); // the running bus is kept
    QVERIFY(bus.detector(1));
}

void TstSimConfig::descriptionFields() {
    const QByteArray json = R"({"comment": "all fields", "detectors": [{
        "comment": "hydrogen", "address": 26, "id": 9600001, "firmware": "0x0850",
        "line": {"baud": 9600, "parity": "odd", "stopBits": 2},
        "gas": 32, "gases": [32], "unit": 1, "hideMethane": true, "range": 300,
        "threshold1": 101, "threshold2": 202, "magnet": 303, "hysteresis": 44, "zeroZone": 5,
        "block": true, "relays": ["closed", "open", "open"], "warmup": true,
        "fault": ["busBreak", "badDisplayData"], "temperature": -2.0, "testGas": 1.5,
        "registers": {"14": 1, "15": "0xBEEF", "17": 3}, "eventLog": "empty",
        "faults": {"slowMs": 250, "badCrc": true, "exceptionRegister": 7}
    }]})";
    SimBus bus;
    QString error;
    QVERIFY2(bus.loadJson(json, &error), qPrintable(error));
    const SimDetector* d = bus.detector(26);
    QVERIFY(d);
    // 1.5 %vol of hydrogen shown in %LEL: 37.5; a faulty detector drives 2 mA.
    const QList<quint16> expected = {0x1A94, 0x0092, 0x7C01, 32,  0x0511, 0xC208, 375,
                                     0xFF38, 300,    101,    202, 303,    44,     5,
                                     1,      0xBEEF, 0x0850, 3,   200};
    for (int reg = 0; reg < SimDetector::RegisterCount; ++reg)
        QCOMPARE(d->readRegister(reg), expected[reg]);
    QCOMPARE(d->testGas(), 1.5);
    QCOMPARE(d->gases(), QList<int>{32});
    QCOMPARE(d->eventLog(), QByteArray(1024, '\0'));
    QCOMPARE(simDescribeFaults(d->faults()),
             QStringLiteral("slowMs=250 badCrc=1 exceptionRegister=7"));
}

void TstSimConfig::fileErrors() {
    SimBus bus;
    QString error;
    QVERIFY(!bus.loadFile(QStringLiteral("/nonexistent/bus.json"), &error));
    QVERIFY2(error.startsWith(QLatin1String("/nonexistent/bus.json: ")), qPrintable(error));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bus.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"detectors": [{"address": 300, "id": 1}]})");
    file.close();
    QVERIFY(!bus.loadFile(path, &error));
    QVERIFY2(error.startsWith(path + QLatin1String(": detector 1: \"address\"")),
             qPrintable(error));
}

void TstSimConfig::defaultBus() {
    SimBus bus;
    bus.loadDefault();
    QList<int> addresses;
    QSet<int> kinds;
    bool editionA = false, faultyWithDetail = false, oldToxic = false, setup = false,
         unlisted = false;
    for (const SimDetector* d : bus.detectors()) {
        addresses << d->address();
        kinds.insert(d->kind());
        const quint16 version = d->readRegister(16);
        const SimGas gas = simGas(d->readRegister(3), false);
        editionA |= d->kind() != 3 && simFirmwareBelow(d->kind(), version, 0x0630, 0x0690);
        faultyWithDetail |= (d->readRegister(4) & 1) && (d->readRegister(5) & 0x030F);
        oldToxic |= gas.sensorType != 0 && simFirmwareBelow(d->kind(), version, 0x029E, 0x0334);
        setup |= d->setupMode();
        unlisted |= d->id() >= 9700000;
        QCOMPARE(d->line(), tool19200E1); // a tool on its defaults finds them all
    }
    QCOMPARE(kinds, (QSet<int>{-1, 0, 1, 2, 3}));
    QVERIFY(editionA);
    QVERIFY(faultyWithDetail);
    QVERIFY(oldToxic);
    QVERIFY(setup);
    QVERIFY(unlisted);
    QVERIFY(addresses.first() <= 2);
    QVERIFY(addresses.last() >= 240);

    SimDetector* hydrogen = nullptr;
    for (SimDetector* d : bus.detectors())
        if (d->readRegister(3) == 32)
            hydrogen = d;
    QVERIFY(hydrogen);
    const QByteArray second = writeRequest(quint8(hydrogen->address()), 6, 0xFF01);
    QCOMPARE(exchange(bus, second), second);
}

void TstSimConfig::console_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("output");
    QTest::newRow("test gas") << "gas 5 50"
                              << "detector 5: test gas 50, reading 50.00";
    QTest::newRow("fault") << "fault 5 slowMs 300"
                           << "detector 5: slowMs=300";
    QTest::newRow("fault out of range") << "fault 5 shortLogBlock 7"
                                        << "error: fault shortLogBlock takes -1..3, not 7";
    QTest::newRow("register in hexadecimal") << "reg 5 13 0x1E"
                                             << "register 13 = 0x001E";
    QTest::newRow("register 19") << "reg 5 19 1"
                                 << "error: registers are 0..18";
    QTest::newRow("no such detector") << "gas 9 1"
                                      << "error: no detector at address 9";
    QTest::newRow("missing argument") << "fault 5 silent"
                                      << "usage: fault ADDR NAME VALUE";
    QTest::newRow("unknown command") << "poke 5"
                                     << "error: unknown command \"poke\"";
    QTest::newRow("list") << "list"
                          << "   5     9400123  0x0840      1  19200 E 1  modbus      0.00  ";
    QTest::newRow("empty line") << "   "
                                << "";
}

void TstSimConfig::console() {
    QFETCH(QString, command);
    QFETCH(QString, output);
    SimBus bus;
    bus.addDetector(methaneAt5());
    SimConsole console(bus);
    const QString result = console.execute(command);
    QVERIFY2(output.isEmpty() ? result.isEmpty() : result.contains(output), qPrintable(result));
    if (command == QLatin1String("gas 5 50"))
        QCOMPARE(bus.detector(5)->readRegister(6), quint16(500));
    if (command.startsWith(QLatin1String("fault 5 short")))
        QCOMPARE(bus.detector(5)->faults().shortLogBlock, -1);
}

QTEST_GUILESS_MAIN(TstSimConfig)
#include "tst_simconfig.moc"
