#pragma once

#include <cstdint>

namespace kpx {

// Holding registers of the detector, by number.
namespace Reg {
constexpr int Line = 0;
constexpr int SerialHigh = 1;
constexpr int SerialLow = 2;
constexpr int Gas = 3;
constexpr int Status = 4;
constexpr int UnitAndFaults = 5;
constexpr int Concentration = 6; // also takes the commands below when written
constexpr int Temperature = 7;
constexpr int Range = 8;
constexpr int Limit1 = 9;
constexpr int Limit2 = 10;
constexpr int Magnet = 11;
constexpr int Hysteresis = 12;
constexpr int ZeroZone = 13;
constexpr int Version = 16;
constexpr int Current = 18;
constexpr int ServiceMode = 99;
} // namespace Reg

// Register 4: status bits and the relay settings.
namespace StatusBit {
constexpr uint16_t Fault = 0x0001;
constexpr uint16_t Threshold1 = 0x0002; // oxygen: concentration below threshold 1
constexpr uint16_t Threshold2 = 0x0004;
constexpr uint16_t RangeExceeded = 0x0008;
constexpr uint16_t WarmUp = 0x0010; // in current setup mode: output fixed at 1 mA
constexpr uint16_t SpecialMode = 0x0080;
constexpr uint16_t BlockReadings = 0x0100;
constexpr uint16_t CurrentSetup = 0x0200;
constexpr uint16_t Relay1Closed = 0x0400;
constexpr uint16_t Relay2Closed = 0x0800;
constexpr uint16_t RelayDClosed = 0x1000;
// A settings write replaces the block and relay bits and keeps all others.
constexpr uint16_t KeptBySettingsWrite = 0xE2FF;
} // namespace StatusBit

// Register 5: selected unit, methane list flag and fault details.
namespace UnitBit {
constexpr uint16_t SecondUnit = 0x8000;
constexpr uint16_t HideMethane = 0x4000;
constexpr uint16_t LowSupply = 0x0001;
constexpr uint16_t NoSensor = 0x0002;
constexpr uint16_t SensorContaminated = 0x0004;
constexpr uint16_t BusBreak = 0x0008;
constexpr uint16_t BadSensorData = 0x0100;
constexpr uint16_t BadDisplayData = 0x0200;
} // namespace UnitBit

// Values written to register 6 as commands, and to register 99.
namespace Command {
constexpr uint16_t Zero = 0xAAAA;
constexpr uint16_t ResetCalibration = 0xBBBB;
constexpr uint16_t SelectUnit = 0xFF00; // + unit index
constexpr uint16_t Point1mA = 0xF111;
constexpr uint16_t Point4mA = 0;
constexpr uint16_t EnterServiceMode = 0x7E19;
} // namespace Command

// Register 0 as the lists of the line-settings section show it: list indices,
// not codes (baud 0 = 1200 .. 7 = 115200; parity 0 none, 1 odd, 2 even; stop
// bits 0 = one, 1 = two). A word with an undefined code decodes to an index
// outside the lists (for example -1), which selects nothing.
struct DetectorLineSettings {
    int address;
    int baudIndex;
    int parityIndex;
    int stopBitsIndex;
};

DetectorLineSettings DecodeLineWord(uint16_t word);
// Packed as the detector expects, summed into 16 bits without range checks.
uint16_t EncodeLineWord(const DetectorLineSettings& settings);

int UnitIndex(uint16_t unitWord);

// Register 4 as the parameters write sends it: the stored word with the
// block and relay settings replaced (relay index 1 = normally closed).
uint16_t SettingsStatusWord(uint16_t stored, bool block, int relay1, int relay2, int relayD);

} // namespace kpx
