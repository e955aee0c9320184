#pragma once

#include "Device.h"
#include "GasCatalogue.h"
#include "Scaling.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kpx {

// Rules of the register-block decoding pass: which blocks and registers a
// pass takes, what the status word sets on the panel, what a confirmed
// line-settings write does to the detector's entry, and (further down) which
// catalogue edition is in force and what the gas and unit lists offer.

// Modbus function codes of the replies a pass decodes.
namespace Function {
constexpr int Read = 3;  // read holding registers: the reply carries a block
constexpr int Write = 6; // write single register: the reply echoes the write
} // namespace Function

// A pass takes a block within registers 0..18 whose first register is not
// after its last.
bool BlockAccepted(int first, int last);

// A read keeps every register of its block in the record. A write echo keeps
// only the status word: the detector may have refused or adjusted the others,
// and register 0 is kept only after its own check of the line settings.
bool KeptFromReply(int function, int reg);

// A read of the whole block: after it the panel shows that detector's own
// reading, which every write takes its values from.
bool IsFullRead(int function, int first, int last);

// Only a read that includes the version word may pick the old catalogue
// edition; every other pass works with edition B.
bool ReadsVersion(int function, int first, int last);

// Register 4 as the panel shows it.
struct StatusView {
    bool blockReadings;
    int relay1; // list index: 0 "Нормально разомкнутое", 1 "Нормально замкнутое"
    int relay2;
    int relayD;
    // The output is fixed at a test point: the concentration is hidden, the
    // calibration commands are refused and the trimming controls are open.
    bool currentSetup;
};

StatusView StatusViewFor(uint16_t statusWord);

// What a confirmed write of register 0 does to the detector's entry: a new
// baud rate, parity or stop bits take the detector off the line the tool
// speaks, so it leaves the list; a new address moves its record.
enum class LineEcho { Keep, Move, Remove };

LineEcho LineEchoAction(uint16_t storedWord, uint16_t echoedWord);

// Addresses a detector can answer at (the table of records has no others).
bool IsBusAddress(int address);

// The measured-current text while the output is fixed at a point, e.g. "20".
QString PointText(CurrentPoint point);

// Which catalogue is in
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

} // namespace kpx
