#pragma once

#include "Device.h"
#include "GasCatalogue.h"

#include <QString>
#include <QStringList>

// Rules of the register-block decoding that decide which catalogue is in
// force and what the gas and unit lists offer. The rows are looked up with
// the full value of register 3, so an unknown code shows the placeholder row
// in every part of the panel alike.

// The catalogue edition for a detector whose version word has just been read.
// A pass that did not read register 16 uses edition B.
const stGas* GasTableFor(const TDevice& device);

struct UnitListView {
    QStringList entries; // always two, equal when the row has one unit
    int selected;
    bool enabled;
};

// The unit list as register 5 sets it. Hydrogen is locked to its unit on old
// firmware; the unit gate of register 16 may lock the list afterwards.
UnitListView UnitListFor(const stGas* table, const TDevice& device);

struct GasListView {
    int hideMethane;     // 1: the list starts after methane (code 1)
    QStringList entries; // the selectable gases, or only the formula
    int selected;
    bool selectable; // false: the gas is not in the list, entries holds its formula
    QString hint;    // "Name : Formula" while selectable, else empty
    bool gasEnabled; // the gas list may be changed
    bool unitLocked; // the unit gate disables the unit list, whatever register 5 said
};

// The gas list and the locks that register 16 sets.
GasListView GasListFor(const stGas* table, const TDevice& device);
