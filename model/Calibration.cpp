#include "Calibration.h"

#include "RegisterMap.h"
#include "Scaling.h"

#include <algorithm>
#include <cmath>

namespace kpx {

namespace {

double powerOfTen(int digits) {
    return std::pow(10.0, digits);
}

// Low 16 bits of x truncated toward zero, two's complement when negative.
uint16_t truncatedRegister(double x) {
    if (!std::isfinite(x)) {
        return 0;
    }
    double low = std::fmod(std::trunc(x), 65536.0);
    if (low < 0) {
        low += 65536.0;
    }
    return static_cast<uint16_t>(low);
}

} // namespace

bool ZeroThroughServiceMode(const stGas& row, const TDevice& device) {
    return row.SensorType != 0 && FirmwareBelow(device, ServiceZeroLimits);
}

uint32_t PackGasTag(const GasTag& tag) {
    return uint32_t{tag.range} << 16 | uint32_t{tag.unitCode} << 8 | tag.gasRow;
}

GasTag UnpackGasTag(uint32_t tag) {
    return {static_cast<uint16_t>(tag >> 16), static_cast<uint8_t>(tag >> 8 & 0xFF),
            static_cast<uint8_t>(tag & 0xFF)};
}

GasTag GasTagFor(const stGas* table, const TDevice& device) {
    const uint16_t code = device.Registers[Reg::Gas];
    const stGas& row = GasRow(table, code);
    GasTag tag;
    tag.range = device.Registers[Reg::Range];
    tag.unitCode = UnitCodeAt(row, UnitIndex(device.Registers[Reg::UnitAndFaults]));
    tag.gasRow = static_cast<uint8_t>(std::min<unsigned>(code, PlaceholderGasCode));
    return tag;
}

QString DialogUnitText(int unitCode) {
    switch (unitCode) {
    case UnitVolumePercent:
    case UnitLelPercent:
    case UnitPpm:
    case UnitMgPerM3:
        return UnitText(unitCode);
    default:
        return QStringLiteral("?");
    }
}

TestGasEntry TestGasEntryFor(const stGas& row, const GasTag& tag) {
    TestGasEntry entry;
    entry.label = DialogUnitText(tag.unitCode);
    if (tag.unitCode == UnitLelPercent) {
        entry.min = 1.0;
        entry.max = double(row.MaxPercent);
        entry.precision = 0;
        entry.decimals = 1;
        entry.step = 0.1;
        entry.value = entry.max * 0.5;
        return entry;
    }
    // Quotients of whole numbers: each is the double nearest its decimal.
    const double scale = powerOfTen(row.Digits);
    entry.min = tag.range * 5.0 / (scale * 100.0);
    entry.max = tag.range / scale;
    entry.precision = row.Digits == 0 ? 1 : 0;
    entry.decimals = entry.precision > 0 ? entry.precision : row.Digits;
    entry.step = 1.0 / scale;
    // Half the range rounded to the row's decimals, halves to even.
    entry.value = double(RegisterRound(tag.range * 0.5)) / scale;
    return entry;
}

float TestGasRegisterUnits(const stGas& row, uint8_t unitCode, double entered) {
    const int e = unitCode == UnitLelPercent ? 1 : row.Digits;
    // The product in double lands a hair beside a whole number (0.57 * 100 is
    // 56.99999999999999); single precision takes it back to that number, so
    // the truncation of the span keeps the value typed.
    return static_cast<float>(powerOfTen(e) * entered);
}

uint16_t SpanValue(float x, const stGas& row, uint16_t unitWord, uint16_t version) {
    if (UnitIndex(unitWord) == 1 && version < SpanInSelectedUnitFrom) {
        return RegisterRound(double(x) / double(row.UnitFactor));
    }
    return truncatedRegister(x);
}

} // namespace kpx
