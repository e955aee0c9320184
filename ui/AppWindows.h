#pragma once

#include "UnitAbout.h"
#include "UnitDlg.h"
#include "UnitLog.h"
#include "UnitMain.h"

// The program's four windows, made in their order at start: the main window
// first, then the three that stay hidden until asked for.
//
// The order of the members is that order and matters twice: the secondary
// windows take the main window as their parent, so it must exist before
// them; and they are destroyed (in reverse order) before it, each leaving its
// parent as it goes, so the main window never deletes a member as its child.
struct AppWindows {
    AppWindows();

    TFormMain formMain;
    TFormDlg formDlg{&formMain};
    TAboutBox aboutBox{&formMain};
    TFormLog formLog{nullptr, &formMain};
};
