#pragma once

#include "Device.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdint>

// Register block buffer, indexed by register number. The requests never
// yield a register above the detector's last, so one word per register is
// all it holds.
using RegisterBlock = std::array<quint16, kpx::RegisterCount>;

// What a settings-chain step leaves to the engine.
enum class StepResult {
    Nothing,  // not a step of the chain
    Done,     // the next write is on its way, or the chain ended as is
    ReadAgain // the chain ended with a change: read the detector once more
};

// What a command echo leaves to the engine.
enum class EchoResult {
    EndCommand, // the command is over
    KeepPending // the detector went to its service mode; that exchange ends it
};

// What a decoding pass did with a block.
enum class DecodeResult {
    Rejected,   // nothing shown
    Shown,      // the panel shows the block
    EndedAtEcho // shown up to the echo of a status write, where the pass stops
};

// What the exchange needs from the window that owns it: its continuations,
// its timers and its way of telling the user.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    virtual void LogAppend(const QString& entry) = 0;
    virtual void SetStatusText(int panel, const QString& text) = 0;
    virtual void ShowMessage(const QString& text) = 0;

    virtual void DeviceFound(int address, uint32_t id) = 0;
    virtual StepResult SettingsStep(int reg) = 0;
    virtual EchoResult CommandEcho(int reg, quint16 value) = 0;
    virtual DecodeResult DecodeBlock(int function, int address, const RegisterBlock& block,
                                     int first, int last) = 0;

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
