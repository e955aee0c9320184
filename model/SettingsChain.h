#pragma once

#include <QString>
#include <cstdint>

namespace kpx {

// The parameters write is a chain of single-register writes, each sent on the
// echo of the one before. These are its rules: which register follows which
// echo, and what status panel 3 says meanwhile.

// What the window knows when an echo arrives.
struct ChainState {
    bool limit1First = false; // threshold 1 goes before threshold 2 in this chain
    bool unitEnabled = false; // the unit list may be written
    bool gasToWrite = false;  // the gas list is enabled and holds another gas
    bool currWriting = false; // the old-firmware 20 mA trim is running
};

struct ChainStep {
    enum Kind {
        Write,         // write reg next
        EndParameters, // the parameters chain is done
        EndRange,      // the range write is done
        CurrentTrim,   // an echo of the 20 mA trim, which goes on by its own rules
        Ignore,        // an echo below the block that no row claims
        NotAStep,      // past the block: not the chain's at all
    };
    Kind kind;
    int reg = -1;
};

// The step after the echo of `echoed`; 0 starts the chain. Orders:
// 11, 9, 10, 12, 13, 4 with threshold 1 first, else 11, 10, 9, 12, 13, 4;
// then 6 (unit) and 3 (gas) where they apply.
ChainStep NextChainStep(int echoed, const ChainState& state);

// Decided at the echo of 11: threshold 1 goes first when its new register
// value is below the detector's threshold 2, so that the detector never holds
// a threshold 1 above threshold 2 between the two writes.
bool Limit1GoesFirst(uint16_t newLimit1, uint16_t storedLimit2);

// Status panel 3 while reg is being written.
QString ChainStatusText(int reg);

// The unit index a write takes from the unit list: the first unit for no
// selection, the second for any index above 0.
int ChosenUnitIndex(int listIndex);

} // namespace kpx
