#include "Scaling.h"

#include "NumberFormat.h"
#include "RegisterMap.h"

#include <algorithm>
#include <cmath>

namespace kpx {

namespace {

double powerOfTen(int digits) {
    return std::pow(10.0, digits);
}

// Register values count steps of 10^-Digits of the selected unit.
float stepOf(const stGas& row) {
    return static_cast<float>(1.0 / powerOfTen(row.Digits));
}

float unitFactor(const stGas& row, int unitIndex) {
    return unitIndex > 0 ? row.UnitFactor : 1.0f;
}

NumberBox boxFor(const stGas& row) {
    NumberBox box;
    box.step = stepOf(row);
    box.decimals = row.Digits;
    return box;
}

// The 20 mA point counts the measuring range in thousandths of full scale for
// the units whose range register is a volume concentration.
uint16_t point20(const stGas& row, uint16_t unitWord, uint16_t range, bool volumeToo) {
    const uint8_t code = UnitCodeAt(row, UnitIndex(unitWord));
    const bool fromRange = code == UnitLelPercent || (volumeToo && code == UnitVolumePercent);
    return fromRange ? RegisterRound(double(range) / row.FullScale * 1000.0) : 1000;
}

} // namespace

void SetBoxValue(NumberBox& box, double value) {
    if (value > box.max) {
        value = box.max;
    }
    if (value < box.min) {
        value = box.min;
    }
    box.value = QString::number(value, 'f', box.decimals).toFloat();
}

int ConcentrationDigits(const stGas& row, int unitIndex) {
    return UnitCodeAt(row, unitIndex) == UnitLelPercent ? 1 : row.Digits;
}

QString ConcentrationText(const stGas& row, int unitIndex, uint16_t concentration) {
    const int digits = ConcentrationDigits(row, unitIndex);
    return fixed(concentration / powerOfTen(digits), digits);
}

QString TemperatureText(uint16_t temperature) {
    return general(static_cast<int16_t>(temperature) * 0.01, 5);
}

QString CurrentText(uint16_t current) {
    return general(current * 0.01, 4);
}

NumberBox RangeBox(const stGas& row, int unitIndex, uint16_t range) {
    NumberBox box = boxFor(row);
    double value = 0;
    if (UnitCodeAt(row, unitIndex) == UnitLelPercent) {
        // The register holds the range as a volume concentration; the box
        // shows it as a share of the lower explosive limit.
        value = double(range) / row.FullScale * 100.0;
        box.max = static_cast<float>(std::max<double>(value, row.MaxPercent));
    } else {
        const double scale = powerOfTen(row.Digits);
        value = range / scale;
        box.max =
            static_cast<float>(std::max(range, row.FullScale) / scale * unitFactor(row, unitIndex));
    }
    box.min = static_cast<float>(box.max * 0.001);
    SetBoxValue(box, value);
    return box;
}

float RelativeStep(const stGas& row, int unitIndex, uint16_t range) {
    const uint8_t code = UnitCodeAt(row, unitIndex);
    if (code == UnitLelPercent) {
        return 0.1f;
    }
    if (range == 0) {
        return 0.0f;
    }
    auto k = static_cast<float>(range / powerOfTen(row.Digits) * 0.001);
    // In "%об." a range below full scale still counts steps of full scale.
    if (code == UnitVolumePercent && row.FullScale > range) {
        k = static_cast<float>(double(row.FullScale) / range * k);
    }
    return k;
}

NumberBox RelativeBox(const stGas& row, int unitIndex, uint16_t range, RelativeSetting setting,
                      uint16_t value) {
    const float k = RelativeStep(row, unitIndex, range);
    NumberBox box = boxFor(row);
    box.max = static_cast<float>(double(row.MaxPercent) * k * 10.0);
    // Magnetic calibration needs at least 10 per cent of the range.
    box.min = setting == RelativeSetting::Magnet ? static_cast<float>(10.0 * k * 10.0) : 0.0f;
    SetBoxValue(box, double(value) * k);
    return box;
}

CurrentPoint PointFromRead(uint16_t statusWord, uint16_t concentration) {
    if ((statusWord & StatusBit::WarmUp) != 0) {
        return CurrentPoint::Point1mA;
    }
    return concentration == Command::Point4mA ? CurrentPoint::Point4mA : CurrentPoint::Point20mA;
}

PointEcho PointFromEcho(uint16_t statusWord, uint16_t written) {
    const auto without1mA = static_cast<uint16_t>(statusWord & ~StatusBit::WarmUp);
    if (written == Command::Point1mA) {
        return {CurrentPoint::Point1mA, static_cast<uint16_t>(statusWord | StatusBit::WarmUp)};
    }
    if (written == Command::Point4mA) {
        return {CurrentPoint::Point4mA, without1mA};
    }
    return {CurrentPoint::Point20mA, without1mA};
}

NumberBox CurrentBox(CurrentPoint point) {
    static const float Milliamps[] = {1.0f, 4.0f, 20.0f};
    const float mA = Milliamps[static_cast<int>(point)];
    NumberBox box;
    box.min = mA - 0.3f;
    box.max = mA + 0.3f;
    box.step = 0.01f;
    box.decimals = 2;
    box.value = mA;
    return box;
}

uint16_t Point20Code(const stGas& row, uint16_t unitWord, uint16_t range) {
    return point20(row, unitWord, range, true);
}

uint16_t Point20FinalCode(const stGas& row, uint16_t unitWord, uint16_t range) {
    return point20(row, unitWord, range, false);
}

uint16_t RegisterRound(double x) {
    if (!std::isfinite(x)) {
        return 0;
    }
    double whole = std::floor(x);
    const double fraction = x - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) {
        whole += 1;
    }
    double low = std::fmod(whole, 65536.0);
    if (low < 0) {
        low += 65536.0;
    }
    return static_cast<uint16_t>(low);
}

uint16_t ToRegister(float boxValue, float scale) {
    return RegisterRound(double(boxValue) * scale);
}

float ThresholdScale(const stGas& row, int unitIndex, float rangeShown, uint16_t range) {
    const uint8_t code = UnitCodeAt(row, unitIndex);
    if (code == UnitLelPercent) {
        return 10.0f;
    }
    if (!(rangeShown > 0)) {
        return 0.0f;
    }
    auto s = static_cast<float>(1000.0 / rangeShown);
    // In "%об." a range below full scale still counts steps of full scale.
    if (code == UnitVolumePercent && range < row.FullScale) {
        s = range == 0 ? 0.0f : static_cast<float>(s / (double(row.FullScale) / range));
    }
    return s;
}

float RangeScale(const stGas& row, int unitIndex) {
    if (UnitCodeAt(row, unitIndex) == UnitLelPercent) {
        return static_cast<float>(row.FullScale * 0.01);
    }
    return static_cast<float>(powerOfTen(row.Digits));
}

} // namespace kpx
