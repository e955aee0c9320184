#pragma once

#include "GasCatalogue.h"
#include "Scaling.h"

#include <cstdint>

namespace kpx {

// Trimming of the 4-20 mA output: the detector is put into its setup mode
// (register 4 bit 9), its output fixed at a point (register 6), and the
// current measured there is written to register 18 in hundredths of a mA.

// Register 4 with the setup mode switched on or off; every other bit as the
// detector last reported it.
uint16_t CurrentSetupWord(uint16_t stored, bool on);

// The output point in milliamperes: 1, 4 or 20.
float PointMilliamps(CurrentPoint point);

// Register 6 value that fixes the output at a point; the 20 mA code follows
// the measuring range (Point20Code).
uint16_t PointCode(CurrentPoint point, const stGas& row, uint16_t unitWord, uint16_t range);

// Register 18 value of a measured current.
uint16_t TrimRegisterValue(float milliamps);

// One press of "Записать" with a measured current at a point.
struct MeasuredCurrent {
    // The box after the entry: pulled to the point ± 0.3 mA, except the
    // 0.01 mA the detector takes as it is.
    float entered = 0;
    // The same value entered the fourth time in a row: the trim has settled,
    // "Коррекция - Ок" and nothing is written.
    bool settled = false;
    uint16_t registerValue = 0;
    // The box once the write is on its way: always within the point ± 0.3 mA.
    float shown = 0;
};

// Counts the entry against the last one: lastValue and repeats carry the
// count from press to press (a point selection and the fix box reset
// repeats, never lastValue).
MeasuredCurrent EnterMeasuredCurrent(CurrentPoint point, float typed, float& lastValue,
                                     int& repeats);

} // namespace kpx
