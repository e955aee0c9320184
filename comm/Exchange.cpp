#include "Exchange.h"

#include "PanelRules.h"
#include "RegisterMap.h"

#include <QModbusReply>
#include <QModbusRtuSerialClient>
#include <QVariant>

using namespace kpx;

namespace {
// The pause between the end of a reply and the next request is to be 15 ms.
// The master starts its delay only after the reply's handlers have run and
// its timer rounds up to whole milliseconds, which together add about a
// millisecond; asking for 14 ms puts the pause on the line at 15 +- 1 ms.
constexpr int kInterFrameDelayUs = 14000;
constexpr int kDefaultTimeoutMs = 1000;
constexpr int kBlockTimeoutMs = 1000;

QString hex(int value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// Which continuation takes a normal reply; the first row that applies wins.
enum class Route { DeviceFound, SettingsStep, CommandEcho, Decode };

Route RouteOf(const MainState& st, int function) {
    if (st.Searching)
        return Route::DeviceFound;
    if (function == Function::Write && st.Writing)
        return Route::SettingsStep;
    if (function == Function::Write && st.CmdPending)
        return Route::CommandEcho;
    return Route::Decode;
}
} // namespace

QString ExceptionText(int code) {
    static const struct {
        int code;
        const char* name;
    } names[] = {
        {0x01, "Illegal function"},
        {0x02, "Illegal data address"},
        {0x03, "Illegal data value"},
        {0x04, "Server device failure"},
        {0x05, "Acknowledge"},
        {0x06, "Server device busy"},
        {0x08, "Memory parity error"},
        {0x0A, "Gateway path unavailable"},
        {0x0B, "Gateway target device failed to respond"},
    };
    for (const auto& n : names) {
        if (n.code == code)
            return QString::fromLatin1(n.name) + QStringLiteral(" (") + hex(code, 2) +
                   QStringLiteral("h)");
    }
    return QStringLiteral("Unknown modbus exception: ") + hex(code, 2);
}

QString DumpReply(const ModbusReplyData& reply, RegisterBlock& block) {
    QString lines;
    if (reply.regs.isEmpty() || reply.regs.first().first >= RegisterCount)
        return lines;
    for (const auto& [reg, value] : reply.regs) {
        // A malformed reply may claim more registers than the buffer holds;
        // those are shown but not stored.
        if (reg >= 0 && reg < int(block.size()))
            block[size_t(reg)] = value;
        lines += QStringLiteral("Прибор:") + QString::number(reply.slave) +
                 QStringLiteral("  Функция:") + hex(reply.function, 2) +
                 QStringLiteral("  Регистр:") + hex(reg, 4) + QStringLiteral(" = ") +
                 hex(value, 4) + QStringLiteral("\r\n");
    }
    return lines;
}

ModbusExchange::ModbusExchange(MainState& state, ExchangeHost& host, QObject* parent)
    : QObject(parent), st_(state), host_(host), master_(new QModbusRtuSerialClient(this)) {
    master_->setNumberOfRetries(0);
    master_->setInterFrameDelay(kInterFrameDelayUs);
    master_->setTimeout(kDefaultTimeoutMs);
    connect(master_, &QModbusDevice::errorOccurred, this, &ModbusExchange::onMasterError);
}

ModbusExchange::~ModbusExchange() {
    // Pending replies finish during the close; nothing may be routed then.
    master_->disconnect(this);
    master_->disconnectDevice();
}

void ModbusExchange::SetPortName(const QString& name) {
    if (name == portName_)
        return;
    const bool wasOpen = IsOpen();
    Close();
    portName_ = name;
    if (wasOpen)
        Open();
}

void ModbusExchange::SetLineSettings(const LineSettings& settings) {
    if (settings == line_)
        return;
    line_ = settings;
    // The master takes line settings only when it connects.
    if (IsOpen()) {
        Close();
        Open();
    }
}

bool ModbusExchange::IsOpen() const {
    return master_->state() == QModbusDevice::ConnectedState;
}

void ModbusExchange::Open() {
    if (IsOpen())
        return;
    master_->setConnectionParameter(QModbusDevice::SerialPortNameParameter, portName_);
    master_->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, line_.baudRate);
    master_->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, int(line_.dataBits));
    master_->setConnectionParameter(QModbusDevice::SerialParityParameter, int(line_.parity));
    master_->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, int(line_.stopBits));
    opening_ = true;
    const bool ok = master_->connectDevice() && IsOpen();
    opening_ = false;
    if (!ok) {
        const QString reason = master_->errorString();
        master_->disconnectDevice();
        throw HandlerError(reason.isEmpty() ? QStringLiteral("Cannot open ") + portName_ : reason);
    }
    portFailed_ = false;
}

