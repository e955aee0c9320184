// Register block decoding: a block read from the selected detector, or the
// echo of a write that no chain claimed, becomes its record and its panel.
#include "UnitMain.h"

#include "Device.h"
#include "DeviceTexts.h"
#include "Icons.h"
#include "PanelBox.h"
#include "PanelRules.h"
#include "RegisterMap.h"
#include "Scaling.h"
#include "ui_UnitMain.h"

#include <algorithm>
#include <iterator>
#include <utility>

using namespace kpx;

struct TFormMain::DecodeStep {
    int function;
    int address;
    int reg;
    quint16 value;
    TDevice& device;
};

namespace {

struct RelativeField {
    int reg;
    RelativeSetting setting;
    TFSpinEdit* Ui_TFormMain::*edit;
};

const RelativeField RelativeFields[] = {
    {Reg::Limit1, RelativeSetting::Limit1, &Ui_TFormMain::EditLimit1},
    {Reg::Limit2, RelativeSetting::Limit2, &Ui_TFormMain::EditLimit2},
    {Reg::Magnet, RelativeSetting::Magnet, &Ui_TFormMain::EditMagnet},
    {Reg::Hysteresis, RelativeSetting::Hysteresis, &Ui_TFormMain::EditHyster},
    {Reg::ZeroZone, RelativeSetting::ZeroZone, &Ui_TFormMain::EditZeroZone},
};

// The row of the detector's gas. A code past the catalogue gives the
// placeholder row, so the whole register is passed on.
const stGas& gasRow(const stGas* table, const TDevice& device) {
    return GasRow(table, device.Registers[Reg::Gas]);
}

void enableAll(std::initializer_list<QWidget*> widgets, bool enabled) {
    for (QWidget* w : widgets)
        w->setEnabled(enabled);
}

void showAll(std::initializer_list<QWidget*> widgets, bool visible) {
    for (QWidget* w : widgets)
        w->setVisible(visible);
}

} // namespace

DecodeResult TFormMain::DecodeBlock(int function, int address, const RegisterBlock& block,
                                    int first, int last) {
    const bool selected =
        address >= 0 && address < int(Devices.size()) && address == SelectedAddress();
    TDevice* device = selected ? Devices[size_t(address)].get() : nullptr;
    if (!BlockAccepted(first, last) || !device)
        return DecodeResult::Rejected;
    // A message box or the stop of the reading cycle inside the pass
    // processes events, and a reply arriving then refills the exchange's
    // buffer: keep the values this pass was called with.
    const RegisterBlock values = block;

    ui->DevPanel->show();
    if (IsFullRead(function, first, last))
        PanelAddress = address;
    GasTable = GasEditionB();
    if (ReadsVersion(function, first, last)) {
        device->Registers[Reg::Version] = values[Reg::Version];
        GasTable = GasTableFor(*device);
    }
    for (int reg = first; reg <= last; ++reg) {
        const quint16 value = values[size_t(reg)];
        if (KeptFromReply(function, reg))
            device->Registers[size_t(reg)] = value;
        switch (DecodeRegister({function, address, reg, value, *device})) {
        case PassGoes::On:
            break;
        case PassGoes::EndsAfterEcho:
            return DecodeResult::EndedAtEcho;
        case PassGoes::EndsWithoutRecord:
            return DecodeResult::Shown;
        }
    }
    return DecodeResult::Shown;
}

TFormMain::PassGoes TFormMain::DecodeRegister(const DecodeStep& step) {
    switch (step.reg) {
    case Reg::Line:
        return ApplyLineWord(step);
    case Reg::Gas:
        ApplyGas(step);
        break;
    case Reg::Status:
        return ApplyStatus(step);
    case Reg::UnitAndFaults:
        ApplyUnit(step);
        break;
    case Reg::Concentration:
        ApplyConcentration(step);
        break;
    case Reg::Temperature:
        ui->EditTemp->setText(TemperatureText(step.value));
        break;
    case Reg::Range:
        ApplyRange(step);
        break;
    case Reg::Limit1:
    case Reg::Limit2:
    case Reg::Magnet:
    case Reg::Hysteresis:
    case Reg::ZeroZone:
        ApplyRelative(step);
        break;
    case Reg::Version:
        ApplyVersion(step);
        break;
    case Reg::Current:
        ApplyCurrent(step);
        break;
    default: // the identification number and reserved words are kept, not shown
        break;
    }
    return PassGoes::On;
}

