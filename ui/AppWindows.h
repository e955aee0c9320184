#pragma once

#include "UnitAbout.h"
#include "UnitDlg.h"
#include "UnitLog.h"
#include "UnitMain.h"

// The program's four windows, made in their order at start: the main window
// first, then the three that stay hidden until asked for.
struct AppWindows {
    AppWindows();

    TFormMain formMain;
    TFormDlg formDlg{&formMain};
    TAboutBox aboutBox{&formMain};
    TFormLog formLog{&formMain};
};
