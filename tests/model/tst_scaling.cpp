#include "NumberFormat.h"
#include "Scaling.h"

#include <QtTest>
#include <cmath>
#include <limits>

using namespace kpx;

namespace {

const stGas& rowB(int code) {
    return GasEditionB()[code];
}

constexpr int Methane = 1;    // %НКПР
constexpr int CO2 = 3;        // %об., FullScale 500, 2 decimals
constexpr int Oxygen = 23;    // %об., FullScale 3000, 2 decimals
constexpr int CO = 24;        // ppm / mg/m3, FullScale 5000, no decimals
constexpr int Hydrogen = 32;  // %об. / %НКПР, factor 25
constexpr int PID3 = 47;      // ppm, 3 decimals
constexpr int MethaneVol = 0; // %об., FullScale 10000

} // namespace

Q_DECLARE_METATYPE(RelativeSetting)
Q_DECLARE_METATYPE(CurrentPoint)

class TstScaling : public QObject {
    Q_OBJECT
private slots:
    void init();
    void concentrationText_data();
    void concentrationText();
    void readingTexts_data();
    void readingTexts();
    void rangeBox_data();
    void rangeBox();
    void relativeBox_data();
    void relativeBox();
    void thresholdWrite_data();
    void thresholdWrite();
    void displayThenWriteGivesTheRegister_data();
    void displayThenWriteGivesTheRegister();
    void rangeWrite_data();
    void rangeWrite();
    void registerRound_data();
    void registerRound();
    void pointFromRead_data();
    void pointFromRead();
    void pointFromEcho_data();
    void pointFromEcho();
    void currentBox_data();
    void currentBox();
    void point20Code_data();
    void point20Code();
};

void TstScaling::init() {
    SetDecimalSeparator(QLatin1Char('.'));
}

void TstScaling::concentrationText_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<uint16_t>("reg");
    QTest::addColumn<QString>("text");
    QTest::newRow("methane %НКПР") << Methane << 0 << uint16_t(235) << "23.5";
    QTest::newRow("CO in mg/m3 as the detector sends it") << CO << 1 << uint16_t(17) << "17";
    QTest::newRow("hydrogen %об.") << Hydrogen << 0 << uint16_t(235) << "2.35";
    QTest::newRow("hydrogen %НКПР: one decimal") << Hydrogen << 1 << uint16_t(235) << "23.5";
    QTest::newRow("oxygen") << Oxygen << 0 << uint16_t(2090) << "20.90";
    QTest::newRow("PID3: four digits at most") << PID3 << 0 << uint16_t(12346) << "12.350";
    QTest::newRow("CO, five digits") << CO << 0 << uint16_t(65535) << "6.554E4";
}

void TstScaling::concentrationText() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(uint16_t, reg);
    QTEST(ConcentrationText(rowB(code), unit, reg), "text");
}

void TstScaling::readingTexts_data() {
    QTest::addColumn<bool>("temperature");
    QTest::addColumn<uint16_t>("reg");
    QTest::addColumn<QString>("text");
    QTest::newRow("-2 °C") << true << uint16_t(0xFF38) << "-2";
    QTest::newRow("23.45 °C") << true << uint16_t(2345) << "23.45";
    QTest::newRow("coldest") << true << uint16_t(0x8000) << "-327.68";
    QTest::newRow("4 mA") << false << uint16_t(400) << "4";
    QTest::newRow("20.05 mA") << false << uint16_t(2005) << "20.05";
    QTest::newRow("current is unsigned") << false << uint16_t(0xFF38) << "653.4";
}

void TstScaling::readingTexts() {
    QFETCH(bool, temperature);
    QFETCH(uint16_t, reg);
    QTEST(temperature ? TemperatureText(reg) : CurrentText(reg), "text");
}

void TstScaling::rangeBox_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<uint16_t>("reg");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<float>("step");
    QTest::newRow("methane 2.20 %об. = 50 %НКПР")
        << Methane << 0 << uint16_t(220) << 50.f << 0.1f << 100.f << 1 << 0.1f;
    QTest::newRow("methane above MaxPercent")
        << Methane << 0 << uint16_t(660) << 150.f << 0.15f << 150.f << 1 << 0.1f;
    QTest::newRow("CO mg/m3: bound in the second unit")
        << CO << 1 << uint16_t(200) << 200.f << 5.822f << 5822.f << 0 << 1.f;
    QTest::newRow("CO above full scale")
        << CO << 0 << uint16_t(6000) << 6000.f << 6.f << 6000.f << 0 << 1.f;
    QTest::newRow("oxygen") << Oxygen << 0 << uint16_t(2500) << 25.f << 0.03f << 30.f << 2 << 0.01f;
    QTest::newRow("range 0 is pulled to the minimum")
        << Oxygen << 0 << uint16_t(0) << 0.03f << 0.03f << 30.f << 2 << 0.01f;
}

