#pragma once

#include <QString>
#include <cstdint>

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

// The two catalogue editions, 64 rows each, indexed by gas code.
// Edition A serves detectors on old firmware; edition B is the default.
const stGas* GasEditionA();
const stGas* GasEditionB();
