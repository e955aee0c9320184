#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kpx {

// One row of the gas catalogue. Field order and types follow the detector's
// own table; see GasCatalogue.cpp for the two editions.
struct stGas {
    QString Name;
    QString Formula;
    uint16_t FullScale;
    float MaxPercent;
    uint8_t Digits;
    uint8_t Units[2];
    float UnitFactor;
    int32_t SensorType;
    int32_t AuxValue;
    float AuxFactor;
    uint8_t ListPos;
    uint8_t RangeEditable;
};

constexpr int GasRowCount = 64;
// Row shown for a gas the detector reports but the catalogue does not know.
constexpr int PlaceholderGasCode = 63;

// Unit codes as the detector reports them in a catalogue row.
constexpr uint8_t UnitVolumePercent = 149; // "%об."
constexpr uint8_t UnitLelPercent = 161;    // "%НКПР"
constexpr uint8_t UnitPpm = 139;           // "млн-1"
constexpr uint8_t UnitMgPerM3 = 171;       // "мгм/м3"

// The two catalogue editions, 64 rows each, indexed by gas code.
// Edition A serves detectors on old firmware; edition B is the default.
const stGas* GasEditionA();
const stGas* GasEditionB();

// The row of a gas code in an edition. The code comes straight from a 16-bit
// register, so anything past the table falls back to the placeholder row.
const stGas& GasRow(const stGas* table, unsigned code);

// "???" for a code the detector family does not define.
QString UnitText(int unitCode);

// The unit code at a unit-list index: index 0 (or less) is the row's first
// unit, anything else its second.
uint8_t UnitCodeAt(const stGas& row, int unitIndex);

// The gas list offered to the user: names of the selectable rows after
// code hideMethane, in code order.
QStringList GasListNames(const stGas* table, int hideMethane);

// The list index of a row, or -1 when the row is not in the list.
int GasListIndex(const stGas& row, int hideMethane);

// The gas code written for a list index. The last matching row wins; an
// index that matches nothing (or no selection, -1) gives propane (2).
int GasCodeForListIndex(const stGas* table, int listIndex, int hideMethane);

} // namespace kpx
