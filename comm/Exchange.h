#pragma once

#include "PortSettings.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>

class RtuMaster;
class SerialLine;
struct RtuResult;

// An error raised inside a command handler; the window shows its text in the
// standard error box and carries on.
class HandlerError : public std::runtime_error {
public:
    explicit HandlerError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// The main window's mode flags and counters. Every command sets its flag and
// sends a request; replies are routed by these flags alone.
struct MainState {
    bool Searching = false;
    bool Reading = false;
    bool Writing = false;
    int16_t WriteReg = 0;
    bool CmdPending = false;
    bool CurrWriting = false;
    bool LogReading = false;
    bool LogErasing = false;
    bool Updating = false;
    bool ReplyGot = false;
    uint8_t ScanAddr = 0;
    int32_t TxCount = 0;
    int32_t RxCount = 0;
    bool ReadTimerWas = false;
    QString ProgressText;
};

// A reply as the handler sees it: normal replies carry (register, value)
// pairs; exception replies carry only the code.
struct ModbusReplyData {
    int slave = 0;
    int function = 0;
    bool exception = false;
    int exceptionCode = 0;
    QList<QPair<int, quint16>> regs;
};

// "Illegal data address (02h)" and the rest.
QString ExceptionText(int code);

// Register block buffer, indexed by register number.
using RegisterBlock = std::array<quint16, 20>;

// Stores a normal reply's registers into the block and returns the dump
// lines for the exchange log (empty for registers 19 and up).
QString DumpReply(const ModbusReplyData& reply, RegisterBlock& block);

// What the exchange needs from the window that owns it: its continuations,
// its timers and its way of telling the user.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    virtual void LogAppend(const QString& entry) = 0;
    virtual void SetStatusText(int panel, const QString& text) = 0;
    virtual void ShowMessage(const QString& text) = 0;

    virtual void DeviceFound(int address, uint32_t id) = 0;
    virtual int SettingsStep(int reg) = 0;
    virtual int CommandEcho(int reg, quint16 value) = 0;
    virtual int DecodeBlock(int function, int address, const RegisterBlock& block, int first,
                            int last) = 0;

    // Address of the selected detector, or -1 when none is selected.
    virtual int SelectedAddress() const = 0;
    virtual void EnableDevPanel() = 0;
    virtual void EnableCurrButton() = 0;
    virtual void StartReadOnes(int intervalMs) = 0;
    virtual void StopProgress() = 0;
    virtual void StopWriteTimer() = 0;
    // The port failed under way (an adapter pulled out); it is closed now.
    virtual void PortLost(const QString& reason) = 0;
};

// The Modbus RTU master of the main window with the program's three request
// operations and the reply and time-out handling. Holds no request table:
// what a reply means is decided from the window's flags.
class ModbusExchange : public QObject {
    Q_OBJECT
public:
    ModbusExchange(MainState& state, ExchangeHost& host, QObject* parent = nullptr);
    ~ModbusExchange() override;

    // Port. Open() raises HandlerError with the system's reason.
    void SetPortName(const QString& name);
    QString PortName() const;
    // Applied to an open port at once; raises HandlerError when the port refuses them.
    void SetLineSettings(const LineSettings& settings);
    LineSettings lineSettings() const;
    bool IsOpen() const;
    void Open();
    void Close();

    // Master.
    void SetTimeout(int ms);
    int Timeout() const;
    void SetActive(bool active);
    bool IsActive() const;

    // Requests; each raises HandlerError and sends nothing when the master
    // is inactive or the port closed.
    void ReadBlock(int address);
    void Probe(int address);
    void WriteRegister(int address, int reg, quint16 value);

    // Handlers of the master's two events; public so that the routing can be
    // driven without a line.
    void ModbusModbusReply(const ModbusReplyData& reply);
    void ModbusTimeout();

    const RegisterBlock& Block() const { return block_; }
    SerialLine* Line() const { return line_; }
    RtuMaster* Master() const { return master_; }

private:
    void send(int address, int function, int start, int countOrValue);
    void onFinished(const RtuResult& result);
    void onLineLost(const QString& reason);
    void countRequest();
    void endCurrentAdjustment();

    MainState& st_;
    ExchangeHost& host_;
    SerialLine* line_;
    RtuMaster* master_;
    RegisterBlock block_{};
};