void ModbusExchange::Close() {
    if (master_->state() != QModbusDevice::UnconnectedState)
        master_->disconnectDevice();
}

void ModbusExchange::SetTimeout(int ms) {
    master_->setTimeout(ms);
}

int ModbusExchange::Timeout() const {
    return master_->timeout();
}

void ModbusExchange::ReadBlock(int address) {
    SetTimeout(kBlockTimeoutMs);
    send(address, Function::Read, Reg::Line, RegisterCount);
}

void ModbusExchange::Probe(int address) {
    send(address, Function::Read, Reg::SerialHigh, 2);
}

void ModbusExchange::WriteRegister(int address, int reg, quint16 value) {
    send(address, Function::Write, reg, value);
}

void ModbusExchange::send(int address, int function, int start, int countOrValue) {
    st_.ReplyGot = false;
    if (!active_)
        throw HandlerError(QStringLiteral("Modbus master is not active"));
    if (!IsOpen())
        throw HandlerError(QStringLiteral("Port %1 is not open").arg(portName_));

    QModbusReply* reply = nullptr;
    if (function == Function::Read) {
        reply = master_->sendReadRequest(
            QModbusDataUnit(QModbusDataUnit::HoldingRegisters, start, quint16(countOrValue)),
            address);
    } else {
        QModbusDataUnit unit(QModbusDataUnit::HoldingRegisters, start, 1);
        unit.setValue(0, quint16(countOrValue));
        reply = master_->sendWriteRequest(unit, address);
    }
    if (!reply)
        throw HandlerError(master_->errorString());
    if (reply->isFinished())
        QMetaObject::invokeMethod(
            this, [this, reply] { onFinished(reply); }, Qt::QueuedConnection);
    else
        connect(reply, &QModbusReply::finished, this, [this, reply] { onFinished(reply); });
    countRequest();
}

void ModbusExchange::countRequest() {
    ++st_.TxCount;
    host_.SetStatusText(1, QStringLiteral("Tx: ") + QString::number(st_.TxCount));
}

void ModbusExchange::onFinished(QModbusReply* reply) {
    reply->deleteLater();
    const QModbusResponse raw = reply->rawResult();
    switch (reply->error()) {
    case QModbusDevice::NoError: {
        ModbusReplyData data;
        data.slave = reply->serverAddress();
        data.function = raw.functionCode();
        const QModbusDataUnit unit = reply->result();
        for (qsizetype i = 0; i < unit.valueCount(); ++i)
            data.regs.append({unit.startAddress() + int(i), unit.value(i)});
        ModbusModbusReply(data);
        return;
    }
    case QModbusDevice::ProtocolError:
        if (raw.isException()) {
            ModbusReplyData data;
            data.slave = reply->serverAddress();
            data.function = raw.functionCode();
            data.exception = true;
            data.exceptionCode = raw.exceptionCode();
            ModbusModbusReply(data);
            return;
        }
        break;
    default:
        break;
    }
    // Time-out, or a request the master had to drop (port closed or lost):
    // either way no reply came.
    ModbusTimeout();
}

