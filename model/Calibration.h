#pragma once

#include "Device.h"
#include "GasCatalogue.h"

#include <QString>
#include <cstdint>

namespace kpx {

// Calibration of a detector: the route of its zero, the data the span command
// hands the test-gas dialog, the dialog's entry box and the value the span
// finally writes to register 6.

// Toxic, oxygen and PID sensors on old firmware take no zero command: they
// are zeroed through the service mode (register 99), on the record's gas row.
bool ZeroThroughServiceMode(const stGas& row, const TDevice& device);

// What the span command packs into the dialog's 32-bit tag: bits 31..16 the
// range, 15..8 the unit code, 7..0 the gas row.
struct GasTag {
    uint16_t range = 0;   // register 8, in register units
    uint8_t unitCode = 0; // the unit the detector works in
    uint8_t gasRow = 0;   // never past the catalogue's placeholder row
};

uint32_t PackGasTag(const GasTag& tag);
GasTag UnpackGasTag(uint32_t tag);

// The tag for a detector from its last reading. A gas code past the
// catalogue goes in as the placeholder row: the code would otherwise run
// over into the unit field, and the dialog would scale for the wrong gas.
GasTag GasTagFor(const stGas* table, const TDevice& device);

// The dialog keeps its own unit names; "?" where the catalogue says "???".
QString DialogUnitText(int unitCode);

// The concentration box of the test-gas dialog as it opens.
struct TestGasEntry {
    QString label; // the unit above the box
    double min = 0;
    double max = 0;
    double step = 0;
    double value = 0;
    // 0: the value shows in its shortest exact form; otherwise with exactly
    // this many decimals.
    int precision = 0;
    // Decimals the box takes: those of its step where precision is 0.
    int decimals = 0;
};

// In %НКПР the gas goes from 1 to the row's largest range; in the other
// units from 5 % of the detector's range up to the range. Either way the box
// starts at half. The bounds are the decimals they stand for, so that a
// typed bound is within them.
TestGasEntry TestGasEntryFor(const stGas& row, const GasTag& tag);

// The entered concentration in register units as the dialog hands it on:
// tenths in %НКПР, else steps of the row's last decimal.
float TestGasRegisterUnits(const stGas& row, uint8_t unitCode, double entered);

// Firmware from this version takes the span in the unit the detector works
// in; older firmware takes it in the row's first unit.
constexpr uint16_t SpanInSelectedUnitFrom = 0x0610;

// Register 6 value of a span with x register units of test gas: truncated
// toward zero, low 16 bits; on old firmware in the second unit, first
// divided by the row's unit factor and rounded, halves to even.
uint16_t SpanValue(float x, const stGas& row, uint16_t unitWord, uint16_t version);

} // namespace kpx
