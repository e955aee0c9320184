#pragma once

#include "SimGas.h"
#include "SimProtocol.h"
#include "SimTypes.h"

#include <QObject>
#include <QRandomGenerator>

#include <array>
#include <functional>

// How a detector starts. Register-like fields are register words; live quantities are
// physical values in the gas's first unit (see sim/README.md for the JSON form).
struct SimDetectorConfig {
    int address = 1;
    quint32 id = 9400000;
    quint16 firmware = 0x0840;
    SimLine line;
    int gas = 1;
    QList<int> gases; // gases the sensor can be switched to; empty: decided by the sensor
    int unit = 0;
    bool hideMethane = false;
    quint16 range = 0; // 0: the gas's full scale
    quint16 threshold1 = 200;
    quint16 threshold2 = 400;
    quint16 magnet = 500;
    quint16 hysteresis = 50;
    quint16 zeroZone = 0;
    bool block = false;
    std::array<bool, 3> relayClosed{false, false, true}; // relay 1, relay 2, diagnostic
    bool setupMode = false;
    bool warmup = false;
    bool special = false;
    bool faulty = false;
    quint16 faultDetails = 0;              // register 5 bits 0..3, 8, 9
    std::array<quint16, 3> spare{0, 0, 0}; // registers 14, 15, 17
    double temperature = 22.0;
    double testGas = 0.0;
    double zeroError = 0.0;                   // sensor offset before any zero
    double sensitivity = 1.0;                 // sensor gain before any span
    double noise = 0.0;                       // amplitude of the drift while the bus is live
    std::array<int, 3> currentError{0, 0, 0}; // output error at 1, 4, 20 mA, 0.01 mA
    bool emptyLog = false;
    SimFaults faults;
};

// What a detector sends back, and what it does once those bytes have left.
struct SimReply {
    QByteArray bytes;
    std::function<void()> afterSent;
};

class SimDetector : public QObject {
    Q_OBJECT
public:
    static constexpr int RegisterCount = 19;
    static constexpr int ServiceRegister = 99;
    static constexpr int LogSlots = 512;

    explicit SimDetector(const SimDetectorConfig& config, QObject* parent = nullptr);

    int address() const { return m_regs[0] >> 8; }
    SimLine line() const;
    quint32 id() const { return (quint32(m_regs[1]) << 16) | m_regs[2]; }
    int kind() const { return simKind(id()); }
    bool inServiceMode() const { return m_service; }
    bool setupMode() const { return m_regs[4] & SetupBit; }
    QList<int> gases() const { return m_gases; }

    // The value a read returns now.
    quint16 readRegister(int reg) const;
    // Sets a register directly, without the rules a Modbus write goes through. Registers 6
    // and 18 are results: the test gas and the output error are set so that they read value.
    bool setRegister(int reg, quint16 value);

    SimFaults& faults() { return m_faults; }
    const SimFaults& faults() const { return m_faults; }

    // Test gas at the sensor, in the gas's first unit; 0 is clean air.
    void applyTestGas(double value);
    double testGas() const { return m_testGas; }
    // The calibrated reading in the gas's first unit.
    double reading() const;

    // Power cycle: back to Modbus, "switched on" recorded in the event log.
    void restart();

    // 512 slots of two bytes (event code, parameter) in storage order.
    QByteArray eventLog() const { return m_log; }
    void setEventLog(const QByteArray& records);
    void logEvent(quint8 code, quint8 parameter);
    // The toxic sensor's 72-byte parameter block as sent on the wire.
    QByteArray toxicBlock() const { return m_toxic; }

    // Frames from the bus: a Modbus request for this address with a valid CRC, and a
    // service command while in service mode.
    SimReply handleModbus(const QByteArray& frame);
    SimReply handleService(SimProtocol::ServiceCommand command, const QByteArray& frame);

