#include "SimDetector.h"

#include "SimEventLog.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

using namespace SimProtocol;

namespace {

constexpr int Oxygen = 23;
constexpr int Hydrogen = 32;
constexpr quint16 ServiceKey = 0x7E19;
constexpr quint16 ZeroCommand = 0xAAAA;
constexpr quint16 ResetCommand = 0xBBBB;
constexpr quint16 UnitCommand = 0xFF00;
constexpr quint16 MaxRelative = 1000;             // 100 % of the range in thousandths
constexpr int PointNominal[3] = {100, 400, 2000}; // 1, 4 and 20 mA in 0.01 mA
constexpr int PlausibleTrim = 100; // a measured value further off is not a measurement

double powerOfTen(int digits) {
    return std::pow(10.0, digits);
}

quint16 toWord(double value) {
    return quint16(std::clamp(std::round(value), 0.0, 65535.0));
}

quint16 wordAt(const QByteArray& frame, int offset) {
    return quint16((quint8(frame[offset]) << 8) | quint8(frame[offset + 1]));
}

QByteArray bigEndianWord(quint16 value) {
    QByteArray bytes;
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
    return bytes;
}

QList<int> sensorGases(int gas) {
    if (!simGasIsCombustible(gas))
        return {gas};
    QList<int> gases;
    for (int code = 0; code < SimGasCount; ++code)
        if (simGasIsCombustible(code))
            gases << code;
    return gases;
}

// Word 1, word 2, then floats 1..17. Float 3 is the zero offset and float 4 the span
// gain; the others are the sensor's characterisation, carried unchanged.
QByteArray defaultToxicBlock(int gas, quint32 id) {
    QByteArray block;
    block += bigEndianWord(quint16(gas));
    block += bigEndianWord(quint16(id & 0xFFFF));
    const float floats[17] = {0.070f, 0.0025f, 0.0f, 1.0f, 20.0f, 1.0f, -0.002f, 0.00001f, 0.0f,
                              0.0f,   0.0f,    0.0f, 0.0f, 0.0f,  1.0f, 50.0f,   -40.0f};
    for (const float value : floats) {
        quint32 bits;
        std::memcpy(&bits, &value, sizeof bits);
        block += bigEndianWord(quint16(bits >> 16));
        block += bigEndianWord(quint16(bits & 0xFFFF));
    }
    return block;
}

int firstFreeSlot(const QByteArray& log) {
    for (int slot = 0; slot < SimDetector::LogSlots; ++slot)
        if (log[2 * slot] == 0)
            return slot;
    return 0;
}

} // namespace

const SimDetector::WriteRoute SimDetector::writeRoutes[] = {
    {0, 0, &SimDetector::writeLine},   {3, 3, &SimDetector::writeGas},
    {4, 4, &SimDetector::writeStatus}, {6, 6, &SimDetector::writeCommand},
    {8, 8, &SimDetector::writeRange},  {9, 13, &SimDetector::writeRelative},
    {18, 18, &SimDetector::writeTrim}, {99, 99, &SimDetector::writeService},
};

