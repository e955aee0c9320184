#include "NumberFormat.h"
#include "UnitConversion.h"

#include <QtTest>

using namespace kpx;

namespace {

constexpr int CO = 24;       // ppm / mg/m3, factor 1.1644, no decimals
constexpr int Hydrogen = 32; // %об. / %НКПР, factor 25, 2 decimals

// The panel as a read of the detector leaves it.
PanelValues panel(int code, int unit, uint16_t concentration, uint16_t range, uint16_t relative) {
    const stGas& row = GasEditionB()[code];
    auto box = [&](RelativeSetting s) { return RelativeBox(row, unit, range, s, relative); };
    return PanelValues{ConcentrationText(row, unit, concentration),
                       RangeBox(row, unit, range),
                       box(RelativeSetting::Limit1),
                       box(RelativeSetting::Limit2),
                       box(RelativeSetting::Magnet),
                       box(RelativeSetting::Hysteresis),
                       box(RelativeSetting::ZeroZone)};
}

} // namespace

class TstUnitConversion : public QObject {
    Q_OBJECT
private slots:
    void init();
    void factor_data();
    void factor();
    void convert_data();
    void convert();
    void thereAndBack_data();
    void thereAndBack();
    void concentrationWithLocaleSeparator();
    void concentrationThatIsNoNumberIsKept();
};

void TstUnitConversion::init() {
    SetDecimalSeparator(QLatin1Char('.'));
}

void TstUnitConversion::factor_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("newUnit");
    QTest::addColumn<float>("factor");
    QTest::newRow("CO to mg/m3") << CO << 1 << 1.1644f;
    QTest::newRow("CO back to ppm") << CO << 0 << 1.0f / 1.1644f;
    QTest::newRow("hydrogen to %НКПР") << Hydrogen << 1 << 25.f;
    QTest::newRow("hydrogen back to %об.") << Hydrogen << 0 << 0.04f;
}

void TstUnitConversion::factor() {
    QFETCH(int, code);
    QFETCH(int, newUnit);
    QTEST(UnitConversionFactor(GasEditionB()[code], newUnit), "factor");
}

void TstUnitConversion::convert_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<uint16_t>("concentration");
    QTest::addColumn<uint16_t>("range");
    QTest::addColumn<uint16_t>("relative");
    QTest::addColumn<QString>("concentrationText");
    QTest::addColumn<float>("rangeValue");
    QTest::addColumn<float>("rangeMin");
    QTest::addColumn<float>("rangeMax");
    QTest::addColumn<float>("limitValue");
    QTest::addColumn<float>("limitMax");
    QTest::addColumn<float>("magnetMin");
    QTest::newRow("CO ppm to mg/m3") << CO << uint16_t(17) << uint16_t(200) << uint16_t(100) << "20"
                                     << 233.f << 5.822f << 5822.f << 23.f << 232.88f << 23.288f;
    QTest::newRow("hydrogen %об. to %НКПР")
        << Hydrogen << uint16_t(100) << uint16_t(200) << uint16_t(500) << "25.0" << 50.f << 0.1f
        << 100.f << 50.f << 100.f << 10.f;
}

void TstUnitConversion::convert() {
    QFETCH(int, code);
    QFETCH(uint16_t, concentration);
    QFETCH(uint16_t, range);
    QFETCH(uint16_t, relative);
    const PanelValues shown = panel(code, 0, concentration, range, relative);
    const PanelValues out = ConvertUnits(shown, GasEditionB()[code], 1);
    QTEST(out.concentration, "concentrationText");
    QTEST(out.range.value, "rangeValue");
    QTEST(out.range.min, "rangeMin");
    QTEST(out.range.max, "rangeMax");
    for (const NumberBox* b : {&out.limit1, &out.limit2, &out.hysteresis, &out.zeroZone}) {
        QTEST(b->value, "limitValue");
        QTEST(b->max, "limitMax");
        QCOMPARE(b->min, 0.f); // thresholds start at 0 in any unit
    }
    QTEST(out.magnet.min, "magnetMin");
    QTEST(out.magnet.max, "limitMax");
    // Boxes keep the decimals of the row; only "%НКПР" concentrations differ.
    QCOMPARE(out.range.decimals, shown.range.decimals);
    QCOMPARE(out.limit1.step, shown.limit1.step);
}

// Each conversion rounds to the shown decimals, so a way there and back may
// not restore the values read.
void TstUnitConversion::thereAndBack_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unit");
    QTest::addColumn<uint16_t>("concentration");
    QTest::addColumn<uint16_t>("relative");
    QTest::addColumn<QString>("concentrationText");
    QTest::addColumn<float>("rangeValue");
    QTest::addColumn<float>("limitValue");
    QTest::newRow("CO from ppm: restored")
        << CO << 0 << uint16_t(17) << uint16_t(100) << "17" << 200.f << 20.f;
    QTest::newRow("CO from mg/m3: 4 comes back as 3")
        << CO << 1 << uint16_t(4) << uint16_t(20) << "3" << 200.f << 3.f;
    QTest::newRow("hydrogen: restored")
        << Hydrogen << 0 << uint16_t(234) << uint16_t(500) << "2.34" << 2.f << 2.f;
}

void TstUnitConversion::thereAndBack() {
    QFETCH(int, code);
    QFETCH(int, unit);
    QFETCH(uint16_t, concentration);
    QFETCH(uint16_t, relative);
    const stGas& row = GasEditionB()[code];
    const PanelValues there =
        ConvertUnits(panel(code, unit, concentration, 200, relative), row, 1 - unit);
    const PanelValues back = ConvertUnits(there, row, unit);
    QTEST(back.concentration, "concentrationText");
    QTEST(back.range.value, "rangeValue");
    QTEST(back.limit1.value, "limitValue");
}

void TstUnitConversion::concentrationWithLocaleSeparator() {
    SetDecimalSeparator(QLatin1Char(','));
    PanelValues shown = panel(Hydrogen, 0, 234, 200, 0);
    QCOMPARE(shown.concentration, QStringLiteral("2,34"));
    QCOMPARE(ConvertUnits(shown, GasEditionB()[Hydrogen], 1).concentration, QStringLiteral("58,5"));
}

void TstUnitConversion::concentrationThatIsNoNumberIsKept() {
    PanelValues shown = panel(CO, 0, 17, 200, 100);
    shown.concentration = QStringLiteral("---");
    const PanelValues out = ConvertUnits(shown, GasEditionB()[CO], 1);
    QCOMPARE(out.concentration, QStringLiteral("---"));
    QCOMPARE(out.range.value, 233.f);
}

QTEST_GUILESS_MAIN(TstUnitConversion)
#include "tst_unitconversion.moc"
