#pragma once

#include <QString>
#include <cstdint>

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