SimDetector::SimDetector(const SimDetectorConfig& c, QObject* parent)
    : QObject(parent), m_gases(c.gases.isEmpty() ? sensorGases(c.gas) : c.gases),
      m_faults(c.faults), m_testGas(c.testGas), m_zeroError(c.zeroError),
      m_sensitivity(c.sensitivity), m_noiseAmplitude(c.noise), m_temperature(c.temperature),
      m_nominalTemperature(c.temperature), m_currentError(c.currentError),
      m_toxic(defaultToxicBlock(c.gas, c.id)),
      m_random(quint32(c.id ^ (quint32(c.address) << 24))) {
    m_regs[Line] = encodeLine(c.address, c.line);
    m_regs[1] = quint16(c.id >> 16);
    m_regs[2] = quint16(c.id & 0xFFFF);
    m_regs[Gas] = quint16(c.gas);
    m_regs[Status] = quint16((c.faulty || c.faultDetails ? FaultBit : 0) |
                             (c.warmup ? WarmupBit : 0) | (c.special ? SpecialBit : 0) |
                             (c.block ? BlockBit : 0) | (c.setupMode ? SetupBit : 0));
    for (int relay = 0; relay < 3; ++relay)
        if (c.relayClosed[relay])
            m_regs[Status] |= quint16(1 << (RelayShift + relay));
    m_regs[Unit] = quint16((c.unit ? SecondUnitBit : 0) | (c.hideMethane ? HideMethaneBit : 0) |
                           c.faultDetails);
    m_regs[16] = c.firmware;
    m_regs[Range] = c.range ? c.range : gas().fullScale;
    m_regs[9] = c.threshold1;
    m_regs[10] = c.threshold2;
    m_regs[11] = c.magnet;
    m_regs[12] = c.hysteresis;
    m_regs[13] = c.zeroZone;
    m_regs[14] = c.spare[0];
    m_regs[15] = c.spare[1];
    m_regs[17] = c.spare[2];
    m_log = c.emptyLog ? QByteArray(2 * LogSlots, '\0')
                       : simRealisticLog({c.address, quint8(m_regs[Line] & 0xFF), c.gas,
                                          gas().units[c.unit ? 1 : 0],
                                          quint8((m_regs[Status] >> RelayShift) & 7)});
    m_logNext = firstFreeSlot(m_log);
    m_alarms = alarmState(); // a detector that starts in alarm has no history of it
}

SimLine SimDetector::line() const {
    int address = 0;
    SimLine line;
    if (!decodeLine(m_regs[Line], &address, &line))
        line.baud = 0; // a word no detector would accept: it hears nothing
    return line;
}

quint16 SimDetector::readRegister(int reg) const {
    switch (reg) {
    case Status: {
        quint16 value = m_regs[Status] | m_alarms;
        if (setupMode()) // bit 4 tells the 1 mA point while the output is fixed
            value = quint16((value & ~WarmupBit) | (m_point == OnemAPoint ? WarmupBit : 0));
        return value;
    }
    case Conc:
        return concentrationRegister();
    case Temp:
        return quint16(qint16(std::lround(m_temperature * 100)));
    case 18:
        return currentRegister();
    default:
        return reg >= 0 && reg < RegisterCount ? m_regs[reg] : 0;
    }
}

bool SimDetector::setRegister(int reg, quint16 value) {
    if (reg < 0 || reg >= RegisterCount)
        return false;
    switch (reg) {
    case Conc:
        if (setupMode()) {
            m_point = value;
        } else if (gain() != 0 && unitFactor() != 0 && m_sensitivity != 0) {
            const double firstUnit = value / powerOfTen(unitDigits(unitIndex())) / unitFactor();
            const double raw = firstUnit / gain() - zeroOffset();
            m_testGas = (raw - m_zeroError - m_noise) / m_sensitivity;
        }
        break;
    case Temp:
        m_temperature = m_nominalTemperature = qint16(value) / 100.0;
        break;
    case 18: {
        const int shift = int(value) - int(currentRegister());
        for (int& error : m_currentError)
            error += shift;
        break;
    }
    default:
        m_regs[reg] = value;
    }
    updateAlarms();
    return true;
}

void SimDetector::applyTestGas(double value) {
    m_testGas = value;
    updateAlarms();
}

double SimDetector::reading() const {
    return (rawSignal() + zeroOffset()) * gain();
}

void SimDetector::restart() {
    m_service = false;
    logEvent(SimEvent::PowerOn, 0);
    emit stateChanged(QStringLiteral("restarted"));
}

void SimDetector::setEventLog(const QByteArray& records) {
    m_log = records.left(2 * LogSlots).leftJustified(2 * LogSlots, '\0');
    m_logNext = firstFreeSlot(m_log);
}

void SimDetector::logEvent(quint8 code, quint8 parameter) {
    // The log is a ring: when it is full the oldest slot is overwritten.
    m_log[2 * m_logNext] = char(code);
    m_log[2 * m_logNext + 1] = char(parameter);
    m_logNext = (m_logNext + 1) % LogSlots;
}