TFormMain::PassGoes TFormMain::ApplyLineWord(const DecodeStep& step) {
    const DetectorLineSettings line = DecodeLineWord(step.value);
    ui->SEditAddr->setValue(line.address);
    ui->CBoxBaud->setCurrentIndex(line.baudIndex);
    ui->CBoxPar->setCurrentIndex(line.parityIndex);
    ui->CBoxStopBit->setCurrentIndex(line.stopBitsIndex);
    if (step.function != Function::Write)
        return PassGoes::On;

    // The detector confirms a line-settings write.
    TDevice& device = step.device;
    QTreeWidgetItem* node = EchoNode(step.address);
    const LineEcho action = LineEchoAction(device.Registers[Reg::Line], step.value);
    // Another record at the new address, or an address the table has no
    // slot for, leaves the record where it is.
    const bool slotFree =
        action != LineEcho::Move || (IsBusAddress(line.address) && !Devices[size_t(line.address)]);
    if (node && slotFree)
        node->setText(0, NodeLabel(line.address, device.SerialNumber));
    ShowMessage(QStringLiteral("Настройки связи изменены."));
    if (action == LineEcho::Remove) {
        RemoveDetector(step.address, node);
        return PassGoes::EndsWithoutRecord;
    }
    device.Registers[Reg::Line] = step.value;
    if (action == LineEcho::Move) {
        if (slotFree)
            MoveDetector(step.address, line.address, node);
        else
            ShowMessage(QStringLiteral("Критическая ошибка"));
    }
    return PassGoes::On;
}

QTreeWidgetItem* TFormMain::EchoNode(int address) const {
    // The write went to CmdNode; should a later command have pointed CmdNode
    // elsewhere, the echo still belongs to the selected detector.
    if (CmdNode && CmdNode->data(0, Qt::UserRole).toInt() == address)
        return CmdNode;
    return SelNode;
}

void TFormMain::MoveDetector(int address, int newAddress, QTreeWidgetItem* node) {
    Devices[size_t(newAddress)] = std::move(Devices[size_t(address)]);
    const TDevice* device = Devices[size_t(newAddress)].get();
    if (PanelAddress == address)
        PanelAddress = newAddress;
    if (!node)
        return;
    node->setData(0, Qt::UserRole, newAddress);
    if (node == SelNode)
        ui->DevPanelCaption->setText(PanelCaption(node->text(0), device->StatusText));
}

void TFormMain::RemoveDetector(int address, QTreeWidgetItem* node) {
    if (address < 0 || address >= int(Devices.size()) || !Devices[size_t(address)])
        return;
    const std::optional<int> kind = KindFromSerial(Devices[size_t(address)]->SerialNumber);
    if (!kind || !KindNode[size_t(*kind)])
        return;
    Devices[size_t(address)].reset();
    if (PanelAddress == address)
        PanelAddress = -1;

    const bool selected = node && node == SelNode;
    // The cycle reads whatever is selected; with nothing selected it would
    // ask the user for a detector at every tick.
    const bool stopCycle = selected && TimerRead.isActive();
    if (selected)
        ui->DevPanel->hide();
    if (node) {
        ForgetNode(node);
        delete node;
    }
    QTreeWidgetItem*& group = KindNode[size_t(*kind)];
    if (group->childCount() == 0) {
        ForgetNode(group);
        delete std::exchange(group, nullptr);
    }
    // Last: the stop waits for an outstanding read, and replies may arrive
    // meanwhile; nothing may refer to the deleted nodes by then.
    if (stopCycle)
        Execute(ui->ActReadStop);
}

void TFormMain::ForgetNode(const QTreeWidgetItem* node) {
    for (QTreeWidgetItem** ref : {&SelNode, &DownNode, &CmdNode}) {
        if (*ref == node)
            *ref = nullptr;
    }
    ShowSelNode();
}

void TFormMain::ApplyGas(const DecodeStep& step) {
    ui->SecGas->setTitle(GasCaption(GasRow(GasTable, step.value)));
}

TFormMain::PassGoes TFormMain::ApplyStatus(const DecodeStep& step) {
    TDevice& device = step.device;
    device.StatusText = kpx::StatusText(step.value, device.Registers[Reg::Gas]);
    ui->DevPanelCaption->setText(
        PanelCaption(SelNode->text(0), device.Registers[Reg::Version], device.StatusText));

    const StatusView view = StatusViewFor(step.value);
    ui->CBoxBlock->setChecked(view.blockReadings);
    ui->CBoxRelay1->setCurrentIndex(view.relay1);
    ui->CBoxRelay2->setCurrentIndex(view.relay2);
    ui->CBoxRelayD->setCurrentIndex(view.relayD);
    showAll({ui->Label6, ui->LGasUnit, ui->EditConc}, !view.currentSetup);
    for (QAction* a : {ui->ActZero, ui->ActZero2, ui->ActCalb, ui->ActInit})
        a->setEnabled(!view.currentSetup);
    ui->ChBoxCurrFix->setChecked(view.currentSetup);
    enableAll({ui->RBt01mA, ui->RBt04mA, ui->RBt20mA, ui->LabelEditCurr, ui->EditCurr, ui->Label15,
               ui->SpBtSetCurr},
              ui->ChBoxCurrFix->isChecked());

    if (step.function == Function::Write && !Reading)
        return PassGoes::EndsAfterEcho;
    return PassGoes::On;
}