void TstScaling::rangeBox() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(uint16_t, reg);
    const NumberBox box = RangeBox(rowB(code), unit, reg);
    QTEST(box.value, "value");
    QTEST(box.min, "min");
    QTEST(box.max, "max");
    QTEST(box.decimals, "decimals");
    QTEST(box.step, "step");
}

void TstScaling::relativeBox_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<uint16_t>("range");
    QTest::addColumn<RelativeSetting>("setting");
    QTest::addColumn<uint16_t>("reg");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("min");
    QTest::addColumn<float>("max");
    QTest::newRow("methane threshold 1") << Methane << 0 << uint16_t(220) << RelativeSetting::Limit1
                                         << uint16_t(200) << 20.f << 0.f << 100.f;
    QTest::newRow("CO: thousandths of the range")
        << CO << 0 << uint16_t(200) << RelativeSetting::Limit1 << uint16_t(100) << 20.f << 0.f
        << 200.f;
    QTest::newRow("CO magnet: at least 10 per cent")
        << CO << 0 << uint16_t(200) << RelativeSetting::Magnet << uint16_t(100) << 20.f << 20.f
        << 200.f;
    QTest::newRow("magnet below its minimum") << CO << 0 << uint16_t(200) << RelativeSetting::Magnet
                                              << uint16_t(50) << 20.f << 20.f << 200.f;
    QTest::newRow("oxygen: range below full scale counts full scale")
        << Oxygen << 0 << uint16_t(2500) << RelativeSetting::Limit2 << uint16_t(500) << 15.f << 0.f
        << 30.f;
    QTest::newRow("CO2 at full scale") << CO2 << 0 << uint16_t(500) << RelativeSetting::Hysteresis
                                       << uint16_t(250) << 1.25f << 0.f << 5.f;
    QTest::newRow("above the bound is pulled in")
        << Methane << 0 << uint16_t(220) << RelativeSetting::ZeroZone << uint16_t(1500) << 100.f
        << 0.f << 100.f;
    QTest::newRow("oxygen, range 0: zero, not a division by zero")
        << Oxygen << 0 << uint16_t(0) << RelativeSetting::Limit1 << uint16_t(500) << 0.f << 0.f
        << 0.f;
    QTest::newRow("CO, range 0") << CO << 0 << uint16_t(0) << RelativeSetting::Magnet
                                 << uint16_t(500) << 0.f << 0.f << 0.f;
}

void TstScaling::relativeBox() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(uint16_t, range);
    QFETCH(RelativeSetting, setting);
    QFETCH(uint16_t, reg);
    const NumberBox box = RelativeBox(rowB(code), unit, range, setting, reg);
    QVERIFY(std::isfinite(box.value) && std::isfinite(box.max));
    QTEST(box.value, "value");
    QTEST(box.min, "min");
    QTEST(box.max, "max");
    QCOMPARE(box.decimals, int(rowB(code).Digits));
}

void TstScaling::thresholdWrite_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<float>("rangeShown");
    QTest::addColumn<uint16_t>("range");
    QTest::addColumn<float>("value");
    QTest::addColumn<uint16_t>("written");
    QTest::newRow("%НКПР threshold 10.0")
        << Methane << 0 << 50.f << uint16_t(220) << 10.f << uint16_t(100);
    QTest::newRow("%НКПР threshold 20.0")
        << Methane << 0 << 50.f << uint16_t(220) << 20.f << uint16_t(200);
    QTest::newRow("CO2 at full scale, s = 200")
        << CO2 << 0 << 5.f << uint16_t(500) << 1.25f << uint16_t(250);
    QTest::newRow("oxygen below full scale, s = 40 / 1.2")
        << Oxygen << 0 << 25.f << uint16_t(2500) << 15.f << uint16_t(500);
    QTest::newRow("ppm: thousandths of the range")
        << CO << 0 << 200.f << uint16_t(200) << 20.f << uint16_t(100);
    QTest::newRow("unit index below 0 is the first unit")
        << Hydrogen << -1 << 2.f << uint16_t(200) << 1.f << uint16_t(250);
    QTest::newRow("range shown 0 writes 0")
        << CO << 0 << 0.f << uint16_t(200) << 20.f << uint16_t(0);
    QTest::newRow("negative range shown writes 0")
        << CO << 0 << -5.f << uint16_t(200) << 20.f << uint16_t(0);
    QTest::newRow("%об. with range register 0 writes 0")
        << Oxygen << 0 << 25.f << uint16_t(0) << 15.f << uint16_t(0);
}