SimReply SimDetector::handleModbus(const QByteArray& frame) {
    const quint8 function = quint8(frame[1]);
    if (function == ReadHolding)
        return readHolding(frame);
    if (function == WriteSingle)
        return writeSingle(frame);
    return {exceptionReply(quint8(address()), function, IllegalFunction), {}};
}

namespace {
bool isRegister(int reg) {
    return (reg >= 0 && reg < SimDetector::RegisterCount) || reg == SimDetector::ServiceRegister;
}
} // namespace

bool SimDetector::touchesFaultRegister(int first, int count) const {
    const int reg = m_faults.exceptionRegister;
    return reg >= 0 && reg >= first && reg < first + count;
}

SimReply SimDetector::readHolding(const QByteArray& frame) {
    const int start = wordAt(frame, 2);
    const int count = wordAt(frame, 4);
    const auto refuse = [&](quint8 code) {
        return SimReply{exceptionReply(quint8(address()), ReadHolding, code), {}};
    };
    if (count < 1 || count > 125)
        return refuse(IllegalValue);
    for (int reg = start; reg < start + count; ++reg)
        if (!isRegister(reg))
            return refuse(IllegalAddress);
    if (touchesFaultRegister(start, count))
        return refuse(quint8(m_faults.exceptionCode));
    updateAlarms();
    QList<quint16> values;
    for (int reg = start; reg < start + count; ++reg)
        values << readRegister(reg);
    return {readReply(quint8(address()), values), {}};
}

SimReply SimDetector::writeSingle(const QByteArray& frame) {
    const int reg = wordAt(frame, 2);
    const quint16 value = wordAt(frame, 4);
    quint8 code = 0;
    if (!isRegister(reg)) {
        code = IllegalAddress;
    } else if (touchesFaultRegister(reg, 1)) {
        code = quint8(m_faults.exceptionCode);
    } else {
        const auto route =
            std::find_if(std::begin(writeRoutes), std::end(writeRoutes),
                         [reg](const WriteRoute& r) { return reg >= r.first && reg <= r.last; });
        // Registers without a route are the detector's own readings and identity.
        code = route == std::end(writeRoutes) ? IllegalValue : (this->*route->apply)(reg, value);
    }
    if (code != 0) {
        m_afterSent = nullptr;
        return {exceptionReply(quint8(address()), WriteSingle, code), {}};
    }
    return {frame, std::exchange(m_afterSent, nullptr)};
}

quint8 SimDetector::writeLine(int, quint16 value) {
    int newAddress = 0;
    SimLine newLine;
    if (!decodeLine(value, &newAddress, &newLine))
        return IllegalValue;
    // The echo still goes out at the old address and settings.
    m_afterSent = [this, value] {
        const quint16 old = m_regs[Line];
        m_regs[Line] = value;
        if ((old >> 8) != (value >> 8))
            logEvent(SimEvent::AddressSet, quint8(value >> 8));
        if ((old & 0xFF) != (value & 0xFF))
            logEvent(SimEvent::LineSet, quint8(value & 0xFF));
        emit stateChanged(QStringLiteral("now address %1 at %2").arg(address()).arg(line().text()));
    };
    return 0;
}

quint8 SimDetector::writeGas(int, quint16 value) {
    if (!m_gases.contains(int(value)))
        return IllegalValue;
    if (value == m_regs[Gas])
        return 0;
    // A new gas starts from its own full scale in its first unit.
    m_regs[Gas] = value;
    m_regs[Unit] &= quint16(~SecondUnitBit);
    m_regs[Range] = gas().fullScale;
    logEvent(SimEvent::GasSet, quint8(value));
    updateAlarms();
    return 0;
}

quint8 SimDetector::writeStatus(int, quint16 value) {
    const quint16 old = m_regs[Status];
    const quint16 now = quint16((old & ~WritableSettings) | (value & WritableSettings));
    m_regs[Status] = now;
    if (!(old & SetupBit) && (now & SetupBit))
        m_point = 0; // the output is fixed at 4 mA first
    if (((old ^ now) >> RelayShift) & 7)
        logEvent(SimEvent::RelaysSet, quint8((now >> RelayShift) & 7));
    updateAlarms();
    return 0;
}

