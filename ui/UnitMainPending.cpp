// Commands whose work is not built yet. Each does nothing until its own file
// takes it over.
#include "UnitMain.h"

void TFormMain::ActReadLogExecute() {}
void TFormMain::ActDelLogExecute() {}
