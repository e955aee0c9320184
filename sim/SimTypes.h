#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

enum class SimParity { None, Odd, Even };

// Line settings of a detector, or of the port as far as the simulator can see them.
struct SimLine {
    int baud = 19200;
    SimParity parity = SimParity::Even;
    int stopBits = 1;

    bool operator==(const SimLine& other) const {
        return baud == other.baud && parity == other.parity && stopBits == other.stopBits;
    }
    bool operator!=(const SimLine& other) const { return !(*this == other); }

    // Start bit, 8 data bits, parity bit, stop bits.
    int charBits() const { return 1 + 8 + (parity == SimParity::None ? 0 : 1) + stopBits; }
    double charMs() const { return baud > 0 ? charBits() * 1000.0 / baud : 0.0; }
    // A port whose parity is unknown (a pseudo-terminal) matches on baud and stop bits.
    bool hears(const SimLine& port, bool parityVisible) const {
        return baud == port.baud && stopBits == port.stopBits &&
               (!parityVisible || parity == port.parity);
    }
    QString text(bool withParity = true) const;
};

// The service mode always talks at 9600 baud, no parity, one stop bit.
inline const SimLine SimServiceLine{9600, SimParity::None, 1};

// Misbehaviour of one detector, switchable at run time. Defaults mean a healthy detector.
struct SimFaults {
    bool silent = false;        // neither hears nor answers, as if disconnected
    int slowMs = 0;             // every reply leaves this much later
    bool badCrc = false;        // Modbus replies carry a broken CRC
    int truncate = 0;           // Modbus replies lose this many bytes at the end
    int exceptionRegister = -1; // requests touching this register get exceptionCode
    int exceptionCode = 4;
    int dropEvery = 0;          // every Nth reply is lost on the line
    bool stayInService = false; // "MODBUS\r" is acknowledged, the detector stays in service mode
    int shortLogBlock = -1;     // this event-log block (0..3) is sent short
    bool noModbusAck = false;   // "MODBUS\r" switches back without an acknowledgement
    int noiseBytes = 0;         // stray bytes on the line before every Modbus reply
    int noiseValue = 0;         // their value, -1 random
    int noiseGapMs = 0;         // silence between them and the reply
};

// Sets one fault by its name (the JSON and console name); false with a message otherwise.
bool simSetFault(SimFaults& faults, const QString& name, int value, QString* error);
QStringList simFaultNames();
// "name=value" for every fault that differs from a healthy detector.
QString simDescribeFaults(const SimFaults& faults);

// One entry of the traffic log: bytes seen on the line or an event of the bus.
struct SimTraffic {
    enum Direction { In, Out, Event };
    qint64 msecsSinceEpoch = 0;
    Direction direction = In;
    QByteArray bytes;
    QString note;

    QString text() const;
};
