#pragma once

#include "GasCatalogue.h"
#include "Scaling.h"

#include <QString>

namespace kpx {

// What the detector panel shows in the current unit and converts when the
// user picks the other unit of the gas.
struct PanelValues {
    QString concentration; // the read-only concentration text
    NumberBox range;
    NumberBox limit1;
    NumberBox limit2;
    NumberBox magnet;
    NumberBox hysteresis;
    NumberBox zeroZone;
};

// Factor from the unit shown now to the newly chosen one: the row's unit
// factor towards the second unit (index above 0), its inverse back to the first.
float UnitConversionFactor(const stGas& row, int newUnitIndex);

// The values expressed in the newly chosen unit. Each box keeps its decimals
// and rounds its converted value to them, as a box does when it is set, so a
// conversion there and back may not restore the original values. A
// concentration text that is not a number is left as it is.
PanelValues ConvertUnits(const PanelValues& shown, const stGas& row, int newUnitIndex);

} // namespace kpx
