// Current-output trimming: the setup mode, the output points, the measured
// current, and the multi-step 20 mA trim of older firmware.
#include "UnitMain.h"

#include "CurrentTrim.h"
#include "Device.h"
#include "PanelRules.h"
#include "RegisterMap.h"
#include "ui_UnitMain.h"

#include <QScopeGuard>

using namespace kpx;

namespace {

constexpr int TrimTimeoutMs = 1500;
// Leaving the setup mode, the detector needs a while before its reading means anything.
constexpr int ReadAfterSetupMs = 15000;
// Old firmware takes the measured value only once its output has settled at 20 mA,
// and the final point a moment after the value.
constexpr int SettleAt20mAMs = 2000;
constexpr int FinalPointMs = 500;
// The first step fixes the output at 20 mA whatever the range.
constexpr quint16 Trim20StartCode = 1000;

// The decimal a single-precision bound stands for: 3.7f widened as it is lies
// above a typed 3.70, and the box would refuse its own bound.
double asWritten(float x) {
    return QString::number(double(x), 'g', 7).toDouble();
}

void showCurrentBox(TFSpinEdit* edit, const NumberBox& box) {
    edit->setDecimals(box.decimals);
    edit->setRange(asWritten(box.min), asWritten(box.max));
    edit->setSingleStep(asWritten(box.step));
    edit->setValue(asWritten(box.value));
}

TDevice* recordOf(TFormMain& w, const QTreeWidgetItem* node) {
    const int address = node ? node->data(0, Qt::UserRole).toInt() : -1;
    if (address < 0 || address >= int(w.Devices.size()))
        return nullptr;
    return w.Devices[size_t(address)].get();
}

} // namespace

void TFormMain::SetupCurrent() {
    // Clicks, not state changes: the decoding ticks the box and picks the
    // point itself, and that must neither write nor end its Updating.
    connect(ui->ChBoxCurrFix, &QAbstractButton::clicked, this,
            [this] { Guard([this] { ChBoxCurrFixClick(); }); });
    connect(ui->RBt01mA, &QAbstractButton::clicked, this,
            [this] { Guard([this] { RBt01mAClick(); }); });
    connect(ui->RBt04mA, &QAbstractButton::clicked, this,
            [this] { Guard([this] { RBt04mAClick(); }); });
    connect(ui->RBt20mA, &QAbstractButton::clicked, this,
            [this] { Guard([this] { RBt20mAClick(); }); });
}

bool TFormMain::WriteCurrCmd(int reg, quint16 value, const QString& text) {
    if (Searching || Writing || !DetectorSelected() || Updating) {
        Updating = false;
        return false;
    }
    // Register 4 goes back with the bits of the last reading, and the 20 mA
    // point follows its range: both must be the selected detector's own.
    if (!PanelShowsSelected())
        return false;
    const bool readTimerWas = TimerRead.isActive();
    TimerRead.stop();
    const auto resume = qScopeGuard([&] { ResumeReading(readTimerWas); });
    WaitWhileReading();
    if (closed || Searching || Writing || !DetectorSelected() || !LineReady())
        return false;
    CmdNode = SelNode;
    SetStatusText(3, text);
    Modbus->WriteRegister(SelectedAddress(), reg, value);
    return true;
}

void TFormMain::ChBoxCurrFixClick() {
    const TDevice* device = recordOf(*this, DetectorSelected() ? SelNode : nullptr);
    const bool fix = ui->ChBoxCurrFix->isChecked();
    if (!device || fix == StatusViewFor(device->Registers[Reg::Status]).currentSetup)
        return;
    if (!WriteCurrCmd(Reg::Status, CurrentSetupWord(device->Registers[Reg::Status], fix),
                      QStringLiteral(" "))) {
        // Nothing was written: the box shows the detector's mode again.
        ui->ChBoxCurrFix->setChecked(!fix);
        return;
    }
    // The detector starts the setup mode at 4 mA. Choosing the button here
    // sends nothing, as only a click does.
    ui->RBt04mA->setChecked(true);
    showCurrentBox(ui->EditCurr, CurrentBox(CurrentPoint::Point4mA));
    CurrRepeats = 0;
    if (!fix) {
        Timer5sec.setInterval(ReadAfterSetupMs);
        Timer5sec.start();
    }
}

void TFormMain::RBt01mAClick() {
    ChoosePoint(CurrentPoint::Point1mA, QStringLiteral("Коррекция 1 мА"));
}

void TFormMain::RBt04mAClick() {
    ChoosePoint(CurrentPoint::Point4mA, QStringLiteral("Коррекция 4 мА"));
}

void TFormMain::RBt20mAClick() {
    ChoosePoint(CurrentPoint::Point20mA, QStringLiteral("Коррекция 20 мА"));
}