void TFormMain::ApplyUnit(const DecodeStep& step) {
    TDevice& device = step.device;
    const UnitListView units = UnitListFor(GasTable, device);
    ui->CBoxUnit->clear();
    ui->CBoxUnit->addItems(units.entries);
    ui->CBoxUnit->setCurrentIndex(units.selected);
    LastUnitIndex = uint8_t(units.selected);
    enableAll({ui->CBoxUnit, ui->LabelUnit}, units.enabled);

    if (!IsFaulty(device)) {
        SelNode->setIcon(0, TreeIcon(TreeImageServiceable));
        return;
    }
    SelNode->setIcon(0, TreeIcon(TreeImageFaulty));
    device.StatusText = FaultStatusText(step.value);
    ui->DevPanelCaption->setText(PanelCaption(SelNode->text(0), device.StatusText));
}

void TFormMain::ApplyConcentration(const DecodeStep& step) {
    TDevice& device = step.device;
    ui->EditConc->setText(
        ConcentrationText(gasRow(GasTable, device), ui->CBoxUnit->currentIndex(), step.value));
    const QString unit = ui->CBoxUnit->currentText();
    for (QLabel* label : {ui->LGasUnit, ui->LURVUnit, ui->LMagnetUnit, ui->LLimit1Unit,
                          ui->LLimit2Unit, ui->LHysterUnit, ui->LZeroZoneUnit})
        label->setText(unit);

    // In current-output setup mode the register holds the point the output is fixed at.
    uint16_t& status = device.Registers[Reg::Status];
    if (!StatusViewFor(status).currentSetup)
        return;
    CurrentPoint point = CurrentPoint::Point4mA;
    if (step.function == Function::Write) {
        const PointEcho echo = PointFromEcho(status, step.value);
        point = echo.point;
        status = echo.statusWord;
    } else {
        point = PointFromRead(status, step.value);
    }
    QRadioButton* const buttons[] = {ui->RBt01mA, ui->RBt04mA, ui->RBt20mA};
    buttons[int(point)]->setChecked(true);
    ShowBox(ui->EditCurr, CurrentBox(point));
    ui->EditI->setText(PointText(point));
}

void TFormMain::ApplyRange(const DecodeStep& step) {
    const stGas& row = gasRow(GasTable, step.device);
    ui->EditURV->setEnabled(row.RangeEditable != 0);
    ui->EditURV->setToolTip(RangeHint(row));
    ShowBox(ui->EditURV, RangeBox(row, ui->CBoxUnit->currentIndex(), step.value));
    ui->LURVUnit->setText(ui->CBoxUnit->currentText());
}

void TFormMain::ApplyRelative(const DecodeStep& step) {
    const RelativeField& field =
        *std::find_if(std::begin(RelativeFields), std::end(RelativeFields),
                      [&](const RelativeField& f) { return f.reg == step.reg; });
    const uint16_t range = step.device.Registers[Reg::Range];
    ShowBox(ui.get()->*field.edit,
            RelativeBox(gasRow(GasTable, step.device), ui->CBoxUnit->currentIndex(), range,
                        field.setting, step.value));
}

void TFormMain::ApplyVersion(const DecodeStep& step) {
    const GasListView gases = GasListFor(GasTable, step.device);
    HideMethane = uint8_t(gases.hideMethane);
    ui->CBoxGas->clear();
    ui->CBoxGas->addItems(gases.entries);
    ui->CBoxGas->setCurrentIndex(gases.selected);
    // A gas that cannot be chosen leaves the hint of the last one that could.
    if (gases.selectable)
        ui->CBoxGas->setToolTip(gases.hint);
    enableAll({ui->LabelGas, ui->CBoxGas}, gases.gasEnabled);
    if (gases.unitLocked)
        enableAll({ui->LabelUnit, ui->CBoxUnit}, false);
}

void TFormMain::ApplyCurrent(const DecodeStep& step) {
    // An echo here confirms a trimming write of the measured current.
    if (step.function == Function::Write)
        ShowMessage(QStringLiteral("Коррекция - Ок"));
    else
        ui->EditI->setText(CurrentText(step.value));
}
