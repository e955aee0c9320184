#pragma once

// The generated form classes of the four windows, for the tests and the
// benchmark that drive the controls. Included through this header, which is
// no target's source, so that uic is never asked to build a form a second
// time for the target that includes it.
#include "ui_UnitAbout.h"
#include "ui_UnitDlg.h"
#include "ui_UnitLog.h"
#include "ui_UnitMain.h"
