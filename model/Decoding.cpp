#include "Decoding.h"

#include "RegisterMap.h"

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
