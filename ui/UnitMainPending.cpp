// Commands and continuations whose work is not built yet. Each does nothing
// until its own file takes it over.
#include "UnitMain.h"

void TFormMain::ActReadLogExecute() {}
void TFormMain::ActDelLogExecute() {}
void TFormMain::ActWriteCurrExecute() {}
void TFormMain::ActZeroExecute() {}
void TFormMain::ActCalbExecute() {}
void TFormMain::ActInitExecute() {}

StepResult TFormMain::CurrentTrimStep(int) {
    return StepResult::Done;
}
EchoResult TFormMain::CommandEcho(int, quint16) {
    return EchoResult::EndCommand;
}
