#include "UnitConversion.h"

#include "NumberFormat.h"

namespace kpx {

namespace {

float scaled(float x, float a) {
    return static_cast<float>(double(x) * a);
}

// Bounds first, so that the value is pulled into the converted ones.
NumberBox convertBox(NumberBox box, float a, bool scaleMin) {
    box.max = scaled(box.max, a);
    if (scaleMin) {
        box.min = scaled(box.min, a);
    }
    SetBoxValue(box, double(box.value) * a);
    return box;
}

QString convertConcentration(const QString& shown, float a, int digits) {
    QString text = shown;
    text.replace(DecimalSeparator(), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? fixed(value * a, digits) : shown;
}

} // namespace

float UnitConversionFactor(const stGas& row, int newUnitIndex) {
    return newUnitIndex > 0 ? row.UnitFactor : 1.0f / row.UnitFactor;
}

PanelValues ConvertUnits(const PanelValues& shown, const stGas& row, int newUnitIndex) {
    const float a = UnitConversionFactor(row, newUnitIndex);
    // The lower bound of the thresholds, hysteresis and zero zone is 0 in any unit.
    return PanelValues{
        convertConcentration(shown.concentration, a, ConcentrationDigits(row, newUnitIndex)),
        convertBox(shown.range, a, true),
        convertBox(shown.limit1, a, false),
        convertBox(shown.limit2, a, false),
        convertBox(shown.magnet, a, true),
        convertBox(shown.hysteresis, a, false),
        convertBox(shown.zeroZone, a, false),
    };
}

} // namespace kpx