void TstScaling::thresholdWrite() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(float, rangeShown);
    QFETCH(uint16_t, range);
    QFETCH(float, value);
    const float s = ThresholdScale(rowB(code), unit, rangeShown, range);
    QVERIFY(std::isfinite(s));
    QTEST(ToRegister(value, s), "written");
}

// The write scale inverts the display scale: what a read shows is written
// back unchanged when the user edits nothing.
void TstScaling::displayThenWriteGivesTheRegister_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<uint16_t>("range");
    QTest::addColumn<uint16_t>("reg");
    QTest::newRow("methane") << Methane << 0 << uint16_t(220) << uint16_t(123);
    QTest::newRow("hydrogen in %НКПР") << Hydrogen << 1 << uint16_t(200) << uint16_t(177);
    QTest::newRow("CO ppm") << CO << 0 << uint16_t(200) << uint16_t(100);
    QTest::newRow("CO2 at full scale") << CO2 << 0 << uint16_t(500) << uint16_t(250);
    QTest::newRow("CO2 below full scale") << CO2 << 0 << uint16_t(300) << uint16_t(250);
    QTest::newRow("oxygen below full scale") << Oxygen << 0 << uint16_t(2500) << uint16_t(501);
    QTest::newRow("methane %об.") << MethaneVol << 0 << uint16_t(5000) << uint16_t(333);
    QTest::newRow("PID3") << PID3 << 0 << uint16_t(1000) << uint16_t(500);
}

void TstScaling::displayThenWriteGivesTheRegister() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(uint16_t, range);
    QFETCH(uint16_t, reg);
    const stGas& row = rowB(code);
    const float rangeShown = RangeBox(row, unit, range).value;
    for (auto setting : {RelativeSetting::Limit1, RelativeSetting::Magnet}) {
        const NumberBox box = RelativeBox(row, unit, range, setting, reg);
        QCOMPARE(ToRegister(box.value, ThresholdScale(row, unit, rangeShown, range)), reg);
    }
}

void TstScaling::rangeWrite_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<float>("value");
    QTest::addColumn<uint16_t>("written");
    QTest::newRow("methane 50 %НКПР") << Methane << 0 << 50.f << uint16_t(220);
    QTest::newRow("methane at the bound") << Methane << 0 << 100.f << uint16_t(440);
    QTest::newRow("hydrogen 50 %НКПР") << Hydrogen << 1 << 50.f << uint16_t(200);
    QTest::newRow("hydrogen 2.00 %об.") << Hydrogen << 0 << 2.f << uint16_t(200);
    QTest::newRow("oxygen") << Oxygen << 0 << 25.f << uint16_t(2500);
    QTest::newRow("CO") << CO << 1 << 233.f << uint16_t(233);
}

void TstScaling::rangeWrite() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(float, value);
    QTEST(ToRegister(value, RangeScale(rowB(code), unit)), "written");
}

void TstScaling::registerRound_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<uint16_t>("reg");
    QTest::newRow("half to even, down") << 2.5 << uint16_t(2);
    QTest::newRow("half to even, up") << 3.5 << uint16_t(4);
    QTest::newRow("just below half") << 0.49999997 << uint16_t(0);
    QTest::newRow("float product just below") << 499.99998 << uint16_t(500);
    QTest::newRow("negative half to even") << -1.5 << uint16_t(65534);
    QTest::newRow("minus a half is zero") << -0.5 << uint16_t(0);
    QTest::newRow("negative is two's complement") << -1.0 << uint16_t(0xFFFF);
    QTest::newRow("low 16 bits") << 70000.6 << uint16_t(4465);
    QTest::newRow("wraps to zero") << 65536.0 << uint16_t(0);
    QTest::newRow("huge") << 1e20 << uint16_t(0);
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << uint16_t(0);
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << uint16_t(0);
}

void TstScaling::registerRound() {
    QFETCH(double, x);
    QTEST(RegisterRound(x), "reg");
}

