#include "PanelRules.h"

#include "Device.h"
#include "NumberFormat.h"
#include "RegisterMap.h"

namespace kpx {

namespace {

constexpr int FirstBusAddress = 1;
constexpr int LastBusAddress = 247;
constexpr uint16_t LineSettingsBits = 0x00FF;

int relayIndex(uint16_t statusWord, uint16_t bit) {
    return (statusWord & bit) != 0 ? 1 : 0;
}

} // namespace

bool BlockAccepted(int first, int last) {
    return first >= 0 && first <= last && last < RegisterCount;
}

bool KeptFromReply(int function, int reg) {
    return function == Function::Read || reg == Reg::Status;
}

bool IsFullRead(int function, int first, int last) {
    return function == Function::Read && first == Reg::Line && last == RegisterCount - 1;
}

bool ReadsVersion(int function, int first, int last) {
    return function == Function::Read && first <= Reg::Version && Reg::Version <= last;
}

StatusView StatusViewFor(uint16_t statusWord) {
    return StatusView{(statusWord & StatusBit::BlockReadings) != 0,
                      relayIndex(statusWord, StatusBit::Relay1Closed),
                      relayIndex(statusWord, StatusBit::Relay2Closed),
                      relayIndex(statusWord, StatusBit::RelayDClosed),
                      (statusWord & StatusBit::CurrentSetup) != 0};
}

LineEcho LineEchoAction(uint16_t storedWord, uint16_t echoedWord) {
    if ((storedWord & LineSettingsBits) != (echoedWord & LineSettingsBits)) {
        return LineEcho::Remove;
    }
    return (storedWord >> 8) != (echoedWord >> 8) ? LineEcho::Move : LineEcho::Keep;
}

bool IsBusAddress(int address) {
    return address >= FirstBusAddress && address <= LastBusAddress;
}

QString PointText(CurrentPoint point) {
    return general(double(CurrentBox(point).value), 4);
}

namespace {

constexpr unsigned MethaneLelCode = 1;
constexpr unsigned HydrogenCode = 32;

} // namespace

const stGas* GasTableFor(const TDevice& device) {
    return FirmwareBelow(device, EditionALimits) ? GasEditionA() : GasEditionB();
}

UnitListView UnitListFor(const stGas* table, const TDevice& device) {
    const unsigned code = device.Registers[Reg::Gas];
    const stGas& row = GasRow(table, code);
    const bool hydrogenLocked =
        code == HydrogenCode && FirmwareBelow(device, HydrogenUnitLockLimits);
    return UnitListView{{UnitText(row.Units[0]), UnitText(row.Units[1])},
                        UnitIndex(device.Registers[Reg::UnitAndFaults]),
                        !hydrogenLocked && row.Units[0] != row.Units[1]};
}

GasListView GasListFor(const stGas* table, const TDevice& device) {
    const uint16_t version = device.Registers[Reg::Version];
    const unsigned code = device.Registers[Reg::Gas];
    const stGas& row = GasRow(table, code);

    GasListView view{};
    const bool hide = MethaneGate(device.Kind, version) ||
                      (device.Registers[Reg::UnitAndFaults] & UnitBit::HideMethane) != 0;
    view.hideMethane = hide ? 1 : 0;
    view.selectable = row.ListPos != 0 && !(code == MethaneLelCode && hide);
    if (view.selectable) {
        view.entries = GasListNames(table, view.hideMethane);
        view.selected = GasListIndex(row, view.hideMethane);
        view.hint = row.Name + QStringLiteral(" : ") + row.Formula;
    } else {
        view.entries = QStringList{row.Formula};
        view.selected = 0;
    }
    view.gasEnabled = view.selectable && !GasGate(device.Kind, version);
    view.unitLocked = UnitGate(device.Kind, version);
    return view;
}

} // namespace kpx
