// Calibration commands: zero, span with a test gas through the dialog, reset
// of the calibration, and what the detector's echo of each reports.
#include "UnitMain.h"

#include "Calibration.h"
#include "Device.h"
#include "RegisterMap.h"
#include "UnitDlg.h"
#include "ui_UnitMain.h"

#include <QScopeGuard>

using namespace kpx;

namespace {

const TDevice* recordOf(const TFormMain& w, int address) {
    if (address < 0 || address >= int(w.Devices.size()))
        return nullptr;
    return w.Devices[size_t(address)].get();
}

} // namespace

void TFormMain::SetGasDialog(TFormDlg* dialog) {
    GasDialog = dialog;
}

void TFormMain::ResumeReading(bool wasOn) {
    // Стоп pressed during a wait, or a lost port, has ended the cycle for good.
    if (wasOn && !closed && ui->BtRead->defaultAction() == ui->ActReadStop)
        TimerRead.start();
}

bool TFormMain::CommandConfirmed(const QString& question, bool readTimerWas, bool waitForRead) {
    const TDevice* device = recordOf(*this, SelectedAddress());
    if (device && IsFaulty(*device)) {
        ShowMessage(QStringLiteral("Прибор неработоспособен!"));
        return false;
    }
    if (Searching || Writing)
        return false;
    if (waitForRead) {
        WaitWhileReading();
        // Events ran meanwhile: the window may have closed, a scan begun.
        if (closed || Searching || Writing || !DetectorSelected())
            return false;
    }
    TimerRead.stop();
    if (prompts->confirm(question) && !closed)
        return true;
    ResumeReading(readTimerWas);
    return false;
}

bool TFormMain::SendCommand(int reg, quint16 value) {
    if (!DetectorSelected() || !LineReady())
        return false;
    Modbus->WriteRegister(SelectedAddress(), reg, value);
    CmdNode = SelNode;
    CmdPending = true;
    return true;
}

void TFormMain::ActZero2Execute() {
    if (!DetectorSelected())
        return;
    ReadTimerWas = TimerRead.isActive();
    if (!CommandConfirmed(QStringLiteral("Установить показания в 0?"), ReadTimerWas, true))
        return;
    const TDevice* device = recordOf(*this, SelectedAddress());
    if (!device) {
        ResumeReading(ReadTimerWas);
        return;
    }
    // The service exchange restarts the cycle from ReadTimerWas when it ends;
    // until the switch has gone out, this command does.
    bool handedOver = false;
    const auto resume = qScopeGuard([&] {
        if (!handedOver)
            ResumeReading(ReadTimerWas);
    });
    if (ZeroThroughServiceMode(GasRow(GasTable, device->Registers[Reg::Gas]), *device))
        handedOver = SendCommand(Reg::ServiceMode, Command::EnterServiceMode);
    else
        SendCommand(Reg::Concentration, Command::Zero);
}

void TFormMain::ActZeroExecute() {
    if (!DetectorSelected())
        return;
    const bool readTimerWas = TimerRead.isActive();
    if (!CommandConfirmed(QStringLiteral("Установить показания в 0?"), readTimerWas, true))
        return;
    const auto resume = qScopeGuard([&] { ResumeReading(readTimerWas); });
    SendCommand(Reg::Concentration, Command::Zero);
}

void TFormMain::ActInitExecute() {
    if (!DetectorSelected())
        return;
    const bool readTimerWas = TimerRead.isActive();
    // No wait for an outstanding read: the master queues the write behind it.
    if (!CommandConfirmed(QStringLiteral("Сбросить градуировку?"), readTimerWas, false))
        return;
    const auto resume = qScopeGuard([&] { ResumeReading(readTimerWas); });
    if (SendCommand(Reg::Concentration, Command::ResetCalibration))
        SetStatusText(3, QString());
}

void TFormMain::ActCalbExecute() {
    if (!DetectorSelected() || !GasDialog)
        return;
    // The dialog's limits and scaling come from the last reading; a detector
    // found but not read yet has a range of 0 and would be offered 0.
    if (!PanelShowsSelected())
        return;
    const TDevice& device = *Devices[size_t(SelectedAddress())];
    const uint32_t tag = PackGasTag(GasTagFor(GasTable, device));
    // Warnings only: the engineer may know better, the dialog opens anyway.
    if (IsFaulty(device))
        ShowMessage(QStringLiteral("Прибор неработоспособен!"));
    else if (device.Registers[Reg::Concentration] == 0)
        ShowMessage(QStringLiteral("Необходимо подать ПГС!"));
    if (closed || !GasDialog)
        return;
    GasDialog->setWindowTitle(QStringLiteral("ПГС:"));
    GasDialog->Tag = tag;
    // Already open: brought forward with the entry as it was.
    GasDialog->show();
    GasDialog->raise();
    GasDialog->activateWindow();
}

bool TFormMain::WriteSpan(float x) {
    if (Searching || Writing)
        return false;
    if (!PanelShowsSelected())
        return false;
    const TDevice& device = *Devices[size_t(SelectedAddress())];
    const stGas& row = GasRow(GasTable, device.Registers[Reg::Gas]);
    return SendCommand(Reg::Concentration, SpanValue(x, row, device.Registers[Reg::UnitAndFaults],
                                                     device.Registers[Reg::Version]));
}

EchoResult TFormMain::CommandEcho(int reg, quint16 value) {
    if (reg == Reg::ServiceMode) {
        // The detector now talks its service mode; the exchange there takes
        // over the line and ends the command.
        LogAppend(QStringLiteral("> ASCII"));
        TimerWrite.start();
        return EchoResult::KeepPending;
    }
    if (reg != Reg::Concentration)
        return EchoResult::EndCommand;
    if (value == Command::Zero)
        ShowMessage(QStringLiteral("Установка 0 произведена"));
    else if (value == Command::ResetCalibration)
        ShowMessage(QStringLiteral("Сброс градуировки произведён"));
    else
        ShowMessage(QStringLiteral("Градуировки произведена"));
    return EchoResult::EndCommand;
}