void TstScaling::pointFromRead_data() {
    QTest::addColumn<uint16_t>("status");
    QTest::addColumn<uint16_t>("reg6");
    QTest::addColumn<CurrentPoint>("point");
    QTest::newRow("4 mA") << uint16_t(0x0200) << uint16_t(0) << CurrentPoint::Point4mA;
    QTest::newRow("20 mA") << uint16_t(0x0200) << uint16_t(1000) << CurrentPoint::Point20mA;
    QTest::newRow("1 mA by the warm-up bit")
        << uint16_t(0x0210) << uint16_t(0) << CurrentPoint::Point1mA;
}

void TstScaling::pointFromRead() {
    QFETCH(uint16_t, status);
    QFETCH(uint16_t, reg6);
    QTEST(PointFromRead(status, reg6), "point");
}

void TstScaling::pointFromEcho_data() {
    QTest::addColumn<uint16_t>("status");
    QTest::addColumn<uint16_t>("written");
    QTest::addColumn<CurrentPoint>("point");
    QTest::addColumn<uint16_t>("statusAfter");
    QTest::newRow("1 mA sets bit 4")
        << uint16_t(0x0200) << uint16_t(0xF111) << CurrentPoint::Point1mA << uint16_t(0x0210);
    QTest::newRow("4 mA clears bit 4")
        << uint16_t(0x0210) << uint16_t(0) << CurrentPoint::Point4mA << uint16_t(0x0200);
    QTest::newRow("20 mA clears bit 4")
        << uint16_t(0xFFFF) << uint16_t(833) << CurrentPoint::Point20mA << uint16_t(0xFFEF);
}

void TstScaling::pointFromEcho() {
    QFETCH(uint16_t, status);
    QFETCH(uint16_t, written);
    const PointEcho echo = PointFromEcho(status, written);
    QTEST(echo.point, "point");
    QTEST(echo.statusWord, "statusAfter");
}

void TstScaling::currentBox_data() {
    QTest::addColumn<CurrentPoint>("point");
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 mA") << CurrentPoint::Point1mA << 1.f << "1";
    QTest::newRow("4 mA") << CurrentPoint::Point4mA << 4.f << "4";
    QTest::newRow("20 mA") << CurrentPoint::Point20mA << 20.f << "20";
}

void TstScaling::currentBox() {
    QFETCH(CurrentPoint, point);
    QFETCH(float, value);
    const NumberBox box = CurrentBox(point);
    QCOMPARE(box.value, value);
    QCOMPARE(box.min, value - 0.3f);
    QCOMPARE(box.max, value + 0.3f);
    QCOMPARE(box.decimals, 2);
    QCOMPARE(box.step, 0.01f);
    QTEST(general(box.value, 4), "text");
}

void TstScaling::point20Code_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<uint16_t>("unitWord");
    QTest::addColumn<uint16_t>("range");
    QTest::addColumn<uint16_t>("point20");
    QTest::addColumn<uint16_t>("finalStep");
    QTest::newRow("%НКПР at full scale")
        << Methane << uint16_t(0) << uint16_t(440) << uint16_t(1000) << uint16_t(1000);
    QTest::newRow("%НКПР half range")
        << Methane << uint16_t(0) << uint16_t(220) << uint16_t(500) << uint16_t(500);
    QTest::newRow("%об.: only the point selection scales")
        << Oxygen << uint16_t(0) << uint16_t(2500) << uint16_t(833) << uint16_t(1000);
    QTest::newRow("hydrogen in its second unit, %НКПР")
        << Hydrogen << uint16_t(0x8000) << uint16_t(200) << uint16_t(500) << uint16_t(500);
    QTest::newRow("ppm") << CO << uint16_t(0) << uint16_t(200) << uint16_t(1000) << uint16_t(1000);
    QTest::newRow("half to even, down")
        << MethaneVol << uint16_t(0) << uint16_t(25) << uint16_t(2) << uint16_t(1000);
    QTest::newRow("half to even, up")
        << MethaneVol << uint16_t(0) << uint16_t(15) << uint16_t(2) << uint16_t(1000);
}

void TstScaling::point20Code() {
    QFETCH(int, code);
    QFETCH(uint16_t, unitWord);
    QFETCH(uint16_t, range);
    QTEST(Point20Code(rowB(code), unitWord, range), "point20");
    QTEST(Point20FinalCode(rowB(code), unitWord, range), "finalStep");
}

QTEST_GUILESS_MAIN(TstScaling)
#include "tst_scaling.moc"
