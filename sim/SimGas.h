#pragma once

#include <QtGlobal>

// The gas table as the detector's firmware keeps it: only what the detector itself
// needs to turn a sensor signal into register values.
struct SimGas {
    quint16 fullScale; // register value of the full scale (%LEL rows: the LEL in 0.01 %vol)
    quint8 digits;     // decimals of the first unit
    quint8 units[2];   // unit codes; equal codes mean a single unit
    float factor;      // second unit = first unit * factor
    quint8 sensorType; // 0 combustible and %vol rows, 1 oxygen/hydrogen/toxic, 2 PID
};

namespace SimUnit {
constexpr quint8 Volume = 149;
constexpr quint8 Lel = 161;
constexpr quint8 Ppm = 139;
constexpr quint8 MgM3 = 171;
} // namespace SimUnit

constexpr int SimGasCount = 64;

// Codes above 63 fall back to the placeholder row 63. Older firmware carries the older
// table (edition A), which differs in a few full scales and units.
SimGas simGas(int code, bool editionA);
// Rows rated in %LEL by a combustible sensor: one sensor can be switched between them.
bool simGasIsCombustible(int code);

// Detector family from the identification number: 0..3, or -1 for numbers from 9700000.
int simKind(quint32 id);
// True when the firmware is older than a feature needs (the family's version rule).
bool simFirmwareBelow(int kind, quint16 version, quint16 limitA, quint16 limitB);
