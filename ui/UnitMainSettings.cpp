// Settings write: the parameters chain, the range write, the line-settings
// write, and the unit change on the panel that precedes them.
#include "UnitMain.h"

#include "Device.h"
#include "GasCatalogue.h"
#include "PanelBox.h"
#include "PanelRules.h"
#include "RegisterMap.h"
#include "Scaling.h"
#include "SettingsChain.h"
#include "UnitConversion.h"
#include "ui_UnitMain.h"

#include <QTreeWidgetItemIterator>

using namespace kpx;

namespace {
constexpr int kWriteTimeoutMs = 1500;

QString invalidValue() {
    return QStringLiteral("Неверное значение!");
}
} // namespace

void TFormMain::SetupSettings() {
    connect(ui->CBoxUnit, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this] { CBoxUnitChange(); });
    connect(ui->CBoxGas, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this] { CBoxGasChange(); });
    ui->EditURV->installEventFilter(this);
}

bool TFormMain::WriteRefused() const {
    return Writing || Reading || !DetectorSelected();
}

TDevice* TFormMain::CmdDevice() const {
    const int address = CmdNode ? CmdNode->data(0, Qt::UserRole).toInt() : -1;
    return address > 0 && address < int(Devices.size()) ? Devices[size_t(address)].get() : nullptr;
}

float TFormMain::ThresholdScaleNow(const TDevice& device) const {
    const stGas& row = GasRow(GasTable, device.Registers[Reg::Gas]);
    return ThresholdScale(row, ChosenUnitIndex(ui->CBoxUnit->currentIndex()),
                          float(ui->EditURV->value()), device.Registers[Reg::Range]);
}

void TFormMain::ActWriteOptExecute() {
    if (WriteRefused() || !PanelShowsSelected())
        return;
    // A value typed beyond a box's bounds still stands in it while the focus
    // is elsewhere (the button does not take it): it is refused, never sent.
    for (const TFSpinEdit* box :
         {ui->EditMagnet, ui->EditLimit1, ui->EditLimit2, ui->EditHyster, ui->EditZeroZone}) {
        if (!box->valueInBounds()) {
            prompts->message(invalidValue());
            return;
        }
    }
    if (!LineReady())
        return;
    Writing = true;
    Limit1First = false;
    CmdNode = SelNode;
    Modbus->SetTimeout(kWriteTimeoutMs);
    SettingsStep(Reg::Line);
}

StepResult TFormMain::SettingsStep(int reg) {
    if (reg >= RegisterCount)
        return StepResult::Nothing;
    TDevice* device = CmdDevice();
    if (!device) {
        // The detector left the list under the chain (a scan, a line change):
        // nothing is left to write to.
        Writing = false;
        SetStatusText(3, QString());
        return StepResult::Done;
    }
    const int address = CmdNode->data(0, Qt::UserRole).toInt();
    const float s = ThresholdScaleNow(*device);
    if (reg == Reg::Magnet)
        Limit1First = Limit1GoesFirst(ToRegister(float(ui->EditLimit1->value()), s),
                                      device->Registers[Reg::Limit2]);

    const int gas = GasCodeForListIndex(GasTable, ui->CBoxGas->currentIndex(), HideMethane);
    const ChainState state{Limit1First, ui->CBoxUnit->isEnabled(),
                           ui->CBoxGas->isEnabled() && gas != device->Registers[Reg::Gas],
                           CurrWriting};
    const ChainStep step = NextChainStep(reg, state);
    switch (step.kind) {
    case ChainStep::NotAStep:
        return StepResult::Nothing;
    case ChainStep::Ignore:
        return StepResult::Done;
    case ChainStep::CurrentTrim:
        return CurrentTrimStep(reg);
    case ChainStep::EndParameters:
    case ChainStep::EndRange: {
        Writing = false;
        SetStatusText(3, QString());
        const bool parameters = step.kind == ChainStep::EndParameters;
        ShowMessage(parameters ? QStringLiteral("Параметры изменены!")
                               : QStringLiteral("Диапазон изменен!"));
        // A read shows what the detector made of the change, unless the
        // engineer has moved on to another detector meanwhile.
        const bool readAgain = (!parameters || ui->CBoxGas->isEnabled()) && SelNode == CmdNode;
        return readAgain ? StepResult::ReadAgain : StepResult::Done;
    }
    case ChainStep::Write:
        break;
    }

    quint16 value = 0;
    switch (step.reg) {
    case Reg::Magnet:
        value = ToRegister(float(ui->EditMagnet->value()), s);
        break;
    case Reg::Limit1:
        value = ToRegister(float(ui->EditLimit1->value()), s);
        break;
    case Reg::Limit2:
        value = ToRegister(float(ui->EditLimit2->value()), s);
        break;
    case Reg::Hysteresis:
        value = ToRegister(float(ui->EditHyster->value()), s);
        break;
    case Reg::ZeroZone:
        value = ToRegister(float(ui->EditZeroZone->value()), s);
        break;
    case Reg::Status:
        value = SettingsStatusWord(device->Registers[Reg::Status], ui->CBoxBlock->isChecked(),
                                   ui->CBoxRelay1->currentIndex(), ui->CBoxRelay2->currentIndex(),
                                   ui->CBoxRelayD->currentIndex());
        break;
    case Reg::Concentration:
        value = quint16(Command::SelectUnit + ui->CBoxUnit->currentIndex());
        break;
    case Reg::Gas:
        value = quint16(gas);
        Modbus->SetTimeout(kWriteTimeoutMs);
        break;
    default:
        break;
    }
    WriteReg = int16_t(step.reg);
    SetStatusText(3, ChainStatusText(step.reg));
    Modbus->WriteRegister(address, step.reg, value);
    return StepResult::Done;
}

