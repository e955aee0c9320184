#pragma once

#include "GasCatalogue.h"

#include <QString>
#include <cstdint>

namespace kpx {

// Register values to what the detector panel shows, and back. The row is the
// catalogue row of the detector's gas, the unit index the entry selected in
// the unit list (0 = the row's first unit).

// A number box as the panel sets it up. Bounds and value are single
// precision, as the boxes hold them.
struct NumberBox {
    float value = 0;
    float min = 0;
    float max = 0;
    float step = 1;
    int decimals = 0;
};

// Sets the value as a number box takes it: pulled into the bounds and
// rounded to the decimals it shows, which is what reading the box returns.
void SetBoxValue(NumberBox& box, double value);

// Decimals of a concentration: "%НКПР" always has one.
int ConcentrationDigits(const stGas& row, int unitIndex);

QString ConcentrationText(const stGas& row, int unitIndex, uint16_t concentration);
QString TemperatureText(uint16_t temperature); // register 7, signed hundredths of °C
QString CurrentText(uint16_t current);         // register 18, hundredths of mA

NumberBox RangeBox(const stGas& row, int unitIndex, uint16_t range);

// The five settings kept relative to the measuring range (registers 9 to 13).
enum class RelativeSetting { Limit1, Limit2, Magnet, Hysteresis, ZeroZone };

// Value of one register step of the relative settings. A measuring range of 0
// gives 0: the settings then show as 0 rather than as a division by zero.
float RelativeStep(const stGas& row, int unitIndex, uint16_t range);
NumberBox RelativeBox(const stGas& row, int unitIndex, uint16_t range, RelativeSetting setting,
                      uint16_t value);

// Current-output setup mode: the point the output is fixed at.
enum class CurrentPoint { Point1mA, Point4mA, Point20mA };

// The point a read shows: warm-up bit set means 1 mA, else register 6 = 0 is
// 4 mA and anything else 20 mA.
CurrentPoint PointFromRead(uint16_t statusWord, uint16_t concentration);

// The point a register 6 echo confirms, and register 4 as the record keeps it
// afterwards (its warm-up bit marks the 1 mA point).
struct PointEcho {
    CurrentPoint point;
    uint16_t statusWord;
};
PointEcho PointFromEcho(uint16_t statusWord, uint16_t written);

// The measured-current box at a point: the point ± 0.3 mA, two decimals.
NumberBox CurrentBox(CurrentPoint point);

// Register 6 value that fixes the output at 20 mA: the measuring range as
// thousandths of full scale when the detector works in "%НКПР" or "%об.",
// else 1000.
uint16_t Point20Code(const stGas& row, uint16_t unitWord, uint16_t range);
// The final step of the old-firmware 20 mA trim computes it from the range
// only for "%НКПР".
uint16_t Point20FinalCode(const stGas& row, uint16_t unitWord, uint16_t range);

// Register value of a scaled quantity: rounded to the nearest integer, halves
// to even, and the low 16 bits sent (two's complement when negative). A value
// that is not a finite number gives 0.
uint16_t RegisterRound(double x);

// A box value times its scale, as a register value.
uint16_t ToRegister(float boxValue, float scale);

// Register units per shown unit of the relative settings, from the range the
// range box shows and the detector's own range register. Where either range
// would divide by zero (a shown range of 0 or less; in "%об." a range
// register of 0) the scale is 0, so the settings are written as 0.
float ThresholdScale(const stGas& row, int unitIndex, float rangeShown, uint16_t range);

// Register units per shown unit of the measuring range.
float RangeScale(const stGas& row, int unitIndex);

} // namespace kpx
