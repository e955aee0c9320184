#include "Calibration.h"
#include "RegisterMap.h"

#include <QtTest>

using namespace kpx;

namespace {

constexpr int Methane = 1;      // %НКПР, MaxPercent 100, SensorType 0
constexpr int CO2 = 3;          // %об., 2 decimals
constexpr int Cyclopentane = 8; // %НКПР, MaxPercent 50
constexpr int Oxygen = 23;      // %об., SensorType 1
constexpr int CO = 24;          // ppm / мгм/м3 (factor 1.1644), no decimals, SensorType 1
constexpr int PID1 = 38;        // SensorType 2
constexpr int PID3 = 47;        // ppm, 3 decimals
constexpr uint16_t SecondUnit = UnitBit::SecondUnit;

TDevice detector(int kind, uint16_t version, uint16_t gas, uint16_t unitWord = 0,
                 uint16_t range = 0) {
    TDevice d;
    d.Kind = kind;
    d.Registers[Reg::Version] = version;
    d.Registers[Reg::Gas] = gas;
    d.Registers[Reg::UnitAndFaults] = unitWord;
    d.Registers[Reg::Range] = range;
    return d;
}

const stGas& rowB(int code) {
    return GasRow(GasEditionB(), unsigned(code));
}

} // namespace

class TstCalibration : public QObject {
    Q_OBJECT
private slots:
    void zeroRoute_data();
    void zeroRoute();
    void gasTag_data();
    void gasTag();
    void testGasEntry_data();
    void testGasEntry();
    void spanValue_data();
    void spanValue();
};

void TstCalibration::zeroRoute_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("service");
    // Kinds 0 and 1: limit A for versions with both low bits, limit B with bits 0 and 2.
    QTest::newRow("toxic, no version reported yet") << CO << 0 << 0x0000 << true;
    QTest::newRow("toxic, below limit A") << CO << 0 << 0x0297 << true;
    QTest::newRow("toxic, at limit A and no bit 2") << CO << 0 << 0x02A3 << false;
    QTest::newRow("toxic, below limit B") << CO << 1 << 0x0325 << true;
    QTest::newRow("toxic, past limit B") << CO << 1 << 0x0335 << false;
    QTest::newRow("toxic, kind 2 below limit A") << CO << 2 << 0x0296 << true;
    QTest::newRow("toxic, oldest family on any version") << CO << 3 << 0x0840 << true;
    QTest::newRow("oxygen, new firmware") << Oxygen << 1 << 0x0840 << false;
    QTest::newRow("PID, no version") << PID1 << 0 << 0x0000 << true;
    QTest::newRow("combustible, no version") << Methane << 0 << 0x0000 << false;
    QTest::newRow("combustible, oldest family") << Methane << 3 << 0x0100 << false;
}

void TstCalibration::zeroRoute() {
    QFETCH(int, gas);
    QFETCH(int, kind);
    QFETCH(int, version);
    QTEST(ZeroThroughServiceMode(rowB(gas), detector(kind, uint16_t(version), uint16_t(gas))),
          "service");
}

void TstCalibration::gasTag_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("unitWord");
    QTest::addColumn<int>("range");
    QTest::addColumn<uint>("tag");
    QTest::addColumn<int>("unitCode");
    QTest::addColumn<int>("gasRow");
    QTest::newRow("methane, %НКПР") << Methane << 0 << 440 << 0x01B8A101u << 161 << 1;
    QTest::newRow("carbon monoxide, second unit")
        << CO << int(SecondUnit) << 200 << 0x00C8AB18u << 171 << 24;
    QTest::newRow("range with the top bit") << CO2 << 0 << 0xFFFF << 0xFFFF9503u << 149 << 3;
    // Unguarded, 300 would add 1 to the unit code and leave row 44 in the gas field.
    QTest::newRow("gas code past the catalogue")
        << 300 << 0 << 440 << 0x01B8A13Fu << 161 << PlaceholderGasCode;
    QTest::newRow("first code past the catalogue")
        << 64 << int(SecondUnit) << 100 << 0x0064A13Fu << 161 << PlaceholderGasCode;
}

void TstCalibration::gasTag() {
    QFETCH(int, gas);
    QFETCH(int, unitWord);
    QFETCH(int, range);
    QFETCH(uint, tag);
    const TDevice d = detector(0, 0x0840, uint16_t(gas), uint16_t(unitWord), uint16_t(range));
    QCOMPARE(PackGasTag(GasTagFor(GasEditionB(), d)), uint32_t(tag));

    const GasTag unpacked = UnpackGasTag(tag);
    QCOMPARE(int(unpacked.range), range);
    QTEST(int(unpacked.unitCode), "unitCode");
    QTEST(int(unpacked.gasRow), "gasRow");
}

