#pragma once

#include "ExchangeHost.h"
#include "MainState.h"
#include "PortSettings.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
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

// Stores a normal reply's registers into the block and returns the dump
// lines for the exchange log (empty when the first register is past the
// block, as for the service-mode switch).
QString DumpReply(const ModbusReplyData& reply, RegisterBlock& block);

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
    void applyPendingSettings();
    void countRequest();
    void endCurrentAdjustment();

    MainState& st_;
    ExchangeHost& host_;
    SerialLine* line_;
    RtuMaster* master_;
    RegisterBlock block_{};
    // Settings chosen while a request was on the line, for when it has ended.
    std::optional<LineSettings> pendingSettings_;
};