quint8 SimDetector::writeCommand(int, quint16 value) {
    if (setupMode()) { // every value picks an output point: 0xF111 1 mA, 0 4 mA, others 20 mA
        m_point = value;
        return 0;
    }
    if (value == ZeroCommand)
        return zero();
    if (value == ResetCommand)
        return resetCalibration();
    if ((value & UnitCommand) == UnitCommand)
        return selectUnit(value & 0xFF);
    return span(value);
}

quint8 SimDetector::zero() {
    setToxicFloat(3, float(-rawSignal()));
    logEvent(SimEvent::Zero, 0);
    updateAlarms();
    return 0;
}

quint8 SimDetector::resetCalibration() {
    setToxicFloat(3, 0.0f);
    setToxicFloat(4, 1.0f);
    logEvent(SimEvent::CalibrationReset, 0);
    updateAlarms();
    return 0;
}

quint8 SimDetector::selectUnit(int index) {
    const SimGas g = gas();
    if (index > 1 || (index == 1 && g.units[0] == g.units[1]))
        return IllegalValue;
    // Older firmware keeps hydrogen in %vol.
    if (index == 1 && m_regs[Gas] == Hydrogen &&
        simFirmwareBelow(kind(), m_regs[16], 0x0630, 0x0820))
        return IllegalValue;
    if (index == unitIndex())
        return 0;
    // Between %vol and %LEL the range register holds a volume concentration either way.
    if (g.units[0] != SimUnit::Lel && g.units[1] != SimUnit::Lel) {
        const double factor = index ? double(g.factor) : 1.0 / double(g.factor);
        m_regs[Range] = std::max<quint16>(1, toWord(m_regs[Range] * factor));
    }
    m_regs[Unit] = quint16((m_regs[Unit] & ~SecondUnitBit) | (index ? SecondUnitBit : 0));
    logEvent(SimEvent::UnitSet, g.units[index]);
    updateAlarms();
    return 0;
}

quint8 SimDetector::span(quint16 value) {
    // Firmware before 6.10 took the test gas in the first unit whatever unit was selected.
    const int index = unitIndex() == 1 && m_regs[16] < 0x0610 ? 0 : unitIndex();
    const double target =
        value / powerOfTen(unitDigits(index)) / (index ? double(gas().factor) : 1.0);
    const double signal = rawSignal() + zeroOffset();
    if (value == 0 || signal <= 0)
        return IllegalValue; // no test gas at the sensor: nothing to calibrate against
    const double newGain = target / signal;
    if (newGain < 0.2 || newGain > 5.0)
        return IllegalValue; // a sensor that far off is worn out, not calibrated
    setToxicFloat(4, float(newGain));
    logEvent(SimEvent::Span, percentOfRange(target));
    updateAlarms();
    return 0;
}

quint8 SimDetector::writeRange(int, quint16 value) {
    if (value == 0)
        return IllegalValue;
    if (value == m_regs[Range])
        return 0;
    m_regs[Range] = value;
    logEvent(SimEvent::RangeSet,
             quint8(std::min(255, value * 100 / std::max<int>(1, gas().fullScale))));
    updateAlarms();
    return 0;
}

quint8 SimDetector::writeRelative(int reg, quint16 value) {
    static const quint8 events[] = {SimEvent::Threshold1Set, SimEvent::Threshold2Set,
                                    SimEvent::MagnetSet, SimEvent::HysteresisSet,
                                    SimEvent::ZeroZoneSet};
    if (value > MaxRelative)
        return IllegalValue;
    if (m_regs[reg] != value)
        logEvent(events[reg - 9], quint8(value / 10));
    m_regs[reg] = value;
    updateAlarms();
    return 0;
}

quint8 SimDetector::writeTrim(int, quint16 value) {
    if (!setupMode())
        return IllegalValue; // trimming needs the output fixed at a point
    const int point = pointIndex();
    const int measured = int(value) - PointNominal[point];
    if (std::abs(measured) <= PlausibleTrim) {
        m_currentError[point] -= measured;
        logEvent(SimEvent::CurrentTrim, 0);
    }
    return 0;
}

