// Commands and continuations whose work is not built yet. Each does nothing
// until its own file takes it over.
#include "UnitMain.h"

void TFormMain::ActReadLogExecute() {}
void TFormMain::ActDelLogExecute() {}
void TFormMain::ActWriteAddrExecute() {}
void TFormMain::ActWriteOptExecute() {}
void TFormMain::ActWriteCurrExecute() {}

StepResult TFormMain::CurrentTrimStep(int) {
    return StepResult::Done;
}
StepResult TFormMain::SettingsStep(int) {
    return StepResult::Nothing;
}