void TFormMain::EditURVKeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    if (WriteRefused() || !PanelShowsSelected())
        return;
    const double value = ui->EditURV->value();
    // A range of 0 or below would make every setting relative to it 0.
    if (!ui->EditURV->valueInBounds() || !(value > 0)) {
        prompts->message(invalidValue());
        return;
    }
    const TDevice& device = *Devices[size_t(SelectedAddress())];
    const stGas& row = GasRow(GasTable, device.Registers[Reg::Gas]);
    const float r = RangeScale(row, ChosenUnitIndex(ui->CBoxUnit->currentIndex()));
    if (!LineReady())
        return;
    Writing = true;
    CmdNode = SelNode;
    WriteReg = int16_t(Reg::Range);
    Modbus->WriteRegister(SelectedAddress(), Reg::Range, ToRegister(float(value), r));
}

void TFormMain::ActWriteAddrExecute() {
    if (WriteRefused() || !PanelShowsSelected())
        return;
    const int address = int(ui->SEditAddr->value());
    // 0 is the broadcast address that every detector on the line obeys.
    if (!IsBusAddress(address)) {
        prompts->message(invalidValue());
        return;
    }
    const int own = SelectedAddress();
    for (QTreeWidgetItemIterator it(ui->DevTree); *it; ++it) {
        const int taken = (*it)->parent() ? (*it)->data(0, Qt::UserRole).toInt() : 0;
        if (taken > 0 && taken == address && address != own) {
            prompts->message(QStringLiteral("Адрес используется другим прибором!"));
            return;
        }
    }
    const uint16_t word =
        EncodeLineWord({address, ui->CBoxBaud->currentIndex(), ui->CBoxPar->currentIndex(),
                        ui->CBoxStopBit->currentIndex()});
    if (word == Devices[size_t(own)]->Registers[Reg::Line]) {
        prompts->message(QStringLiteral("Настройки связи изменены."));
        return;
    }
    if (!LineReady())
        return;
    CmdNode = SelNode;
    Modbus->WriteRegister(own, Reg::Line, word);
}

void TFormMain::CBoxUnitChange() {
    const int chosen = ui->CBoxUnit->currentIndex();
    // The values converted are those of the detector the panel shows.
    const TDevice* device = PanelAddress > 0 ? Devices[size_t(PanelAddress)].get() : nullptr;
    if (Updating || chosen < 0 || chosen == LastUnitIndex || !device)
        return;
    const stGas& row = GasRow(GasTable, device->Registers[Reg::Gas]);
    const PanelValues shown{ui->EditConc->text(),      ShownBox(ui->EditURV),
                            ShownBox(ui->EditLimit1),  ShownBox(ui->EditLimit2),
                            ShownBox(ui->EditMagnet),  ShownBox(ui->EditHyster),
                            ShownBox(ui->EditZeroZone)};
    const PanelValues converted = ConvertUnits(shown, row, chosen);

    const QString unit = ui->CBoxUnit->currentText();
    for (QLabel* label : {ui->LGasUnit, ui->LURVUnit, ui->LMagnetUnit, ui->LLimit1Unit,
                          ui->LLimit2Unit, ui->LHysterUnit, ui->LZeroZoneUnit})
        label->setText(unit);
    ui->EditConc->setText(converted.concentration);
    ShowBox(ui->EditURV, converted.range);
    ShowBox(ui->EditLimit1, converted.limit1);
    ShowBox(ui->EditLimit2, converted.limit2);
    ShowBox(ui->EditMagnet, converted.magnet);
    ShowBox(ui->EditHyster, converted.hysteresis);
    ShowBox(ui->EditZeroZone, converted.zeroZone);
    LastUnitIndex = uint8_t(chosen);
}

void TFormMain::CBoxGasChange() {
    // The gas goes to the detector with the parameters write; nothing on the
    // panel depends on it before then.
}