quint8 SimDetector::writeService(int, quint16 value) {
    if (value != ServiceKey)
        return IllegalValue;
    m_afterSent = [this] {
        m_service = true;
        emit stateChanged(QStringLiteral("service mode"));
    };
    return 0;
}

SimReply SimDetector::handleService(ServiceCommand command, const QByteArray& frame) {
    switch (command) {
    case ServiceCommand::ReadLog:
        return readLogBlock(frame);
    case ServiceCommand::EraseLog:
        return eraseLog(frame);
    case ServiceCommand::BackToModbus:
        return backToModbus();
    case ServiceCommand::ReadToxic:
        return readToxic();
    case ServiceCommand::ReadConc:
        return readConcentration();
    case ServiceCommand::WriteToxic:
        return writeToxic(frame);
    }
    return {};
}

SimReply SimDetector::readLogBlock(const QByteArray& frame) {
    const int block = frame[8] - '0';
    if (frame.mid(1, 2) != logAddress(address()) || block < 0 || block >= LogBlockCount)
        return {};
    const int slotsPerBlock = (LogBlockSize - 8) / 2;
    QByteArray reply = "#" + logAddress(address()) + "LOG" + char('0' + block) + ':';
    reply += m_log.mid(block * slotsPerBlock * 2, slotsPerBlock * 2);
    if (m_faults.shortLogBlock == block)
        reply.truncate(LogBlockSize / 2);
    return {reply, {}};
}

SimReply SimDetector::eraseLog(const QByteArray& frame) {
    if (frame.mid(1, 2) != logAddress(address()))
        return {};
    m_log.fill('\0');
    m_logNext = 0;
    return {"#" + logAddress(address()) + "OK\r", {}};
}

SimReply SimDetector::backToModbus() {
    const QByteArray ack = m_faults.noModbusAck ? QByteArray() : QByteArray("OK\r");
    if (m_faults.stayInService)
        return {ack, {}};
    return {ack, [this] {
                m_service = false;
                emit stateChanged(QStringLiteral("back to Modbus"));
            }};
}

SimReply SimDetector::readToxic() {
    if (gas().sensorType == 0)
        return {}; // only toxic and other electrochemical sensors carry the block
    return {"TOXIC" + m_toxic + bigEndianWord(byteSum(m_toxic)), {}};
}

SimReply SimDetector::readConcentration() {
    if (gas().sensorType == 0)
        return {};
    // The raw signal before the zero offset, in units of the gas's last decimal.
    const long raw =
        std::lround(std::clamp(rawSignal() * powerOfTen(gas().digits), -9999.0, 99999.0));
    const QByteArray head = QString::asprintf("T=%+06.2f ZERO=%+010.4f GAIN=%06.4f", m_temperature,
                                              zeroOffset(), gain())
                                .toLatin1();
    return {head.leftJustified(36, ' ', true) +
                QByteArray::number(qlonglong(raw)).rightJustified(5, ' ') + "\r",
            {}};
}

SimReply SimDetector::writeToxic(const QByteArray& frame) {
    if (frame.mid(1, 2) != hexAddress(address()) || gas().sensorType == 0)
        return {};
    const QByteArray block = frame.mid(10, ToxicBlockSize);
    if (byteSum(block) != wordAt(frame, 10 + ToxicBlockSize))
        return {}; // a damaged block is not taken, and not acknowledged
    m_toxic = block;
    logEvent(SimEvent::Zero, 0);
    updateAlarms();
    return {"#" + hexAddress(address()) + "OK\r", {}};
}

void SimDetector::tick() {
    if (m_noiseAmplitude <= 0)
        return;
    const double step = (m_random.generateDouble() - 0.5) * 0.4 * m_noiseAmplitude;
    m_noise = std::clamp(m_noise + step, -m_noiseAmplitude, m_noiseAmplitude);
    const double warmth = (m_random.generateDouble() - 0.5) * 0.04;
    m_temperature =
        std::clamp(m_temperature + warmth, m_nominalTemperature - 0.5, m_nominalTemperature + 0.5);
    updateAlarms();
}

bool SimDetector::editionA() const {
    return simFirmwareBelow(kind(), m_regs[16], 0x0630, 0x0690);
}