void TFormMain::ChoosePoint(CurrentPoint point, const QString& text) {
    showCurrentBox(ui->EditCurr, CurrentBox(point));
    CurrRepeats = 0;
    const TDevice* device = recordOf(*this, DetectorSelected() ? SelNode : nullptr);
    if (!device)
        return;
    const stGas& row = GasRow(GasTable, device->Registers[Reg::Gas]);
    WriteCurrCmd(
        Reg::Concentration,
        PointCode(point, row, device->Registers[Reg::UnitAndFaults], device->Registers[Reg::Range]),
        text);
}

void TFormMain::ActWriteCurrExecute() {
    CurrentPoint point = CurrentPoint::Point1mA;
    QString text = QStringLiteral("Коррекция 1 мА");
    if (ui->RBt04mA->isChecked()) {
        point = CurrentPoint::Point4mA;
        text = QStringLiteral("Коррекция 4 мА");
    } else if (ui->RBt20mA->isChecked()) {
        point = CurrentPoint::Point20mA;
        text = QStringLiteral("Коррекция 20 мА ");
    }
    if (Writing || !DetectorSelected())
        return;
    // Checked before the entry is counted, so that a refused press counts nothing.
    if (!PanelShowsSelected())
        return;

    const auto typed = float(ui->EditCurr->value());
    const MeasuredCurrent m = EnterMeasuredCurrent(point, typed, CurrLastValue, CurrRepeats);
    if (m.entered != typed)
        ui->EditCurr->setValue(asWritten(m.entered));
    if (m.settled) {
        ShowMessage(QStringLiteral("Коррекция - Ок"));
        return;
    }
    CurrWriting = false;
    Writing = false;
    const TDevice* device = recordOf(*this, SelNode);
    if (point == CurrentPoint::Point20mA && device &&
        FirmwareBelow(*device, Current20SequenceLimits))
        StartTrim20Sequence(text);
    else
        WriteCurrCmd(Reg::Current, m.registerValue, text);
    ui->EditCurr->setValue(asWritten(m.shown));
}

void TFormMain::StartTrim20Sequence(const QString& text) {
    // Automatic reading stays off after the sequence: the engineer restarts it.
    TimerRead.stop();
    WaitWhileReading();
    if (closed || Writing || !DetectorSelected())
        return;
    ui->SpBtSetCurr->setEnabled(false);
    CurrWriting = true;
    Writing = true;
    CmdNode = SelNode;
    CurrentTrimStep(Reg::Temperature);
    if (!CurrWriting)
        return;
    ProgressText = text;
    TimerProgress.start();
}

StepResult TFormMain::CurrentTrimStep(int reg) {
    if (!CurrWriting)
        return StepResult::Done;
    if (reg == Reg::Temperature) {
        Curr20Done = false;
        SendTrimStep(Reg::Concentration, Trim20StartCode);
    } else if (reg == Reg::Current) {
        const TDevice* device = recordOf(*this, CmdNode);
        if (!device) {
            EndTrim20Sequence();
            return StepResult::Done;
        }
        const quint16 point =
            Point20FinalCode(GasRow(GasTable, device->Registers[Reg::Gas]),
                             device->Registers[Reg::UnitAndFaults], device->Registers[Reg::Range]);
        Curr20Done = true;
        Delay(FinalPointMs);
        SendTrimStep(Reg::Concentration, point);
    } else if (reg == Reg::Concentration && !Curr20Done) {
        const quint16 measured = TrimRegisterValue(float(ui->EditCurr->value()));
        Delay(SettleAt20mAMs);
        SendTrimStep(Reg::Current, measured);
    } else if (reg == Reg::Concentration) {
        EndTrim20Sequence();
        ShowMessage(QStringLiteral("Коррекция - Ок"));
    }
    return StepResult::Done;
}

bool TFormMain::SendTrimStep(int reg, quint16 value) {
    // The waits before a step let the window close, the line go, or a
    // time-out of a read end the sequence meanwhile.
    if (!CurrWriting)
        return false;
    const int address = CmdNode ? CmdNode->data(0, Qt::UserRole).toInt() : -1;
    if (closed || address < 0 || !LineReady()) {
        EndTrim20Sequence();
        return false;
    }
    try {
        WriteReg = int16_t(reg);
        Modbus->SetTimeout(TrimTimeoutMs);
        Modbus->WriteRegister(address, reg, value);
    } catch (const HandlerError& e) {
        // Called from the reply handler, where nothing would catch it.
        EndTrim20Sequence();
        prompts->error(e.text());
        return false;
    }
    return true;
}

void TFormMain::EndTrim20Sequence() {
    TimerProgress.stop();
    Curr20Done = false;
    CurrWriting = false;
    Writing = false;
    ui->SpBtSetCurr->setEnabled(true);
}