void ModbusExchange::onMasterError() {
    const QModbusDevice::Error err = master_->error();
    if (opening_ || err == QModbusDevice::NoError || err == QModbusDevice::TimeoutError ||
        err == QModbusDevice::ProtocolError || err == QModbusDevice::ReplyAbortedError)
        return;
    if (master_->state() == QModbusDevice::UnconnectedState || portFailed_)
        return;
    // A pulled adapter leaves the master connected with replies pending; close
    // it so that they end, and say so once.
    portFailed_ = true;
    const QString reason = master_->errorString();
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            master_->disconnectDevice();
            host_.PortLost(reason);
        },
        Qt::QueuedConnection);
}

void ModbusExchange::endCurrentAdjustment() {
    host_.StopProgress();
    st_.CurrWriting = false;
    host_.EnableCurrButton();
}

void ModbusExchange::ModbusModbusReply(const ModbusReplyData& reply) {
    st_.ReplyGot = true;
    ++st_.RxCount;
    host_.SetStatusText(2, QStringLiteral("Rx: ") + QString::number(st_.RxCount));

    if (reply.exception) {
        host_.LogAppend(ExceptionText(reply.exceptionCode).trimmed());
        st_.Writing = false;
        st_.Reading = false;
        st_.CmdPending = false;
        if (st_.CurrWriting)
            endCurrentAdjustment();
        if (st_.WriteReg == Reg::Gas) {
            host_.SetStatusText(3, QString());
            host_.ShowMessage(QStringLiteral("Параметры изменены!\rСмена газа невозможна."));
            host_.StartReadOnes(1000);
        } else {
            host_.ShowMessage(QStringLiteral("Ошибка записи!"));
        }
        return;
    }

    const QString dump = DumpReply(reply, block_);
    if (!dump.isEmpty())
        host_.LogAppend(dump);

    switch (RouteOf(st_, reply.function)) {
    case Route::DeviceFound:
        // A probe asks for the two words of the identification number.
        if (reply.regs.size() == 2)
            host_.DeviceFound(reply.slave,
                              uint32_t(reply.regs[0].second) << 16 | reply.regs[1].second);
        return;
    case Route::SettingsStep:
        if (!reply.regs.isEmpty() &&
            host_.SettingsStep(reply.regs.first().first) == StepResult::ReadAgain)
            host_.StartReadOnes(1000);
        return;
    case Route::CommandEcho:
        if (reply.regs.isEmpty() ||
            host_.CommandEcho(reply.regs.first().first, reply.regs.first().second) !=
                EchoResult::KeepPending)
            st_.CmdPending = false;
        return;
    case Route::Decode:
        break;
    }
    st_.Updating = true;
    const int selected = host_.SelectedAddress();
    if (selected >= 0 && reply.slave == selected && !reply.regs.isEmpty()) {
        if (host_.DecodeBlock(reply.function, reply.slave, block_, reply.regs.first().first,
                              reply.regs.last().first) != DecodeResult::Rejected)
            host_.EnableDevPanel();
    }
    st_.Reading = false;
    st_.Updating = false;
}

void ModbusExchange::ModbusTimeout() {
    if (st_.ReplyGot || st_.Searching)
        return;
    host_.LogAppend(QStringLiteral("Timeout!"));
    host_.SetStatusText(3, QString());
    if (st_.Writing) {
        host_.StopProgress();
        if (st_.CurrWriting) {
            st_.CurrWriting = false;
            host_.EnableCurrButton();
        }
        host_.ShowMessage(QStringLiteral("Ошибка записи параметров!"));
        st_.Writing = false;
    } else if (st_.CmdPending) {
        host_.StopProgress();
        host_.ShowMessage(QStringLiteral("Ошибка градуировки!"));
        st_.CmdPending = false;
    }
    st_.Reading = false;
    host_.StopWriteTimer();
}
