// Commands and continuations whose work is not built yet. Each does nothing
// until its own file takes it over.
#include "UnitMain.h"

void TFormMain::ActReadLogExecute() {}
void TFormMain::ActDelLogExecute() {}
void TFormMain::ActWriteAddrExecute() {}
void TFormMain::ActWriteOptExecute() {}

StepResult TFormMain::SettingsStep(int reg) {
    // The steps of the old-firmware 20 mA trim; the rest of the chain is not built yet.
    if (reg == 7 || reg == 18 || (reg == 6 && CurrWriting))
        return CurrentTrimStep(reg);
    return StepResult::Nothing;
}
