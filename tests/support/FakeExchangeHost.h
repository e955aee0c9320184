#pragma once

#include "Exchange.h"

#include <QStringList>

// Records what the exchange asks of its window, as readable lines.
class FakeExchangeHost : public ExchangeHost {
public:
    QStringList log;      // exchange-log entries
    QStringList messages; // modal messages shown
    QStringList calls;    // continuations and timer calls, in order
    QString status[4];
    int selected = -1;
    StepResult settingsStepResult = StepResult::Done;
    EchoResult commandEchoResult = EchoResult::EndCommand;
    DecodeResult decodeResult = DecodeResult::Shown;
    RegisterBlock lastBlock{};

    void LogAppend(const QString& entry) override { log << entry; }
    void SetStatusText(int panel, const QString& text) override { status[panel] = text; }
    void ShowMessage(const QString& text) override { messages << text; }
    void DeviceFound(int address, uint32_t id) override {
        calls << QStringLiteral("DeviceFound %1 %2").arg(address).arg(id);
    }
    StepResult SettingsStep(int reg) override {
        calls << QStringLiteral("SettingsStep %1").arg(reg);
        return settingsStepResult;
    }
    EchoResult CommandEcho(int reg, quint16 value) override {
        calls << QStringLiteral("CommandEcho %1 %2").arg(reg).arg(value, 4, 16, QLatin1Char('0'));
        return commandEchoResult;
    }
    DecodeResult DecodeBlock(int function, int address, const RegisterBlock& block, int first,
                             int last) override {
        lastBlock = block;
        calls << QStringLiteral("DecodeBlock %1 %2 %3..%4")
                     .arg(function)
                     .arg(address)
                     .arg(first)
                     .arg(last);
        return decodeResult;
    }
    int SelectedAddress() const override { return selected; }
    void EnableDevPanel() override { calls << QStringLiteral("EnableDevPanel"); }
    void EnableCurrButton() override { calls << QStringLiteral("EnableCurrButton"); }
    void StartReadOnes(int ms) override { calls << QStringLiteral("StartReadOnes %1").arg(ms); }
    void StopProgress() override { calls << QStringLiteral("StopProgress"); }
    void StopWriteTimer() override { calls << QStringLiteral("StopWriteTimer"); }
    void PortLost(const QString&) override { calls << QStringLiteral("PortLost"); }
};
