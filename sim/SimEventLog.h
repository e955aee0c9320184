#pragma once

#include <QByteArray>

// Event codes the detector records (parameter meanings in sim/README.md).
namespace SimEvent {
constexpr quint8 PowerOn = 1;
constexpr quint8 Restart = 2;
constexpr quint8 Fault = 3;
constexpr quint8 Zero = 4;
constexpr quint8 MagneticCalibration = 5;
constexpr quint8 Span = 6;
constexpr quint8 CalibrationReset = 7;
constexpr quint8 Threshold1 = 8;
constexpr quint8 Threshold2 = 9;
constexpr quint8 RangeExceeded = 10;
constexpr quint8 GasSet = 11;
constexpr quint8 RangeSet = 12;
constexpr quint8 UnitSet = 13;
constexpr quint8 Threshold2Set = 14;
constexpr quint8 Threshold1Set = 15;
constexpr quint8 ZeroZoneSet = 16;
constexpr quint8 HysteresisSet = 17;
constexpr quint8 MagnetSet = 18;
constexpr quint8 AddressSet = 19;
constexpr quint8 LineSet = 20;
constexpr quint8 CurrentTrim = 21;
constexpr quint8 RelaysSet = 22;
} // namespace SimEvent

// What a detector knows about itself when its history is made up.
struct SimLogSubject {
    int address;
    quint8 lineByte; // low byte of register 0
    int gas;
    quint8 unitCode;
    quint8 relayBits; // relay 1, relay 2, diagnostic relay in bits 0..2
};

// A history of some months of service: a few dozen events with every code, from
// commissioning through alarms, faults and calibrations, in 512 two-byte slots.
QByteArray simRealisticLog(const SimLogSubject& subject);