    // One second of a live detector: the reading and the temperature drift a little.
    void tick();
    // Counts replies for the "drop every Nth reply" fault.
    int nextReplyNumber() { return ++m_replies; }

signals:
    // Address, line settings or mode changed after a reply went out.
    void stateChanged(const QString& what);

private:
    static constexpr quint16 FaultBit = 0x0001;
    static constexpr quint16 WarmupBit = 0x0010;
    static constexpr quint16 SpecialBit = 0x0080;
    static constexpr quint16 BlockBit = 0x0100;
    static constexpr quint16 SetupBit = 0x0200;
    static constexpr int RelayShift = 10; // relay 1, relay 2, diagnostic relay in bits 10..12
    static constexpr quint16 WritableSettings = 0x1F00; // block, setup mode, three relays
    static constexpr quint16 SecondUnitBit = 0x8000;
    static constexpr quint16 HideMethaneBit = 0x4000;
    static constexpr quint16 OnemAPoint = 0xF111;

    enum Register { Line = 0, Gas = 3, Status = 4, Unit = 5, Conc = 6, Temp = 7, Range = 8 };

    using WriteRule = quint8 (SimDetector::*)(int reg, quint16 value);
    struct WriteRoute {
        int first;
        int last;
        WriteRule apply;
    };
    static const WriteRoute writeRoutes[];

    SimReply readHolding(const QByteArray& frame);
    SimReply writeSingle(const QByteArray& frame);
    bool touchesFaultRegister(int first, int count) const;

    quint8 writeLine(int reg, quint16 value);
    quint8 writeGas(int reg, quint16 value);
    quint8 writeStatus(int reg, quint16 value);
    quint8 writeCommand(int reg, quint16 value);
    quint8 writeRange(int reg, quint16 value);
    quint8 writeRelative(int reg, quint16 value);
    quint8 writeTrim(int reg, quint16 value);
    quint8 writeService(int reg, quint16 value);
    quint8 zero();
    quint8 resetCalibration();
    quint8 selectUnit(int index);
    quint8 span(quint16 value);

    SimReply readLogBlock(const QByteArray& frame);
    SimReply eraseLog(const QByteArray& frame);
    SimReply backToModbus();
    SimReply readToxic();
    SimReply readConcentration();
    SimReply writeToxic(const QByteArray& frame);

    bool editionA() const;
    SimGas gas() const { return simGas(m_regs[Gas], editionA()); }
    int unitIndex() const { return (m_regs[Unit] & SecondUnitBit) ? 1 : 0; }
    quint8 unitCode() const { return gas().units[unitIndex()]; }
    double unitFactor() const { return unitIndex() ? double(gas().factor) : 1.0; }
    int unitDigits(int index) const;
    double rawSignal() const;
    double readingInUnit() const { return reading() * unitFactor(); }
    double shownInUnit() const;
    double rangeInUnit() const;
    double relativeStep() const;
    quint16 concentrationRegister() const;
    quint16 currentRegister() const;
    int pointIndex() const;
    quint8 percentOfRange(double value) const;
    quint16 alarmState() const;
    void updateAlarms();

    float toxicFloat(int index) const;
    void setToxicFloat(int index, float value);
    double zeroOffset() const { return toxicFloat(3); }
    double gain() const { return toxicFloat(4); }

    std::array<quint16, RegisterCount> m_regs{};
    QList<int> m_gases;
    SimFaults m_faults;
    double m_testGas = 0.0;
    double m_zeroError = 0.0;
    double m_sensitivity = 1.0;
    double m_noiseAmplitude = 0.0;
    double m_noise = 0.0;
    double m_temperature = 22.0;
    double m_nominalTemperature = 22.0;
    quint16 m_alarms = 0;
    quint16 m_point = 0;
    std::array<int, 3> m_currentError{};
    bool m_service = false;
    QByteArray m_log;
    int m_logNext = 0;
    QByteArray m_toxic;
    int m_replies = 0;
    std::function<void()> m_afterSent;
    QRandomGenerator m_random;
};
