#include "Exchange.h"

#include "PanelRules.h"
#include "PortErrors.h"
#include "RegisterMap.h"
#include "RtuMaster.h"
#include "SerialLine.h"

using namespace kpx;

namespace {
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
    : QObject(parent), st_(state), host_(host), line_(new SerialLine(this)),
      master_(new RtuMaster(this)) {
    master_->SetTimeout(kDefaultTimeoutMs);
    line_->Attach(master_);
    connect(master_, &RtuMaster::Finished, this, &ModbusExchange::onFinished);
    connect(line_, &SerialLine::Lost, this, &ModbusExchange::onLineLost);
}

ModbusExchange::~ModbusExchange() {
    // Requests still pending end with the close; nothing may be routed then.
    master_->disconnect(this);
    line_->disconnect(this);
    line_->Close();
}

void ModbusExchange::SetPortName(const QString& name) {
    if (name == line_->PortName())
        return;
    const bool wasOpen = IsOpen();
    Close();
    line_->SetPortName(name);
    if (wasOpen)
        Open();
}

QString ModbusExchange::PortName() const {
    return line_->PortName();
}

void ModbusExchange::SetLineSettings(const LineSettings& settings) {
    // A request on the line would be cut short (its reply read at the new
    // settings, a false "Timeout!", a write that may have landed reported as
    // failed): new settings wait until the line is quiet.
    if (master_->Pending() > 0 && IsOpen()) {
        pendingSettings_ = settings;
        return;
    }
    pendingSettings_.reset();
    if (settings == line_->Settings())
        return;
    QString error;
    if (!line_->SetSettings(settings, &error))
        throw HandlerError(error);
}

LineSettings ModbusExchange::lineSettings() const {
    return pendingSettings_.value_or(line_->Settings());
}

void ModbusExchange::applyPendingSettings() {
    if (!pendingSettings_ || master_->Pending() > 0)
        return;
    try {
        SetLineSettings(*pendingSettings_);
    } catch (const HandlerError& e) {
        // Nobody is waiting in a handler for this any more: a port that
        // could not take the settings is told as any lost port is.
        if (IsOpen())
            host_.ShowMessage(e.text());
        else
            host_.PortLost(e.text());
    }
}

bool ModbusExchange::IsOpen() const {
    return line_->IsOpen();
}

void ModbusExchange::Open() {
    QString error;
    if (!line_->Open(&error))
        throw HandlerError(error);
}

void ModbusExchange::Close() {
    line_->Close();
}

void ModbusExchange::SetTimeout(int ms) {
    master_->SetTimeout(ms);
}

int ModbusExchange::Timeout() const {
    return master_->Timeout();
}

void ModbusExchange::SetActive(bool active) {
    master_->SetActive(active);
}

bool ModbusExchange::IsActive() const {
    return master_->IsActive();
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
    if (!IsActive())
        throw HandlerError(QStringLiteral("Обмен по Modbus приостановлен: порт занят сервисным "
                                          "режимом прибора."));
    if (!IsOpen())
        throw HandlerError(PortNotOpenText(PortName()));
    QString error;
    if (master_->Send(RtuRequest{address, function, start, countOrValue}, &error) == 0)
        throw HandlerError(error);
    countRequest();
}

void ModbusExchange::countRequest() {
    ++st_.TxCount;
    host_.SetStatusText(1, QStringLiteral("Tx: ") + QString::number(st_.TxCount));
}

void ModbusExchange::onFinished(const RtuResult& result) {
    ModbusReplyData data;
    data.slave = result.request.slave;
    data.function = result.request.function;
    switch (result.outcome) {
    case RtuResult::Reply:
        data.regs = result.Registers();
        ModbusModbusReply(data);
        break;
    case RtuResult::Exception:
        data.exception = true;
        data.exceptionCode = result.ExceptionCode();
        ModbusModbusReply(data);
        break;
    case RtuResult::Timeout:
    case RtuResult::Aborted:
        // Either way no reply came.
        ModbusTimeout();
        break;
    }
    applyPendingSettings();
}

void ModbusExchange::onLineLost(const QString& reason) {
    // The line has closed the port and ended what was pending; the window only
    // needs to hear it, once.
    host_.PortLost(reason);
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
        // WriteReg outlives the chain: only a refusal of the gas write of a
        // chain still running is a refused gas change.
        const bool gasRefused = st_.Writing && st_.WriteReg == Reg::Gas;
        // A refused switch to the service mode ends the log operation it was
        // for; left set, the flags would turn a later zero into a log read.
        if (st_.LogReading || st_.LogErasing) {
            st_.LogReading = st_.LogErasing = false;
            host_.StopProgress();
            host_.SetStatusText(3, QString());
        }
        st_.Writing = false;
        st_.Reading = false;
        st_.CmdPending = false;
        if (st_.CurrWriting)
            endCurrentAdjustment();
        if (gasRefused) {
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
        st_.LogReading = st_.LogErasing = false;
    }
    st_.Reading = false;
    host_.StopWriteTimer();
}