int SimDetector::unitDigits(int index) const {
    const SimGas g = gas();
    return g.units[index] == SimUnit::Lel ? 1 : g.digits;
}

double SimDetector::rawSignal() const {
    return m_testGas * m_sensitivity + m_zeroError + m_noise;
}

double SimDetector::rangeInUnit() const {
    const SimGas g = gas();
    if (unitCode() == SimUnit::Lel)
        return g.fullScale ? m_regs[Range] * 100.0 / g.fullScale : 0.0;
    return m_regs[Range] / powerOfTen(g.digits);
}

double SimDetector::relativeStep() const {
    const SimGas g = gas();
    if (unitCode() == SimUnit::Lel)
        return 0.1;
    const quint16 base =
        unitCode() == SimUnit::Volume && m_regs[Range] < g.fullScale ? g.fullScale : m_regs[Range];
    return base / powerOfTen(g.digits) / 1000.0;
}

double SimDetector::shownInUnit() const {
    const double value = readingInUnit();
    return std::abs(value) < m_regs[13] * relativeStep()
               ? 0.0
               : value; // the zero zone shows a clean zero
}

quint16 SimDetector::concentrationRegister() const {
    return setupMode() ? m_point : toWord(shownInUnit() * powerOfTen(unitDigits(unitIndex())));
}

int SimDetector::pointIndex() const {
    if (m_point == OnemAPoint)
        return 0;
    return m_point == 0 ? 1 : 2;
}

quint16 SimDetector::currentRegister() const {
    if (setupMode())
        return toWord(PointNominal[pointIndex()] + m_currentError[pointIndex()]);
    if (m_regs[Status] & FaultBit)
        return 200; // a faulty detector drives 2 mA, below the live zero
    const double range = rangeInUnit();
    const double ratio = range > 0 ? std::clamp(shownInUnit() / range, 0.0, 1.03125) : 0.0;
    const double error = m_currentError[1] + (m_currentError[2] - m_currentError[1]) * ratio;
    return toWord(400 + 1600 * ratio + error);
}

quint8 SimDetector::percentOfRange(double firstUnit) const {
    const double range = rangeInUnit();
    return range > 0
               ? quint8(std::clamp(std::round(firstUnit * unitFactor() / range * 100), 0.0, 255.0))
               : 0;
}

quint16 SimDetector::alarmState() const {
    if ((m_regs[Status] & FaultBit) || setupMode())
        return 0;
    const double value = readingInUnit();
    const double step = relativeStep();
    const double limit1 = m_regs[9] * step;
    const double limit2 = m_regs[10] * step;
    const double hysteresis = m_regs[12] * step;
    const double range = rangeInUnit();
    const auto latch = [this](quint16 bit, bool raise, bool release) {
        return ((m_alarms & bit) ? !release : raise) ? bit : quint16(0);
    };
    // Oxygen raises its first alarm when the level falls below the threshold.
    const bool falling = m_regs[Gas] == Oxygen;
    return latch(0x2, limit1 > 0 && (falling ? value < limit1 : value >= limit1),
                 falling ? value >= limit1 + hysteresis : value < limit1 - hysteresis) |
           latch(0x4, limit2 > 0 && value >= limit2, value < limit2 - hysteresis) |
           latch(0x8, range > 0 && value > range, value <= range);
}

void SimDetector::updateAlarms() {
    const quint16 alarms = alarmState();
    const quint16 risen = alarms & ~m_alarms;
    const quint8 events[] = {SimEvent::Threshold1, SimEvent::Threshold2, SimEvent::RangeExceeded};
    for (int i = 0; i < 3; ++i)
        if (risen & (0x2 << i))
            logEvent(events[i], percentOfRange(reading()));
    m_alarms = alarms;
}

float SimDetector::toxicFloat(int index) const {
    const quint32 bits = qFromBigEndian<quint32>(m_toxic.constData() + 4 + (index - 1) * 4);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void SimDetector::setToxicFloat(int index, float value) {
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToBigEndian(bits, m_toxic.data() + 4 + (index - 1) * 4);
}
