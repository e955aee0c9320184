#pragma once

#include "GasCatalogue.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace kpx {

constexpr int RegisterCount = 19;

// What the tool knows about one detector on the bus. Registers start at zero:
// a version word of 0 reads as "no version reported yet" and a zero status
// word as a serviceable detector, which is what a freshly found detector is
// until its first block has been read.
struct TDevice {
    int32_t Kind = 0;
    int32_t SerialNumber = 0;
    QString StatusText;
    std::array<uint16_t, RegisterCount> Registers{};
};

// Identification number from the probe's two registers, as the signed
// 32-bit number the kind table compares.
int32_t SerialFromRegisters(uint16_t high, uint16_t low);

// Detector family 0..3, or nothing for numbers of 9700000 and above (those
// answers are ignored and no record is made).
std::optional<int> KindFromSerial(int32_t serialNumber);

bool IsFaulty(const TDevice& device);

// The version words a feature needs. Which of the two limits applies depends
// on the detector kind and on the low bits of its version word.
struct FirmwareLimits {
    uint16_t limitA;
    uint16_t limitB;
};

constexpr FirmwareLimits EditionALimits{0x0630, 0x0690};
constexpr FirmwareLimits HydrogenUnitLockLimits{0x0630, 0x0820};
constexpr FirmwareLimits EventLogMenuLimits{0x0990, 0x0840};
constexpr FirmwareLimits ServiceZeroLimits{0x029E, 0x0334};
constexpr FirmwareLimits Current20SequenceLimits{0x0660, 0x0770};

// True when the firmware is older than a feature needs. A detector that has
// not reported a version yet (0) counts as old, and kind 3 is always old.
bool FirmwareBelow(int kind, uint16_t version, FirmwareLimits limits);
bool FirmwareBelow(const TDevice& device, FirmwareLimits limits);

// The three gates of the version decoding. Unlike FirmwareBelow they treat a
// version of 0 like any other number, and kind 2 has its own first limit.
bool MethaneGate(int kind, uint16_t version);
bool GasGate(int kind, uint16_t version);
bool UnitGate(int kind, uint16_t version);

} // namespace kpx