void TstCalibration::testGasEntry_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("unitCode");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("label");
    // Bounds as the decimals typed for them: the entry must take them exactly.
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("value");

    QTest::newRow("%НКПР, largest range 100") << Methane << 161 << 440 << "%НКПР"
                                              << "1"
                                              << "100" << 0.1 << 0 << 1 << 50.0;
    QTest::newRow("%НКПР, largest range 50, whatever the range")
        << Cyclopentane << 161 << 9999 << "%НКПР"
        << "1"
        << "50" << 0.1 << 0 << 1 << 25.0;
    QTest::newRow("%об., 2 decimals, range 500") << CO2 << 149 << 500 << "%об."
                                                 << "0.25"
                                                 << "5" << 0.01 << 0 << 2 << 2.5;
    QTest::newRow("%об., bounds that are no binary fractions") << CO2 << 149 << 440 << "%об."
                                                               << "0.22"
                                                               << "4.4" << 0.01 << 0 << 2 << 2.2;
    QTest::newRow("ppm, no decimals, range 100") << CO << 139 << 100 << "млн-1"
                                                 << "5"
                                                 << "100" << 1.0 << 1 << 1 << 50.0;
    QTest::newRow("half an odd range, halves to even down") << CO << 171 << 101 << "мгм/м3"
                                                            << "5.05"
                                                            << "101" << 1.0 << 1 << 1 << 50.0;
    QTest::newRow("half an odd range, halves to even up") << CO << 139 << 103 << "млн-1"
                                                          << "5.15"
                                                          << "103" << 1.0 << 1 << 1 << 52.0;
    QTest::newRow("3 decimals") << PID3 << 139 << 1000 << "млн-1"
                                << "0.05"
                                << "1" << 0.001 << 0 << 3 << 0.5;
    QTest::newRow("unknown unit") << CO2 << 0 << 500 << "?"
                                  << "0.25"
                                  << "5" << 0.01 << 0 << 2 << 2.5;
    QTest::newRow("placeholder row") << PlaceholderGasCode << 161 << 440 << "%НКПР"
                                     << "1"
                                     << "100" << 0.1 << 0 << 1 << 50.0;
}

void TstCalibration::testGasEntry() {
    QFETCH(int, gas);
    QFETCH(int, unitCode);
    QFETCH(int, range);
    QFETCH(QString, min);
    QFETCH(QString, max);
    const TestGasEntry entry =
        TestGasEntryFor(rowB(gas), GasTag{uint16_t(range), uint8_t(unitCode), uint8_t(gas)});
    QTEST(entry.label, "label");
    QVERIFY2(entry.min == min.toDouble(), qPrintable(QString::number(entry.min, 'g', 17)));
    QVERIFY2(entry.max == max.toDouble(), qPrintable(QString::number(entry.max, 'g', 17)));
    QTEST(entry.step, "step");
    QTEST(entry.precision, "precision");
    QTEST(entry.decimals, "decimals");
    QTEST(entry.value, "value");
}

void TstCalibration::spanValue_data() {
    QTest::addColumn<int>("gas");
    QTest::addColumn<int>("unitWord");
    QTest::addColumn<int>("version");
    QTest::addColumn<double>("entered"); // as the dialog's box reads it back
    QTest::addColumn<int>("written");

    QTest::newRow("%НКПР: tenths") << Methane << 0 << 0x0840 << 50.0 << 500;
    QTest::newRow("%НКПР on the second unit of hydrogen")
        << 32 << int(SecondUnit) << 0x0850 << 50.0 << 500;
    QTest::newRow("%об.: hundredths") << CO2 << 0 << 0x0840 << 2.5 << 250;
    QTest::newRow("a hair below the hundredth in double") << CO2 << 0 << 0x0840 << 0.57 << 57;
    QTest::newRow("ppm: whole units") << CO << 0 << 0x0840 << 50.0 << 50;
    QTest::newRow("first unit on old firmware: as it is") << CO << 0 << 0x0500 << 50.0 << 50;
    QTest::newRow("second unit below 0x0610: divided and rounded")
        << CO << int(SecondUnit) << 0x060F << 50.0 << 43;
    QTest::newRow("second unit below 0x0610: rounded, not truncated")
        << CO << int(SecondUnit) << 0x060F << 50.7 << 44;
    QTest::newRow("second unit, no version reported") << CO << int(SecondUnit) << 0 << 50.0 << 43;
    QTest::newRow("second unit at 0x0610: truncated")
        << CO << int(SecondUnit) << 0x0610 << 50.7 << 50;
}

void TstCalibration::spanValue() {
    QFETCH(int, gas);
    QFETCH(int, unitWord);
    QFETCH(int, version);
    QFETCH(double, entered);
    const stGas& row = rowB(gas);
    const uint8_t unitCode = UnitCodeAt(row, UnitIndex(uint16_t(unitWord)));
    const float x = TestGasRegisterUnits(row, unitCode, entered);
    QTEST(int(SpanValue(x, row, uint16_t(unitWord), uint16_t(version))), "written");
}

QTEST_GUILESS_MAIN(TstCalibration)
#include "tst_calibration.moc"
